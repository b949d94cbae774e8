#include "ConnectLoop.h"
#include "AppMessage.h"
#include "DbTest.h"
#include "ProcessExit.h"
#include "db/SqlScript.h"

#include <QFile>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

const QString kTemplate = QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl");

// The end of the process unwinds instead of ending the test run.
struct ProcessExitCalled {
    int code;
};

class ConnectLoopTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        SetExitHook([](int code) { throw ProcessExitCalled{code}; });
    }
    void TearDown() override
    {
        SetConnectDialogHook(nullptr);
        SetExitHook(nullptr);
        TempHomeTest::TearDown();
    }
    void CopyTemplate(const QString& to)
    {
        ASSERT_TRUE(QFile::copy(kTemplate, to));
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
    void SetVersion(const QString& file, const QString& statement)
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(file);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QVariant Ini(const QString& key)
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        return ini.value("Settings/DataBase/" + key);
    }
    void SetIni(const QString& key, const QVariant& value)
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue("Settings/DataBase/" + key, value);
    }
    int RunExpectingExit()
    {
        DbConnectParams p;
        try {
            RunConnectLoop(&p);
        } catch (const ProcessExitCalled& e) {
            return e.code;
        }
        ADD_FAILURE() << "the process was expected to end";
        return -1;
    }
};

} // namespace

TEST_F(ConnectLoopTest, FirstStartCopiesTheTemplateSilently)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    DbConnectParams p;
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(p.dialect, SqlDialect::SQLite);
    EXPECT_EQ(p.file, home() + "LIR.db");
    EXPECT_TRUE(QFile::exists(home() + "LIR.db"));
    EXPECT_EQ(Ini("DBFile").toString(), home() + "LIR.db");
    EXPECT_EQ(Ini("Sql").toInt(), 0);
    EXPECT_EQ(Ini("SavePass").toInt(), 1);
    EXPECT_TRUE(Ini("Password").toString().isEmpty());
    EXPECT_TRUE(Ini("Password").isValid());
}

TEST_F(ConnectLoopTest, StoredFileElsewhereIsUsedAndAMissingOneReplacedSilently)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    CopyTemplate(home() + "other.db");
    SetIni("DBFile", home() + "other.db");
    DbConnectParams p;
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, home() + "other.db");
    EXPECT_TRUE(QFile::exists(home() + "LIR.db")); // the default is still prepared

    SetIni("DBFile", home() + "gone/missing.db");
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, home() + "LIR.db");
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(QFile::exists(home() + "gone/missing.db")); // the test open creates nothing
}

TEST_F(ConnectLoopTest, AFileThatIsNotADatabaseFailsAtTheOpen)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    WriteFile(home() + "junk.db", QByteArray(4096, 'x'));
    SetIni("DBFile", home() + "junk.db");
    DbConnectParams p;
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, home() + "LIR.db");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ConnectLoopTest, OldOrMissingVersionEndsTheProcess)
{
    CopyTemplate(home() + "LIR.db");
    SetVersion(home() + "LIR.db", "update tSysDbVersion set n = 35");
    SetIni("DBFile", home() + "LIR.db");
    EXPECT_EQ(RunExpectingExit(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Найдена устаревшая версия базы данных.\nДальнейшая работа не возможна\nПриложение будет закрыто\n");

    messages.clear();
    SetVersion(home() + "LIR.db", "drop table tSysDbVersion");
    EXPECT_EQ(RunExpectingExit(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Найдена устаревшая версия"));
}

TEST_F(ConnectLoopTest, WithoutDatabaseAndTemplateTheDialogOffersAWayOut)
{
    int dialogs = 0;
    SetConnectDialogHook([&](CDbSetupSettings&) {
        ++dialogs;
        return false; // cancelled
    });
    answers = {IDOK, IDNO, IDYES}; // the error, "stay", then "quit"
    EXPECT_EQ(RunExpectingExit(), 0);
    EXPECT_EQ(dialogs, 2);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].text.startsWith("Ошибка подключения к базе данных.\nУточните параметры подключения или "
                                            "обратитесь к системному администратору.\n\n"));
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONEXCLAMATION));
    EXPECT_EQ(messages[1].text,
              "Вы действительно хотите выйти из программы?\n\nВНИМАНИЕ: Все несохранённые данные будут потеряны.\n");
    EXPECT_EQ(messages[1].flags, unsigned(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_FALSE(QFile::exists(home() + "LIR.db"));
}

TEST_F(ConnectLoopTest, TheDialogCanPointAtAWorkingFile)
{
    CopyTemplate(home() + "chosen.db");
    SetConnectDialogHook([&](CDbSetupSettings& s) {
        s.sql = 0;
        s.dbFile = home() + "chosen.db";
        return true;
    });
    DbConnectParams p;
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, home() + "chosen.db");
    EXPECT_EQ(Ini("DBFile").toString(), home() + "chosen.db");
    EXPECT_EQ(messages.size(), 1u); // the connection error before the dialog
}

TEST_F(ConnectLoopTest, PasswordIsRememberedOnlyWhenAsked)
{
    CDbSetupSettings s;
    s.sql = 1;
    s.password = "secret";
    s.passwordEntered = true;
    s.savePass = false;
    s.SaveSettings();
    EXPECT_TRUE(Ini("Password").toString().isEmpty());
    EXPECT_EQ(Ini("SavePass").toInt(), 0);
    s.savePass = true;
    s.SaveSettings();
    EXPECT_EQ(Ini("Password").toString(), "secret");
    EXPECT_EQ(QFile::permissions(profilePath()) & (QFile::ReadGroup | QFile::ReadOther), 0);
}

TEST_F(ConnectLoopTest, AnUnreachableServerIsNeverReplacedByTheLocalFile)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    SetIni("Sql", 1);
    SetIni("HostName", "127.0.0.1");
    SetIni("Port", 1); // nothing listens there
    SetIni("UserName", "nobody");
    int dialogs = 0;
    SetConnectDialogHook([&](CDbSetupSettings& s) {
        ++dialogs;
        EXPECT_EQ(s.sql, 1);
        return false;
    });
    answers = {IDOK, IDYES};
    EXPECT_EQ(RunExpectingExit(), 0);
    EXPECT_EQ(dialogs, 1);
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].text.startsWith("Ошибка подключения к базе данных."));
    EXPECT_FALSE(QFile::exists(home() + "LIR.db"));
    EXPECT_EQ(Ini("Sql").toInt(), 1);
}

TEST_F(ConnectLoopTest, ConnectsToAServerDatabaseOfTheCurrentVersion)
{
    auto admin = PgAdminParams();
    if (!admin)
        GTEST_SKIP() << "PostgreSQL test cluster is not running (PGHOST is not set)";
    const QString dbName = QStringLiteral("lir_loop_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    const QString conn = QUuid::createUuid().toString();
    auto adminDb = [&](const QString& database) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", conn);
        db.setHostName(admin->host);
        db.setPort(admin->port);
        db.setUserName(admin->user);
        db.setDatabaseName(database);
        return db;
    };
    {
        QSqlDatabase db = adminDb("postgres");
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("create database " + dbName);
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
    {
        QSqlDatabase db = adminDb(dbName);
        ASSERT_TRUE(db.open());
        QSqlError error;
        EXPECT_TRUE(RunSqlScript(db, SqlDialect::PostgreSQL, SchemaScript(SqlDialect::PostgreSQL), &error))
            << error.text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);

    SetIni("Sql", 1);
    SetIni("HostName", admin->host);
    SetIni("Port", admin->port);
    SetIni("DbName", dbName);
    SetIni("UserName", admin->user);
    DbConnectParams p;
    EXPECT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.dialect, SqlDialect::PostgreSQL);
    EXPECT_EQ(p.dbName, dbName);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(QFile::exists(home() + "LIR.db"));

    {
        QSqlDatabase db = adminDb("postgres");
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("drop database " + dbName + " with (force)");
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}
