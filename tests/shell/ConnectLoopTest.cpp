#include "ConnectLoop.h"
#include "AppMessage.h"
#include "DbTest.h"
#include "ProcessExit.h"
#include "db/SqlScript.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <clocale>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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
        SetPasswordDialogHook(nullptr);
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

// The template of the user's folder, or the one beside the program: the database is made in the
// user's folder.
TEST_F(ConnectLoopTest, FirstStartCopiesTheTemplateSilently)
{
    for (const QString& folder : {home(), shippedFolder()}) {
        SCOPED_TRACE(folder.toStdString());
        QFile::remove(home() + "LIR.db");
        QFile::remove(home() + "LIR.db.tmpl");
        QFile::remove(profilePath());
        CopyTemplate(folder + "LIR.db.tmpl");
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
}

TEST_F(ConnectLoopTest, AStoredFileIsUsedAndOneThatFailsIsNamedAndNeverReplaced)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    QDir().mkpath(home() + "share");
    CopyTemplate(home() + "share/data.db");
    const QString stored = home() + "share/data.db";
    SetIni("DBFile", stored);
    DbConnectParams p;
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, stored);
    EXPECT_TRUE(messages.empty());

    // The share is not there at the start: the file is named; "Отмена" and "quit" leave the settings.
    ASSERT_TRUE(QDir().rename(home() + "share", home() + "away"));
    int dialogs = 0;
    SetConnectDialogHook([&](CDbSetupSettings& s) {
        ++dialogs;
        EXPECT_EQ(s.dbFile, stored);
        return false;
    });
    answers = {IDOK, IDYES};
    EXPECT_EQ(RunExpectingExit(), 0);
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains("Файл базы данных не найден: " + stored)) << messages[0].text.toStdString();
    EXPECT_EQ(Ini("DBFile").toString(), stored);
    EXPECT_FALSE(QFile::exists(stored)); // the test open creates nothing

    // Once it is back, it opens.
    ASSERT_TRUE(QDir().rename(home() + "away", home() + "share"));
    messages.clear();
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, stored);
    EXPECT_TRUE(messages.empty());

    // Or the user makes a new database where it chooses: stored once it has opened.
    ASSERT_TRUE(QDir().rename(home() + "share", home() + "away"));
    QDir().mkpath(home() + "new");
    SetConnectDialogHook([&](CDbSetupSettings& s) {
        s.dbFile = home() + "new/made.db";
        s.createFile = true;
        return true;
    });
    answers = {IDOK};
    ASSERT_TRUE(RunConnectLoop(&p));
    EXPECT_EQ(p.file, home() + "new/made.db");
    EXPECT_EQ(Ini("DBFile").toString(), home() + "new/made.db");
}

// A database the settings name is the user's data: when it is gone, the program's own default file
// included, nothing is made in its place; the file is named and the user asked.
TEST_F(ConnectLoopTest, AStoredFileThatIsGoneIsNeverMadeAgainFromTheTemplate)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    for (const QString& stored : {home() + "LIR.db", home() + "share/data.db"}) {
        SCOPED_TRACE(stored.toStdString());
        QFile::remove(profilePath());
        SetIni("DBFile", stored);
        messages.clear();
        int dialogs = 0;
        SetConnectDialogHook([&](CDbSetupSettings& s) {
            ++dialogs;
            EXPECT_EQ(s.dbFile, stored);
            return false;
        });
        answers = {IDOK, IDYES}; // the message, then "quit" after "Отмена"
        EXPECT_EQ(RunExpectingExit(), 0);
        EXPECT_EQ(dialogs, 1);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_TRUE(messages[0].text.contains("Файл базы данных не найден: " + stored))
            << messages[0].text.toStdString();
        EXPECT_FALSE(QFile::exists(home() + "LIR.db"));
        EXPECT_EQ(Ini("DBFile").toString(), stored);
    }
}

TEST_F(ConnectLoopTest, ADatabaseMadeInASharedFolderIsSharedLikeIt)
{
    // The folder's group (one the test may give it) with its group-write bit, as a team's folder has.
    const gid_t group = ::geteuid() == 0 ? gid_t(65534) : ::getegid();
    const QByteArray folder = QFile::encodeName(home());
    ASSERT_EQ(::chown(folder.constData(), uid_t(-1), group), 0);
    ASSERT_EQ(::chmod(folder.constData(), 02775), 0);
    CopyTemplate(home() + "LIR.db.tmpl");
    const mode_t mask = ::umask(022);
    DbConnectParams p;
    const bool connected = RunConnectLoop(&p);
    ::umask(mask);
    ASSERT_TRUE(connected);
    struct stat st { };
    ASSERT_EQ(::stat(QFile::encodeName(home() + "LIR.db").constData(), &st), 0);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}

TEST_F(ConnectLoopTest, AFileThatIsNotADatabaseFailsAtTheOpen)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    WriteFile(home() + "junk.db", QByteArray(4096, 'x'));
    SetIni("DBFile", home() + "junk.db");
    SetConnectDialogHook([](CDbSetupSettings&) { return false; });
    answers = {IDOK, IDYES};
    EXPECT_EQ(RunExpectingExit(), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].text.contains("Файл не является базой данных программы: " + home() + "junk.db"))
        << messages[0].text.toStdString();
    EXPECT_EQ(Ini("DBFile").toString(), home() + "junk.db");
    EXPECT_EQ(ReadFile(home() + "junk.db"), QByteArray(4096, 'x'));
}

TEST_F(ConnectLoopTest, OldOrMissingVersionEndsTheProcessAndLeavesTheFileAsItWas)
{
    CopyTemplate(home() + "LIR.db");
    SetVersion(home() + "LIR.db", "update tSysDbVersion set n = 35");
    SetIni("DBFile", home() + "LIR.db");
    const QByteArray before = QCryptographicHash::hash(ReadFile(home() + "LIR.db"), QCryptographicHash::Sha256);
    EXPECT_EQ(RunExpectingExit(), 0);
    EXPECT_EQ(QCryptographicHash::hash(ReadFile(home() + "LIR.db"), QCryptographicHash::Sha256), before);
    EXPECT_FALSE(QFile::exists(home() + "LIR.db-wal"));
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
        const auto failure = RunSqlScript(db, SqlDialect::PostgreSQL, SchemaScript(SqlDialect::PostgreSQL));
        EXPECT_FALSE(failure) << failure->error.text().toStdString();
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

TEST_F(ConnectLoopTest, TheCommonCausesOfAFailedConnectionAreNamedInRussian)
{
    const auto admin = PgAdminParams();
    const QString tcpHost = qEnvironmentVariable("PGTEST_TCPHOST");
    const QString noLogin = QStringLiteral("lir_nologin_%1").arg(QCoreApplication::applicationPid());
    if (admin)
        ExecPgAsAdmin(admin->dbName, QStringLiteral("create role %1 nologin password 'pw'").arg(noLogin));
    const int pgPort = admin ? admin->port : 0;
    auto server = [&](const QString& host, int port, const QString& user = "postgres", const QString& password = "pw",
                      const QString& dbName = "postgres") {
        for (const auto& [key, value] : {std::pair<QString, QVariant>{"Sql", 1},
                                         {"HostName", host},
                                         {"Port", port},
                                         {"UserName", user},
                                         {"Password", password},
                                         {"DbName", dbName}})
            SetIni(key, value);
    };
    const QString refused =
        "Сервер базы данных «127.0.0.1» не принимает соединения: он не запущен, или неверно указаны его имя или порт.";
    const QByteArray messagesLocale = std::setlocale(LC_MESSAGES, nullptr);
    // A port that takes connections and never answers them.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const struct {
        const char* what;
        std::function<void()> arrange;
        QString reason;
        const char* description; // of the driver, kept under the reason; none under a server's
        bool needsServer = false;
    } cases[] = {
        {"a file of garbage",
         [&] {
             CopyTemplate(home() + "LIR.db.tmpl");
             WriteFile(home() + "LIR.db", QByteArray(4096, 'x'));
         },
         "Файл не является базой данных программы: " + home() + "LIR.db", "file is not a database"},
        // An empty file would open as an empty database of no version: it is named, and left for a restore.
        {"an empty file",
         [&] {
             CopyTemplate(home() + "LIR.db.tmpl");
             WriteFile(home() + "LIR.db", QByteArray());
         },
         "Файл базы данных пуст (0 байт) и не является базой данных: " + home() + "LIR.db",
         "Восстановите его из копии или удалите его"},
        {"no database and no template", [] {},
         "Не найден шаблон базы данных: " + home() + "LIR.db.tmpl или " + shippedFolder() + "LIR.db.tmpl", ""},
        {"a server that refuses connections", [&] { server("127.0.0.1", 1); }, refused, nullptr},
        // The word "refused" is not there when libpq speaks the user's language.
        {"a server that refuses connections, libpq in Russian",
         [&] {
             server("127.0.0.1", 1);
             ASSERT_NE(std::setlocale(LC_MESSAGES, "ru_RU.UTF-8"), nullptr) << "no ru_RU.UTF-8 locale";
         },
         refused, nullptr},
        {"a server name without an address", [&] { server("lir-no-such-host.invalid", 5432); },
         "Сервер базы данных «lir-no-such-host.invalid» не найден: неверно указано его имя, или нет связи с сетью.",
         nullptr},
        {"a server that never answers", [&] { server("127.0.0.1", ntohs(address.sin_port)); },
         "Сервер базы данных «127.0.0.1» не ответил за 10 с: нет связи с ним, или неверно указаны его имя или порт.",
         nullptr},
        {"a wrong password", [&] { server(tcpHost, pgPort, "postgres", "not the password"); },
         "Неверное имя пользователя или пароль.", nullptr, true},
        {"no such database",
         [&] { server(tcpHost, pgPort, "postgres", qEnvironmentVariable("PGTEST_PASSWORD"), "lir_no_such_database"); },
         "На сервере нет базы данных «lir_no_such_database».", nullptr, true},
        {"a login that may not log in", [&] { server(tcpHost, pgPort, noLogin); },
         "Сервер не разрешает пользователю «" + noLogin + "» подключаться к базе данных «postgres».", nullptr, true},
    };
    for (const auto& c : cases) {
        std::setlocale(LC_MESSAGES, messagesLocale.constData());
        if (c.needsServer && (!admin || tcpHost.isEmpty())) {
            ADD_FAILURE() << "PostgreSQL test cluster is not running: " << c.what << " is not tried";
            continue;
        }
        QFile::remove(home() + "LIR.db");
        QFile::remove(home() + "LIR.db.tmpl");
        QFile::remove(profilePath());
        messages.clear();
        c.arrange();
        const bool hadFile = QFileInfo::exists(home() + "LIR.db");
        const QByteArray before = hadFile ? ReadFile(home() + "LIR.db") : QByteArray();
        SetConnectDialogHook([](CDbSetupSettings&) { return false; });
        answers = {IDOK, IDYES};
        EXPECT_EQ(RunExpectingExit(), 0) << c.what;
        if (hadFile) {
            EXPECT_EQ(ReadFile(home() + "LIR.db"), before) << c.what;
        }
        ASSERT_FALSE(messages.empty()) << c.what;
        const QStringList lines = messages[0].text.split('\n');
        ASSERT_GE(lines.size(), 4) << c.what;
        EXPECT_EQ(lines[3], c.reason) << c.what;
        if (c.description)
            EXPECT_TRUE(lines.mid(4).join('\n').contains(c.description))
                << c.what << ": " << messages[0].text.toStdString();
        else
            EXPECT_EQ(lines.size(), 4) << c.what << ": " << messages[0].text.toStdString();
    }
    std::setlocale(LC_MESSAGES, messagesLocale.constData());
    ::close(silent);
    if (admin)
        ExecPgAsAdmin(admin->dbName, "drop role if exists " + noLogin);
}

// A server login whose password is neither kept nor found by libpq: the password is asked first,
// before any message; a wrong one is named in Russian and the settings dialog comes; "Отмена" leads
// only to the question.
TEST_F(ConnectLoopTest, AServerLoginWithoutItsPasswordIsAskedForItFirst)
{
    const auto admin = PgAdminParams();
    const QString tcpHost = qEnvironmentVariable("PGTEST_TCPHOST");
    if (!admin || tcpHost.isEmpty())
        GTEST_SKIP() << "PostgreSQL test cluster is not running (PGHOST, PGTEST_TCPHOST: scripts/test.sh)";
    const QString dbName = QStringLiteral("lir_ask_%1").arg(QCoreApplication::applicationPid());
    ASSERT_EQ(CreateScratchPgDatabase(dbName), "");
    const QString password = qEnvironmentVariable("PGTEST_PASSWORD");
    const struct {
        const char* what;
        QStringList typed; // a password a dialog, until they run out: "Отмена"
        QStringList asked;
        QStringList shown;
        const char* environment = ""; // PGPASSWORD
    } cases[] = {
        // libpq finds it itself: nobody is asked.
        {"PGPASSWORD", {}, {}, {}, "PGPASSWORD"},
        {"the right password", {password}, {"password"}, {}},
        {"a wrong one, then the right one",
         {"wrong", password},
         {"password", "settings"},
         {"Ошибка подключения к базе данных.\nУточните параметры подключения или обратитесь к системному "
          "администратору.\n\nНеверное имя пользователя или пароль."}},
        {"Отмена",
         {},
         {"password"},
         {"Вы действительно хотите выйти из программы?\n\nВНИМАНИЕ: Все несохранённые данные будут потеряны.\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(profilePath());
        SetIni("Sql", 1);
        SetIni("HostName", tcpHost);
        SetIni("Port", admin->port);
        SetIni("DbName", dbName);
        SetIni("UserName", "postgres");
        messages.clear();
        QStringList typed = c.typed, asked;
        auto answer = [&](const char* which, CDbSetupSettings& s) {
            if (asked.isEmpty()) {
                EXPECT_TRUE(messages.empty()) << "a message before the password was asked";
                EXPECT_TRUE(s.password.isEmpty());
            }
            asked << which;
            if (typed.isEmpty())
                return false;
            s.password = typed.takeFirst();
            return true;
        };
        SetPasswordDialogHook([&](CDbSetupSettings& s) { return answer("password", s); });
        SetConnectDialogHook([&](CDbSetupSettings& s) { return answer("settings", s); });
        answers = {c.typed.isEmpty() ? IDYES : IDOK};
        if (*c.environment)
            qputenv(c.environment, password.toUtf8());
        DbConnectParams p;
        if (*c.environment)
            EXPECT_TRUE(RunConnectLoop(&p));
        else if (c.typed.isEmpty())
            EXPECT_EQ(RunExpectingExit(), 0);
        else
            EXPECT_TRUE(RunConnectLoop(&p));
        EXPECT_EQ(asked, c.asked);
        QStringList shown;
        for (const auto& m : messages)
            shown << m.text;
        EXPECT_EQ(shown, c.shown);
        if (*c.environment)
            qunsetenv(c.environment);
    }
    DropScratchPgDatabase(dbName);
}

TEST_F(ConnectLoopTest, AProgramFolderThatCannotBeWrittenIsNamed)
{
    CopyTemplate(home() + "LIR.db.tmpl");
    // Root writes into any folder unless the folder is immutable.
    const bool root = geteuid() == 0;
    if (root && QProcess::execute("chattr", {"+i", home()}) != 0)
        GTEST_SKIP() << "running as root, and chattr cannot make the folder immutable here";
    if (!root)
        QFile::setPermissions(home(), QFile::ReadOwner | QFile::ExeOwner);
    SetConnectDialogHook([](CDbSetupSettings&) { return false; });
    answers = {IDOK, IDYES};
    const int code = RunExpectingExit();
    if (root)
        QProcess::execute("chattr", {"-i", home()});
    else
        QFile::setPermissions(home(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(code, 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].text.contains("Папка программы недоступна для записи: " + home()))
        << messages[0].text.toStdString();
}

TEST_F(ConnectLoopTest, NumbersBeyondTheirRangeInTheProfileKeepTheDefault)
{
    const struct {
        const char* key;
        const char* text;
        int expected;
    } cases[] = {
        {"Port", "-99999999999", 5432}, {"Port", "70000", 5432},  {"Port", "x", 5432},
        {"Port", "5433", 5433},         {"Sql", "4294967297", 0}, {"SavePass", "99999999999", 1},
    };
    for (const auto& c : cases) {
        SetIni(c.key, c.text);
        const CDbSetupSettings s;
        const int read = QString(c.key) == "Port" ? s.port : QString(c.key) == "Sql" ? s.sql : int(s.savePass);
        EXPECT_EQ(read, c.expected) << c.key << "=" << c.text;
    }
}
