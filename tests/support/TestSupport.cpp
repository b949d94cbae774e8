#include "TestSupport.h"

#include "AppMessage.h"
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

void TempHomeTest::SetUp()
{
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    m_home = m_dir->path() + QStringLiteral("/home/");
    m_config = m_dir->path() + QStringLiteral("/config");
    QDir().mkpath(m_home);
    QDir().mkpath(m_config);

    SetEnv("LIR_HOME", m_home.toUtf8());
    SetEnv("XDG_CONFIG_HOME", m_config.toUtf8());
    SetEnv("LIR_MSGBOX", QByteArray());
    // The program's own files are found only where the test puts them, not beside the test.
    QDir().mkpath(shippedFolder());
    SetExecutableFolder(shippedFolder());

    // Recording is safe on any thread: a worker's message must not wait for a test thread that joins it.
    SetMessageBoxHandler(
        [this](const QString& text, unsigned flags, QObject*) {
            std::lock_guard lock(m_messagesMutex);
            messages.push_back({text, flags});
            if (!answers.empty()) {
                int a = answers.front();
                answers.pop_front();
                return a;
            }
            return MessageBoxButtonsFor(flags).defaultId;
        },
        true);
    // Errors are shown as the program shows them, so that the tests see them among the messages.
    SetErrorSink(&ShowComError);
}

bool TempHomeTest::Shown(const CTableResult& result)
{
    Passed(result.notice);
    return result.done;
}

bool TempHomeTest::Passed(const std::optional<CNotice>& refusal)
{
    if (refusal)
        AppMessageBox(refusal->text, refusal->flags);
    return !refusal;
}

void TempHomeTest::TearDown()
{
    SetMessageBoxHandler(nullptr);
    SetErrorSink(nullptr);
    SetExecutableFolder(QString());
    for (auto it = m_savedEnv.rbegin(); it != m_savedEnv.rend(); ++it) {
        if (it->second)
            qputenv(it->first, *it->second);
        else
            qunsetenv(it->first);
    }
    m_savedEnv.clear();
    m_dir.reset();
}

void TempHomeTest::SetEnv(const char* name, const QByteArray& value)
{
    m_savedEnv.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

QString TempHomeTest::shippedFolder() const
{
    return m_dir->path() + QStringLiteral("/bin/");
}

QString TempHomeTest::profilePath() const
{
    return m_config + QStringLiteral("/LIR/Forecast.ini");
}

long StatusKiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

void ResetPeakMemory()
{
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "5", 1), 1);
    ::close(fd);
}

void SkipWhereCostIsNotJudged()
{
    if (!kCostJudged)
        GTEST_SKIP() << "built with AddressSanitizer: its shadow memory, quarantine and checks outweigh the "
                        "memory or time this test judges (all else was judged)";
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

PeerRun RunPeer(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    PeerRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

bool HaveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

std::optional<QStringList> ExportedSymbols(const QString& library)
{
    const QString nm = QStandardPaths::findExecutable(QStringLiteral("nm"));
    if (nm.isEmpty())
        return std::nullopt;
    QProcess p;
    p.start(nm, {QStringLiteral("-D"), QStringLiteral("--defined-only"), library});
    if (!p.waitForFinished(30000))
        return QStringList();
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}
