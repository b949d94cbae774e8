// The server kind on the PostgreSQL test cluster: creation, reruns, upgrades of databases of earlier
// versions, the default administrator and the rights of the logins that were there before.
#include "BastrelTestSupport.h"

#include "DbPreparer.h"
#include "DbTest.h"
#include "PrepTexts.h"
#include "db/SqlScript.h"
#include "tables/Mailings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

class BastrelServerTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        if (!PgClusterRunning())
            GTEST_SKIP() << "PostgreSQL test cluster or psql is missing";
        m_lock = std::make_unique<CAdminLoginLock>();
    }
    void TearDown() override
    {
        for (const QString& db : m_databases)
            DropPgDatabase(db);
        m_lock.reset();
        TempHomeTest::TearDown();
    }

    QString NewName()
    {
        m_databases << NewPgDatabaseName();
        return m_databases.back();
    }

    // One preparation as the dialog's OK runs it, as the cluster's administrator over TCP.
    int Prepare(const QString& db, const QString& password = QString(), int tablesWaitMs = CDbPreparer::kTablesWaitMs)
    {
        const DbConnectParams admin = *PgAdminParams();
        CDbPreparer preparer;
        preparer.SetPort(admin.port);
        preparer.SetDbName(db);
        preparer.SetTablesWait(tablesWaitMs);
        statuses.clear();
        preparer.SetStatusHandler([this](const QString& text) { statuses << text; });
        return preparer.Run(true, QStringLiteral("127.0.0.1"), admin.user,
                            password.isEmpty() ? qEnvironmentVariable("PGTEST_PASSWORD") : password, 0, QString());
    }

    // A login's connection over TCP with its password, answering a query.
    static PeerRun ConnectAs(const QString& login, const QString& password, const QString& db, const QString& sql)
    {
        qputenv("PGPASSWORD", password.toUtf8());
        PeerRun run = RunPeer(QStringLiteral("psql"),
                              {QStringLiteral("-X"), QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-h"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("-U"), login, QStringLiteral("-d"), db,
                               QStringLiteral("-c"), sql});
        qunsetenv("PGPASSWORD");
        return run;
    }

    // The messages shown, for a failure's report.
    std::string Shown() const
    {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.text;
        return texts.join(QStringLiteral("\n---\n")).toStdString();
    }

    bool ErrorShown() const
    {
        for (const auto& m : messages)
            if ((m.flags & 0xF0) == 0x10)
                return true;
        return false;
    }

    std::unique_ptr<CAdminLoginLock> m_lock;
    QStringList m_databases;
    QStringList statuses; // what the last preparation said while it waited
};

TEST_F(BastrelServerTest, CreatesThenRerunChangesNoSchema)
{
    if (qEnvironmentVariableIsEmpty("PGTEST_PASSWORD"))
        GTEST_SKIP() << "the cluster's TCP password is not known (PGTEST_PASSWORD)";
    const QString db = NewName();
    ASSERT_EQ(Prepare(db), 1);
    EXPECT_EQ(PsqlValue(db, QStringLiteral("select n from tsysdbversion")), QStringLiteral("36"));
    EXPECT_EQ(PsqlValue(db, QStringLiteral("select count(*) from pg_tables where schemaname = 'public'")),
              QStringLiteral("21"));
    EXPECT_EQ(PsqlValue(db,
                        QStringLiteral("select string_agg(rolname, ',' order by rolname) from pg_roles where "
                                       "rolname in ('lir_admins', 'lir_experts', 'lir_users', 'lir_admin')")),
              QStringLiteral("lir_admin,lir_admins,lir_experts,lir_users"));
    const PeerRun admin = ConnectAs(QStringLiteral("lir_admin"), QStringLiteral("tarno"), db,
                                    QStringLiteral("select IsAdmin(session_user)"));
    EXPECT_EQ(admin.output.trimmed(), QStringLiteral("1")) << admin.output.toStdString();
    // The closing words tell to change the default password.
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.contains(QStringLiteral("Смените этот пароль")));

    const QString before = PgDump(db, true);
    ASSERT_EQ(Prepare(db), 1);
    EXPECT_EQ(PgDump(db, true), before);

    // A second database on the cluster lets the same administrator in.
    const QString second = NewName();
    ASSERT_EQ(Prepare(second), 1);
    for (const QString& name : {db, second})
        EXPECT_EQ(ConnectAs(QStringLiteral("lir_admin"), QStringLiteral("tarno"), name,
                            QStringLiteral("select IsAdmin(session_user)"))
                      .output.trimmed(),
                  QStringLiteral("1"))
            << name.toStdString();
}

TEST_F(BastrelServerTest, WrongPasswordMakesNothing)
{
    const QString missing = NewName();
    EXPECT_EQ(Prepare(missing, QStringLiteral("not-the-password")), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Неверное имя пользователя или пароль.")))
        << messages[0].text.toStdString();
    EXPECT_EQ(PsqlValue(QStringLiteral("postgres"),
                        QStringLiteral("select count(*) from pg_database where datname = '%1'").arg(missing)),
              QStringLiteral("0"));
}

TEST_F(BastrelServerTest, UpgradesEarlierVersions)
{
    if (qEnvironmentVariableIsEmpty("PGTEST_PASSWORD"))
        GTEST_SKIP() << "the cluster's TCP password is not known (PGTEST_PASSWORD)";
    // The schema as the program makes it today, to compare with.
    const QString current = NewName();
    ASSERT_EQ(Prepare(current), 1);
    const QString currentSchema = PgDump(current, true);

    {
        SCOPED_TRACE("first generation");
        const QString db = NewName();
        CreatePgDatabase(db);
        LoadPgFixture(db, FixturePath(QStringLiteral("pg-first-generation.sql")));
        ASSERT_EQ(Prepare(db), 1);
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("select count(*) from pg_tables where schemaname = 'public' and "
                                           "tablename in ('tclsimporteventtype', 'tsysdbversion', "
                                           "'tfcttotalprognoz', 'tfctprognozdata', 'tfctprognoz', 'tfctprice', "
                                           "'tfctoldimportmap', 'tfctnews', 'tfctimportstatus', 'tfctfaq', "
                                           "'tfctdocumentation', 'tclsreceivermap', 'tclsreceiver', "
                                           "'tclsproduct', 'tclsmeasurement', 'tclsmconvert')")),
                  QStringLiteral("16"));
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("select string_agg(coalesce(code, '-') || ' ' || name, ',' order by id) "
                                           "from tclsproduct")),
                  QStringLiteral("- Продукция,001 Уголь,002 Бумага офисная"));
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("select string_agg(name || ' ' || coalesce(code, '-') || ' ' || "
                                           "coalesce(oboznachenie, '-'), ',' order by id) from tclsmeasurement")),
                  QStringLiteral("Штука 796 шт,Тонна 168 т,Рубль - -"));
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("select string_agg(id || ':' || status || ':' || owner || ':' || "
                                           "ownername, ',' order by id) from tfctprognoz")),
                  QStringLiteral("1:0:1:Министерство,2:1:3:Другое министерство"));
        // A new row of each kind of id still gets one.
        EXPECT_EQ(PsqlValue(db, QStringLiteral("insert into tclsmeasurement (name) values ('Литр') returning id")),
                  QStringLiteral("4"));
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("insert into tclsreceiver (category, name, importedId, isgroup) "
                                           "values (1, 'Новый', 0, 0) returning id")),
                  QStringLiteral("4"));
        const QString upgraded = PgDump(db, true);
        ASSERT_EQ(Prepare(db), 1);
        EXPECT_EQ(PgDump(db, true), upgraded);
    }
    {
        SCOPED_TRACE("schema 36 without its stamp");
        const QString db = NewName();
        CreatePgDatabase(db);
        QTemporaryDir dir;
        WriteFile(dir.filePath(QStringLiteral("schema.sql")),
                  SchemaScript(SqlDialect::PostgreSQL).toUtf8() + "DELETE FROM tSysDbVersion\nGO\n");
        LoadPgFixture(db, dir.filePath(QStringLiteral("schema.sql")));
        ASSERT_EQ(Prepare(db), 1);
        EXPECT_EQ(PgDump(db, true), currentSchema);
    }
    {
        SCOPED_TRACE("schema 36 before logins connected one by one");
        const QString db = NewName();
        CreatePgDatabase(db);
        LoadPgFixture(db, FixturePath(QStringLiteral("pg-36-before-hardening.sql")));
        const QString expert = QStringLiteral("bastrel_expert_%1").arg(db);
        Psql(db, QStringLiteral("DROP ROLE IF EXISTS %1").arg(expert));
        ASSERT_EQ(Psql(db,
                       QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'pw'; GRANT lir_experts TO %1; "
                                      "INSERT INTO tfctprognoz (id, name, year) VALUES (1, 'П', 2020); "
                                      "INSERT INTO tclsproduct (prognoz, id, parent, isgroup, name) "
                                      "VALUES (1, 1, 0, 1, 'x'); INSERT INTO tfctprice (prognoz, product, "
                                      "pricePrev) VALUES (1, 1, 1), (1, 1, 2)")
                           .arg(expert))
                      .exitCode,
                  0);
        EXPECT_EQ(ConnectAs(expert, QStringLiteral("pw"), db, QStringLiteral("select 1")).output.trimmed(),
                  QStringLiteral("1"));
        // What the groups could do before and may not after: set a sequence, store a large object,
        // lock a table that everybody's start reads, forge a journal line's date.
        const QString user = QStringLiteral("bastrel_user_%1").arg(db);
        Psql(db, QStringLiteral("DROP ROLE IF EXISTS %1").arg(user));
        ASSERT_EQ(
            Psql(db, QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'pw'; GRANT lir_users TO %1").arg(user)).exitCode,
            0);
        const std::pair<QString, const char*> hardened[] = {
            {expert, "select nextval(pg_get_serial_sequence('tfctopjournal', 'id'))"},
            {user, "select setval(pg_get_serial_sequence('tfctmailing', 'id'), 2147483647)"},
            {user, "select lo_from_bytea(0, 'x')"},
            {user, "begin; lock table tclsimporteventtype in access exclusive mode; commit"},
            {user, "insert into tfctopjournal (Text, Date) values ('x', '2001-01-01')"},
        };
        for (const auto& [login, sql] : hardened) {
            const PeerRun run = ConnectAs(login, QStringLiteral("pw"), db, QString::fromLatin1(sql));
            EXPECT_TRUE(run.exitCode == 0 && !run.output.contains(QStringLiteral("ERROR")))
                << sql << ": " << run.output.toStdString();
        }
        // Limits of the database that the preparation's own session must not meet.
        ASSERT_EQ(Psql(db, QStringLiteral("ALTER DATABASE %1 SET statement_timeout = '300ms'").arg(db)).exitCode, 0);
        messages.clear();
        ASSERT_EQ(Prepare(db), 1) << Shown();
        EXPECT_EQ(PgDump(db, true), currentSchema);
        // What those rights left behind is mended and named: the program stores a mailing again.
        ASSERT_FALSE(messages.empty());
        EXPECT_TRUE(messages.back().text.endsWith(
            QStringLiteral("\n\nПри обновлении исправлено:\nсчетчики номеров записей поставлены за наибольшим номером "
                           "своей таблицы: 1 (tfctmailing)\nудалены большие объекты, на которые не ссылается ни одна "
                           "запись: 1")))
            << messages.back().text.toStdString();
        EXPECT_EQ(PsqlValue(db, QStringLiteral("select count(*) from pg_largeobject_metadata")), QStringLiteral("0"));
        {
            DbConnectParams admin = *PgAdminParams();
            admin.dbName = db;
            ASSERT_TRUE(GetDBConnection().ConnectWith(admin));
            CMailingRecord mailing;
            mailing.prognoz = 1;
            mailing.subject = QStringLiteral("Сообщение");
            EXPECT_TRUE(SaveMailing(mailing));
            EXPECT_EQ(mailing.id, 1);
            GetDBConnection().Close();
        }
        EXPECT_EQ(ConnectAs(user, QStringLiteral("pw"), db,
                            QStringLiteral("select (select count(*) from pg_class where case when relkind = 'S' then "
                                           "has_sequence_privilege(oid, 'SELECT, USAGE, UPDATE') end) || ' ' || "
                                           "(select count(*) from pg_proc where proname ~ '^(lo_|loread$|lowrite$)' "
                                           "and has_function_privilege(oid, 'EXECUTE'))"))
                      .output.trimmed(),
                  QStringLiteral("0 0"));
        for (const auto& [login, sql] : hardened) {
            const PeerRun run = ConnectAs(login, QStringLiteral("pw"), db, QString::fromLatin1(sql));
            EXPECT_TRUE(run.output.contains(QStringLiteral("permission denied")))
                << sql << ": " << run.output.toStdString();
        }
        EXPECT_EQ(PsqlValue(db,
                            QStringLiteral("select string_agg(c, ' ' order by c) from pg_db_role_setting s "
                                           "join pg_database d on d.oid = s.setdatabase, unnest(s.setconfig) c "
                                           "where d.datname = current_database() and s.setrole = 0")),
                  QStringLiteral("idle_in_transaction_session_timeout=60s lock_timeout=120s statement_timeout=10min"));
        EXPECT_EQ(ConnectAs(expert, QStringLiteral("pw"), db, QStringLiteral("select IsExpert(session_user)"))
                      .output.trimmed(),
                  QStringLiteral("1"));
        EXPECT_EQ(PsqlValue(db, QStringLiteral("select pricePrev from tfctprice")), QStringLiteral("2.0000"));
        const QString journal = PsqlValue(db, QStringLiteral("select string_agg(Text, '|') from tfctopjournal"));
        EXPECT_TRUE(journal.contains(expert)) << journal.toStdString();
        EXPECT_TRUE(journal.contains(QStringLiteral("повторная строка цены"))) << journal.toStdString();
        // The groups hold what the current schema gives them: an expert's login writes no version.
        EXPECT_TRUE(ConnectAs(expert, QStringLiteral("pw"), db, QStringLiteral("update tsysdbversion set n = 35"))
                        .output.contains(QStringLiteral("permission denied")));
        m_databases.removeAll(db);
        DropPgDatabase(db);
        Psql(QStringLiteral("postgres"), QStringLiteral("DROP ROLE IF EXISTS %1, %2").arg(expert, user));
    }
}

// A plain user's transaction left open on a table: the upgrade tries a moment at a time, so that the
// others' reads of that table wait under a second, then names the session and has changed nothing;
// once the table is free it runs.
TEST_F(BastrelServerTest, BusyTablesAreNamedAndLeftAsTheyWere)
{
    if (qEnvironmentVariableIsEmpty("PGTEST_PASSWORD"))
        GTEST_SKIP() << "the cluster's TCP password is not known (PGTEST_PASSWORD)";
    const QString db = NewName();
    ASSERT_EQ(Prepare(db), 1);
    const QString user = QStringLiteral("bastrel_busy_%1").arg(db);
    Psql(db, QStringLiteral("DROP ROLE IF EXISTS %1").arg(user));
    ASSERT_EQ(Psql(db,
                   QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'pw'; GRANT lir_users TO %1; "
                                  "GRANT CONNECT ON DATABASE %2 TO %1")
                       .arg(user, db))
                  .exitCode,
              0);
    const QString before = PgDump(db, false);
    DbConnectParams plain = *PgAdminParams();
    plain.host = QStringLiteral("127.0.0.1");
    plain.dbName = db;
    plain.user = user;
    plain.password = QStringLiteral("pw");
    plain.osAuth = false;
    const QString holder = QStringLiteral("busy_holder");
    ASSERT_FALSE(OpenDatabase(plain, holder));
    QString session;
    {
        QSqlDatabase h = QSqlDatabase::database(holder, false);
        ASSERT_TRUE(h.transaction());
        QSqlQuery q(h);
        ASSERT_TRUE(q.exec(QStringLiteral("select pg_backend_pid(), extract(epoch from now())::float8, count(*) "
                                          "from tClsReceiver")));
        ASSERT_TRUE(q.next());
        session = QStringLiteral("сеанс %1: пользователь %2, программа %3, с %4")
                      .arg(q.value(0).toString(), user, QCoreApplication::applicationName(),
                           QDateTime::fromMSecsSinceEpoch(qint64(q.value(1).toDouble() * 1000))
                               .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    }

    std::atomic<bool> stop{false};
    std::atomic<qint64> slowest{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        DbConnectParams other = *PgAdminParams();
        other.dbName = db;
        const QString name = QStringLiteral("busy_reader");
        if (!OpenDatabase(other, name)) {
            QSqlQuery q(QSqlDatabase::database(name, false));
            while (!stop) {
                QElapsedTimer read;
                read.start();
                if (!q.exec(QStringLiteral("select count(*) from tClsReceiver")))
                    break;
                slowest = std::max<qint64>(slowest, read.elapsed());
                ++reads;
                QThread::msleep(20);
            }
        }
        QSqlDatabase::removeDatabase(name);
    });
    messages.clear();
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(Prepare(db, QString(), 3000), 0);
    const qint64 elapsed = took.elapsed();
    stop = true;
    reader.join();
    EXPECT_GE(elapsed, 3000);
    EXPECT_LT(elapsed, 10000);
    EXPECT_GT(reads, 20);
    EXPECT_LT(slowest, 1000);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("Таблицы базы данных %1 на сервере 127.0.0.1 заняты другими сеансами: база данных не "
                             "обновлена и не изменена.\nТаблицы занимают:\n%2\nПопросите этих пользователей "
                             "закрыть программу «Прогноз» (или завершите их сеансы) и повторите подготовку.")
                  .arg(db, session));
    EXPECT_EQ(PgDump(db, false), before);
    // Each pause said how long the upgrade goes on trying; the wait's end cleared it.
    ASSERT_GE(statuses.size(), 3);
    EXPECT_EQ(statuses.takeLast(), QString());
    int seconds = 3;
    for (const QString& text : statuses) {
        while (seconds > 1 && text != PrepTexts::kTablesWait.arg(seconds))
            --seconds;
        EXPECT_EQ(text, PrepTexts::kTablesWait.arg(seconds));
    }

    QSqlDatabase::database(holder, false).close();
    QSqlDatabase::removeDatabase(holder);
    EXPECT_EQ(Prepare(db, QString(), 3000), 1);
    m_databases.removeAll(db);
    DropPgDatabase(db);
    Psql(QStringLiteral("postgres"), QStringLiteral("DROP ROLE IF EXISTS %1").arg(user));
}

// Rows that refer to missing rows are named in Russian by the database's own tables and keys, and
// the database stays as it was.
TEST_F(BastrelServerTest, OrphanRowsAreNamed)
{
    struct Case {
        const char* name;
        const char* fixture;
        const char* extra;
        const char* lines;
    };
    const Case cases[] = {
        {"first generation with a receiver missing from the map", "pg-first-generation.sql",
         "INSERT INTO ReceiverMap (prognoz, receiver) VALUES (1, 77)",
         "таблица receivermap, строка с prognoz = 1, receiver = 77: receiver = 77 — нет записи в таблице receiver с "
         "id = 77"},
        {"intermediate with a product of a missing unit", "pg-intermediate.sql", nullptr,
         "таблица tclsproduct, строка с prognoz = 1, id = 2: measurementnatural = 7 — нет записи в таблице "
         "tclsmeasurement с id = 7"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        const QString db = NewName();
        CreatePgDatabase(db);
        LoadPgFixture(db, FixturePath(QString::fromLatin1(t.fixture)));
        if (t.extra) {
            ASSERT_EQ(Psql(db, QString::fromUtf8(t.extra)).exitCode, 0);
        }
        const QString before = PgDump(db, false);
        messages.clear();
        EXPECT_EQ(Prepare(db), 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text,
                  QStringLiteral("Строки старой базы данных ссылаются на отсутствующие записи, база данных не "
                                 "обновлена:\n%1\nИсправьте или удалите эти строки в базе данных %2 на сервере "
                                 "127.0.0.1 и повторите подготовку.")
                      .arg(QString::fromUtf8(t.lines), db));
        EXPECT_EQ(PgDump(db, false), before);
    }
}

// A login that may not make databases and roles, and a second preparation of the same database at
// the same time, are told so in Russian and change nothing.
TEST_F(BastrelServerTest, RefusalsChangeNothing)
{
    if (qEnvironmentVariableIsEmpty("PGTEST_PASSWORD"))
        GTEST_SKIP() << "the cluster's TCP password is not known (PGTEST_PASSWORD)";
    const QString missing = NewName();
    const QString plain = QStringLiteral("bastrel_plain_%1").arg(missing);
    ASSERT_EQ(Psql(QStringLiteral("postgres"),
                   QStringLiteral("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN CREATEDB PASSWORD 'pw'").arg(plain))
                  .exitCode,
              0);
    const DbConnectParams admin = *PgAdminParams();
    {
        SCOPED_TRACE("a login without rights");
        CDbPreparer preparer;
        preparer.SetPort(admin.port);
        preparer.SetDbName(missing);
        EXPECT_EQ(preparer.Run(true, QStringLiteral("127.0.0.1"), plain, QStringLiteral("pw"), 0, QString()), 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text,
                  QStringLiteral("Учетная запись %1 не является суперпользователем сервера PostgreSQL 127.0.0.1: "
                                 "подготовка базы данных невозможна.\nВойдите под учетной записью суперпользователя "
                                 "и повторите подготовку.")
                      .arg(plain));
    }
    Psql(QStringLiteral("postgres"), QStringLiteral("DROP ROLE IF EXISTS %1").arg(plain));
    {
        SCOPED_TRACE("another preparation");
        DbConnectParams other = admin;
        other.dbName = QStringLiteral("postgres");
        const QString name = QStringLiteral("other_preparation");
        ASSERT_FALSE(OpenDatabase(other, name));
        {
            QSqlQuery q(QSqlDatabase::database(name, false));
            q.prepare(QStringLiteral("select pg_advisory_lock(?, hashtext(?))"));
            q.addBindValue(CDbPreparer::kServerLockClass);
            q.addBindValue(missing);
            ASSERT_TRUE(q.exec());
        }
        messages.clear();
        EXPECT_EQ(Prepare(missing), 0);
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text,
                  QStringLiteral("База данных %1 на сервере 127.0.0.1 занята: ее уже подготавливает другая программа "
                                 "Bastrel.\nДождитесь окончания той подготовки.")
                      .arg(missing));
    }
    EXPECT_EQ(PsqlValue(QStringLiteral("postgres"),
                        QStringLiteral("select count(*) from pg_database where datname = '%1'").arg(missing)),
              QStringLiteral("0"));
}

} // namespace
