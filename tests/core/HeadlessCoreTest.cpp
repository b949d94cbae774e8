// Core as a program without a window uses it: no message handler, no error sink, no exit hook.
#include "AppMessage.h"
#include "ErrorSink.h"
#include "UiThread.h"
#include "db/DbConnection.h"
#include "tables/Forecasts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard error of this process, caught in a file while the object lives.
class CapturedStderr {
public:
    CapturedStderr()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        const int fd = open(m_file.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~CapturedStderr() { Restore(); }
    QString Text()
    {
        Restore();
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    void Restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryDir m_dir;
    QString m_file = m_dir.filePath(QStringLiteral("stderr"));
    int m_saved = -1;
};

class HeadlessCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("LIR_HOME", m_home.path().toUtf8() + '/');
        SetMessageBoxHandler(nullptr);
        SetErrorSink(nullptr);
        GetDBConnection().Close();
    }
    void TearDown() override
    {
        GetDBConnection().Close();
        SetErrorSink(nullptr);
        SetMessageBoxHandler(nullptr);
        qunsetenv("LIR_HOME");
    }
    QTemporaryDir m_home;
};

} // namespace

TEST_F(HeadlessCoreTest, FailuresComeBackAsValuesAndGoToStandardError)
{
    const QString garbage = m_home.filePath(QStringLiteral("LIR.db"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
    }
    CapturedStderr captured;
    // No database yet: the read answers none and nothing asks anybody.
    EXPECT_FALSE(LoadForecasts());
    EXPECT_FALSE(GetDBConnection().BeginTrans());
    DbConnectParams params;
    params.file = garbage;
    EXPECT_FALSE(GetDBConnection().ConnectWith(params));
    EXPECT_FALSE(GetDBConnection().isConnected());
    const QString text = captured.Text();
    EXPECT_EQ(text.count(QStringLiteral("Произошла исключительная ситуация.")), 3) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Нет соединения с базой данных."))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("MSGBOX"))) << "no message box in a program without a window";
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(4096, '\x5a'));
}

TEST_F(HeadlessCoreTest, CollectingScopesNestAndPassOnWhatNobodyTook)
{
    std::vector<DbError> delivered;
    SetErrorSink([&](const DbError& e) { delivered.push_back(e); });
    const DbError first{1, QStringLiteral("first"), {}};
    const DbError second{2, QStringLiteral("second"), {}};
    {
        CErrorCollector outer;
        {
            CErrorCollector inner;
            ReportComError(first);
            ReportComError(second);
            EXPECT_EQ(inner.errors().size(), 2u);
            EXPECT_TRUE(outer.empty());
        }
        // The inner scope ended with two errors nobody took: the first went on to the outer one.
        ASSERT_EQ(outer.errors().size(), 1u);
        EXPECT_EQ(outer.errors().front().message, "first");
        EXPECT_EQ(outer.take().size(), 1u);
        // A scope is per thread: another thread's error goes to the sink.
        std::thread([&] { ReportComError(second); }).join();
        ASSERT_EQ(delivered.size(), 1u);
    }
    EXPECT_EQ(delivered.size(), 1u) << "what was taken is not passed on";
    {
        CErrorCollector batch;
        ReportComError(second);
    }
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered.back().code, 2u);
}

TEST_F(HeadlessCoreTest, AWorkerWaitsForTheUserInterfaceThreadUnlessItIsAskedToStop)
{
    std::vector<QThread*> shownOn;
    SetMessageBoxHandler([&](const QString&, unsigned, QObject*) {
        shownOn.push_back(QThread::currentThread());
        return IDOK;
    });
    SetErrorSink(&ShowComError);

    // Shown on this (the user-interface) thread while the worker waits for it.
    std::atomic<bool> reported{false};
    std::thread worker([&] {
        ReportComError(DbError{5, QStringLiteral("worker"), {}});
        reported = true;
    });
    while (!reported)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    ASSERT_EQ(shownOn.size(), 1u);
    EXPECT_EQ(shownOn.front(), QThread::currentThread());

    // The user-interface thread joins a worker that is about to report: asked to stop, the worker
    // gives up its wait, and nothing deadlocks.
    std::atomic<bool> stop{false};
    std::thread stopping([&] {
        SetThreadStopFlag(&stop);
        while (!stop)
            std::this_thread::yield();
        ReportComError(DbError{6, QStringLiteral("late"), {}});
        SetThreadStopFlag(nullptr);
    });
    stop = true;
    stopping.join();
    // Within a collecting scope nothing crosses to the user-interface thread at all.
    std::thread collecting([&] {
        CErrorCollector scope;
        ReportComError(DbError{7, QStringLiteral("kept"), {}});
        EXPECT_EQ(scope.take().size(), 1u);
    });
    collecting.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(shownOn.size(), 1u);
}
