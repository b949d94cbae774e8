#include "AppMessage.h"
#include "DbTest.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "TestSupport.h"
#include "db/SqlQuery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace {

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(600, 300);
        pane0 = new QLabel("Готов к работе");
        pane0->setObjectName("pane0");
        pane1 = new QLabel("до");
        pane1->setObjectName("pane1");
        pane1->setMinimumWidth(200);
        window.statusBar()->addWidget(pane0, 1);
        window.statusBar()->addPermanentWidget(pane1);
        window.show();
        SetAppMainWindow(&window);
    }
    void TearDown() override
    {
        ProgressDestroy();
        SetAppMainWindow(nullptr);
    }
    QMainWindow window;
    QLabel* pane0 = nullptr;
    QLabel* pane1 = nullptr;
};

} // namespace

TEST_F(ProgressTest, StepsWrapAfterHundredAndDestroyRestoresThePane)
{
    ProgressCreate();
    CProgressBar* bar = ProgressBarInstance();
    ASSERT_NE(bar, nullptr);
    ProgressCreate(); // a second create keeps the first bar
    EXPECT_EQ(ProgressBarInstance(), bar);

    for (int step = 0; step <= 100; ++step) {
        ProgressStep();
        ASSERT_EQ(bar->value(), step);
    }
    ProgressStep();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(pane1->text(), ""); // the bar's empty label

    ProgressDestroy();
    EXPECT_EQ(ProgressBarInstance(), nullptr);
    EXPECT_EQ(pane1->text(), "до");
    ProgressStep(); // ticks after destroy change nothing
    EXPECT_EQ(ProgressBarInstance(), nullptr);
}

TEST_F(ProgressTest, EmptyLabelSpansThePaneMinusATenthTopAndBottom)
{
    ProgressCreate();
    ProgressStep();
    CProgressBar* bar = ProgressBarInstance();
    const QRect pane = pane1->rect();
    const int d = pane.height() / 10;
    EXPECT_EQ(bar->geometry().left(), pane.left());
    EXPECT_EQ(bar->geometry().right(), pane.right());
    EXPECT_EQ(bar->geometry().top(), pane.top() + d);
    EXPECT_EQ(bar->geometry().bottom(), pane.bottom() - d);
}

TEST_F(ProgressTest, LabelledBarInPaneZeroRestoresTheIdleText)
{
    {
        CProgressBar bar("Загрузка", 50, 100, true, 0);
        bar.SetPos(10);
        EXPECT_EQ(pane0->text(), "Загрузка");
        // Right of the label, over half of what is left of the pane.
        const QRect r = bar.geometry();
        EXPECT_GT(r.left(), pane0->fontMetrics().horizontalAdvance("Загрузка"));
        EXPECT_EQ(r.right(), pane0->rect().right() - 50 * (pane0->rect().right() - r.left()) / 100);
    }
    EXPECT_EQ(pane0->text(), "Готов к работе");
}

TEST_F(ProgressTest, AMainWindowClosedBeforeTheEndTakesTheBarAlong)
{
    auto* other = new QMainWindow;
    auto* pane = new QLabel("до");
    pane->setObjectName("pane1");
    other->statusBar()->addPermanentWidget(pane);
    other->show();
    SetAppMainWindow(other);
    ProgressCreate();
    ProgressStep();
    ASSERT_NE(ProgressBarInstance(), nullptr);

    SetAppMainWindow(&window);
    delete other;
    EXPECT_EQ(ProgressBarInstance(), nullptr);
    ProgressStep(); // nothing left to step
    ProgressDestroy();

    // The next bar goes to the window that is there now.
    ProgressCreate();
    ASSERT_NE(ProgressBarInstance(), nullptr);
    EXPECT_EQ(ProgressBarInstance()->parent(), pane1);
}

namespace {
// Another program takes a lock on a connection of its own and holds it for a while; answers once the
// lock is taken, with the thread that ends the transaction.
std::thread HoldLock(const char* driver, const std::function<void(QSqlDatabase&)>& where, const QStringList& take,
                     const QString& end, int ms)
{
    std::atomic<bool> locked{false};
    std::thread holder([&locked, driver, where, take, end, ms] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(driver, "holder");
            where(db);
            if (!db.open())
                ADD_FAILURE() << db.lastError().text().toStdString();
            QSqlQuery q(db);
            for (const QString& sql : take)
                EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            EXPECT_TRUE(q.exec(end));
            db.close();
        }
        QSqlDatabase::removeDatabase("holder");
    });
    while (!locked)
        std::this_thread::yield();
    return holder;
}

// Notes what the status bar said when it was last painted.
class PaintProbe : public QWidget {
public:
    explicit PaintProbe(QStatusBar* bar)
        : m_bar(bar)
    {
    }
    int paints = 0;
    QString seen;
    // Once given a clock: when the wait was first painted.
    const QElapsedTimer* clock = nullptr;
    qint64 firstShown = -1;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        seen = m_bar->currentMessage();
        if (clock && firstShown < 0 && seen == kLockWaitText)
            firstShown = clock->elapsed();
    }

private:
    QStatusBar* m_bar;
};
} // namespace

TEST_F(ProgressTest, AWaitForAnotherWritersLockIsShownWhileTheWindowRepaints)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("LIR.db");
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), file));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    DbConnectParams params;
    params.file = file;
    ASSERT_TRUE(GetDBConnection().ConnectWith(params));
    auto* probe = new PaintProbe(window.statusBar());
    window.setCentralWidget(probe);
    InstallLockWaitStatus();

    // Another program holds the write lock for a second and a half.
    std::thread holder = HoldLock(
        "QSQLITE", [&](QSqlDatabase& db) { db.setDatabaseName(file); },
        {"BEGIN IMMEDIATE", "insert into tClsImportEventType (id, name) values (1, 'a')"}, "COMMIT", 1500);
    probe->update();
    const bool stored = ExecSql(QStringLiteral("insert into tClsImportEventType (id, name) values (2, 'b')"));
    holder.join();
    EXPECT_TRUE(stored);
    EXPECT_GT(probe->paints, 0);
    EXPECT_EQ(probe->seen, kLockWaitText);
    EXPECT_EQ(window.statusBar()->currentMessage(), "");
    SetLockWaitHook(nullptr);
    GetDBConnection().Close();
}

// On the server another session's row lock holds a statement of the user-interface thread back: the
// status bar says so within a second and the window keeps painting; the statement then goes through.
TEST_F(ProgressTest, AWaitForAnotherSessionsRowLockIsShownWithinASecondOnPostgreSQL)
{
    const auto admin = PgAdminParams();
    if (!admin)
        GTEST_SKIP() << "PostgreSQL test cluster is not running (PGHOST is not set)";
    DbConnectParams params = *admin;
    params.dbName = QStringLiteral("lir_lockwait_%1").arg(QCoreApplication::applicationPid());
    const auto onAdmin = [&](const QString& sql) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "lockwait_admin");
        db.setHostName(admin->host);
        db.setPort(admin->port);
        db.setUserName(admin->user);
        db.setPassword(admin->password);
        db.setDatabaseName(admin->dbName);
        const bool ok = db.open() && QSqlQuery(db).exec(sql);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("lockwait_admin");
        return ok;
    };
    ASSERT_TRUE(onAdmin(QStringLiteral("create database %1").arg(params.dbName)));
    ASSERT_TRUE(GetDBConnection().ConnectWith(params));
    {
        QSqlQuery ddl(GetDBConnection().GetConnection());
        ASSERT_TRUE(ddl.exec("create table t (id int primary key, v int)"));
        ASSERT_TRUE(ddl.exec("insert into t values (1, 0)"));
    }
    auto* probe = new PaintProbe(window.statusBar());
    window.setCentralWidget(probe);
    InstallLockWaitStatus();

    std::thread holder = HoldLock(
        "QPSQL",
        [&](QSqlDatabase& db) {
            db.setHostName(params.host);
            db.setPort(params.port);
            db.setUserName(params.user);
            db.setPassword(params.password);
            db.setDatabaseName(params.dbName);
        },
        {"begin", "update t set v = 1 where id = 1"}, "commit", 2500);
    // Something asks the window to repaint ten times a second meanwhile.
    std::atomic<bool> done{false};
    std::thread poker([&] {
        while (!done) {
            QMetaObject::invokeMethod(
                probe, [probe] { probe->update(); }, Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    QElapsedTimer clock;
    clock.start();
    probe->clock = &clock;
    const bool stored = ExecSql(QStringLiteral("update t set v = v + 1 where id = 1"));
    const qint64 waited = clock.elapsed();
    const int paints = probe->paints;
    done = true;
    poker.join();
    holder.join();
    EXPECT_TRUE(stored);
    EXPECT_GE(waited, 2000);
    EXPECT_EQ(probe->seen, kLockWaitText);
    EXPECT_GE(probe->firstShown, 0);
    EXPECT_LT(probe->firstShown, 1000) << "the wait is shown within a second";
    EXPECT_GT(paints, 10) << "the window keeps painting while it waits";
    EXPECT_EQ(window.statusBar()->currentMessage(), "");
    EXPECT_EQ(QSqlQuery("select v from t", GetDBConnection().GetConnection()).next(), true);
    SetLockWaitHook(nullptr);
    GetDBConnection().Close();
    EXPECT_TRUE(onAdmin(QStringLiteral("drop database %1 with (force)").arg(params.dbName)));
}

namespace {

// A database of the dialect with a table t (id, v) holding the row (1, 0), as the main connection;
// none (and the test skipped) without a PostgreSQL test cluster.
struct CTableDatabase {
    DbConnectParams params;
    QTemporaryDir dir;
    std::optional<DbConnectParams> admin;

    bool Open(SqlDialect dialect)
    {
        if (dialect == SqlDialect::SQLite) {
            params.file = dir.filePath("LIR.db");
            if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), params.file))
                return false;
            QFile::setPermissions(params.file, QFile::ReadOwner | QFile::WriteOwner);
        } else {
            admin = PgAdminParams();
            if (!admin)
                return false;
            params = *admin;
            params.dbName = QStringLiteral("lir_waitend_%1").arg(QCoreApplication::applicationPid());
            if (!ExecPgAsAdmin(admin->dbName, QStringLiteral("create database %1").arg(params.dbName)).isEmpty())
                return false;
        }
        if (!GetDBConnection().ConnectWith(params))
            return false;
        QSqlQuery ddl(GetDBConnection().GetConnection());
        return ddl.exec("create table t (id int primary key, v int)") && ddl.exec("insert into t values (1, 0)");
    }
    void Where(QSqlDatabase& db) const
    {
        if (params.dialect == SqlDialect::SQLite) {
            db.setDatabaseName(params.file);
            return;
        }
        db.setHostName(params.host);
        db.setPort(params.port);
        db.setUserName(params.user);
        db.setPassword(params.password);
        db.setDatabaseName(params.dbName);
    }
    ~CTableDatabase()
    {
        GetDBConnection().Close();
        if (admin)
            ExecPgAsAdmin(admin->dbName, QStringLiteral("drop database if exists %1 with (force)").arg(params.dbName));
    }
};

} // namespace

// Another program holds a lock that a statement of the user-interface thread needs: a read or a
// write, on the status bar or, while the main window is not up, on the start-up window. The wait
// shows within a second, takes no other input, and Escape, the button or a close request end it:
// the operation fails with the message, once its transaction has rolled back, and stores nothing.
// On the start-up window any of them ends the program too.
TEST_F(ProgressTest, AWaitShowsWithinASecondAndTheUserEndsItStoringNothing)
{
    enum class End { Escape, Button, CloseMain, CloseStartUp, EscapeStartUp, ButtonStartUp };
    const struct {
        const char* what;
        SqlDialect dialect;
        QStringList take;
        QStringList ours; // in one transaction when there are several; the last one waits
        End end;
    } cases[] = {
        {"SQLite: a transaction waits for the write lock; Escape",
         SqlDialect::SQLite,
         {"BEGIN IMMEDIATE", "update t set v = 5 where id = 1"},
         {"insert into t values (2, 0)", "update t set v = v + 1 where id = 1"},
         End::Escape},
        {"PostgreSQL: a read waits for a table lock; the button",
         SqlDialect::PostgreSQL,
         {"begin", "lock table t in access exclusive mode"},
         {"select count(*) from t"},
         End::Button},
        {"PostgreSQL: the second write of a transaction waits for a row lock; the main window's close box",
         SqlDialect::PostgreSQL,
         {"begin", "update t set v = 5 where id = 1"},
         {"insert into t values (2, 0)", "update t set v = v + 1 where id = 1"},
         End::CloseMain},
        {"PostgreSQL at start-up: a read on the start-up window; its close box",
         SqlDialect::PostgreSQL,
         {"begin", "lock table t in access exclusive mode"},
         {"select count(*) from t"},
         End::CloseStartUp},
        {"SQLite at start-up: a write waits on the start-up window; Escape",
         SqlDialect::SQLite,
         {"BEGIN IMMEDIATE", "update t set v = 5 where id = 1"},
         {"insert into t values (2, 0)"},
         End::EscapeStartUp},
        {"PostgreSQL at start-up: a read on the start-up window; the button",
         SqlDialect::PostgreSQL,
         {"begin", "lock table t in access exclusive mode"},
         {"select count(*) from t"},
         End::ButtonStartUp},
    };
    auto* edit = new QLineEdit(&window);
    auto* other = new QPushButton(QStringLiteral("другое"), &window);
    bool otherClicked = false;
    QObject::connect(other, &QPushButton::clicked, [&] { otherClicked = true; });
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(edit);
    layout->addWidget(other);
    window.setCentralWidget(central);
    InstallLockWaitStatus();
    struct Shown {
        QString text;
        int level;
    };
    std::vector<Shown> shown;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const QString& text, unsigned, QObject*) {
        shown.push_back({text, GetDBConnection().transactionLevel()});
        return IDOK;
    });
    const ErrorSink previousSink = SetErrorSink(&ShowComError);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTableDatabase db;
        if (!db.Open(c.dialect)) {
            if (c.dialect == SqlDialect::PostgreSQL && !PgAdminParams())
                continue; // the PostgreSQL cases need the test cluster
            FAIL() << "the database did not open";
        }
        std::vector<bool> closes;
        SetAppCloseHandler([&](bool duringWait) { closes.push_back(duringWait); });
        QWidget startUp;
        const bool onStartUp = c.end == End::CloseStartUp || c.end == End::EscapeStartUp || c.end == End::ButtonStartUp;
        if (onStartUp) {
            window.hide();
            startUp.resize(400, 200);
            startUp.show();
            SetLockWaitWindow(&startUp, true);
        }
        shown.clear();
        otherClicked = false;
        edit->clear();
        std::thread holder = HoldLock(
            c.dialect == SqlDialect::SQLite ? "QSQLITE" : "QPSQL", [&](QSqlDatabase& h) { db.Where(h); }, c.take,
            c.dialect == SqlDialect::SQLite ? "ROLLBACK" : "rollback", 4000);

        QElapsedTimer clock;
        clock.start();
        qint64 firstShown = -1;
        bool ok = true;
        {
            CWhileWaiting user(&window, [&] {
                QWidget* place = onStartUp ? static_cast<QWidget*>(&startUp) : &window;
                auto* button = place->findChild<QPushButton*>("lockWaitStop");
                const auto* text = startUp.findChild<QLabel*>("lockWaitText");
                const bool visible = onStartUp ? text && text->text() == kLockWaitText
                                               : window.statusBar()->currentMessage() == kLockWaitText;
                if (!visible || !button || !button->isVisible())
                    return false;
                if (firstShown < 0)
                    firstShown = clock.elapsed();
                // Nothing else the user does gets through.
                QTest::keyClicks(edit, "x");
                QTest::mouseClick(other, Qt::LeftButton);
                switch (c.end) {
                case End::Escape:
                    QTest::keyClick(edit, Qt::Key_Escape);
                    break;
                case End::Button:
                case End::ButtonStartUp:
                    QTest::mouseClick(button, Qt::LeftButton);
                    break;
                case End::EscapeStartUp:
                    QTest::keyClick(&startUp, Qt::Key_Escape);
                    break;
                case End::CloseMain:
                    window.close();
                    break;
                case End::CloseStartUp:
                    startUp.close();
                    break;
                }
                return true;
            });
            std::optional<CTransaction> tx;
            if (c.ours.size() > 1)
                ok = tx.emplace().isActive();
            for (const QString& sql : c.ours)
                ok = ok && ExecSql(sql);
            if (tx && ok)
                ok = tx->commit();
        }
        const qint64 ended = clock.elapsed();
        holder.join();
        SetLockWaitWindow(nullptr);
        window.show();

        EXPECT_FALSE(ok);
        EXPECT_GE(firstShown, 0) << "the wait was shown";
        EXPECT_LT(firstShown, 1000) << "within a second";
        EXPECT_LT(ended, 3000) << "the wait ended before the other program let go";
        EXPECT_EQ(edit->text(), "");
        EXPECT_FALSE(otherClicked);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].text.contains(QStringLiteral("Операция не выполнена, повторите ее позже.")))
            << shown[0].text.toStdString();
        EXPECT_EQ(shown[0].level, 0) << "the message waits for the end of the transaction";
        EXPECT_EQ(window.statusBar()->currentMessage(), "");
        EXPECT_EQ(window.findChild<QPushButton*>("lockWaitStop"), nullptr);
        EXPECT_TRUE(window.isVisible());
        const bool closing = c.end == End::CloseMain || onStartUp;
        EXPECT_EQ(AppCloseRequested(), closing);
        EXPECT_EQ(closes, closing ? std::vector<bool>{true} : std::vector<bool>{});
        SetAppCloseHandler(nullptr);
        // Nothing of ours is stored, and the connection works on.
        CSqlQuery check(QStringLiteral("select count(*), sum(v) from t"));
        ASSERT_TRUE(check.exec() && check.next());
        EXPECT_EQ(check.value(0).toInt(), 1);
        EXPECT_EQ(check.value(1).toInt(), 0);
    }
    SetErrorSink(previousSink);
    SetMessageBoxHandler(previous);
    SetLockWaitHook(nullptr);
}
