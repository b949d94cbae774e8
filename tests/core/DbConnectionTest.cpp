#include "DbTest.h"
#include "db/SqlQuery.h"

#include <QSqlQuery>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

class DbConnectionTest : public DbTest { };
LIR_INSTANTIATE_DB_TEST(DbConnectionTest);

TEST_P(DbConnectionTest, SchemaVersionAndIdRules)
{
    EXPECT_EQ(Scalar("select n from tSysDbVersion").toInt(), 36);
    Exec("insert into tFctPrognoz (name, year, status) values ('a', 2026, 0)");
    Exec("insert into tFctPrognoz (name, year, status) values ('b', 2026, 0)");
    EXPECT_EQ(Scalar("select max(id) from tFctPrognoz").toInt(), 2);
    Exec("insert into tFctPrognoz (id, name, year, status) values (41, 'c', 2026, 0)");
    Exec("insert into tFctPrognoz (name, year, status) values ('d', 2026, 0)");
    EXPECT_EQ(Scalar("select id from tFctPrognoz where name = 'd'").toInt(), 42);
    // Products are numbered over the whole table, whatever the forecast.
    Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 10, 'x', 0)");
    Exec("insert into tClsProduct (prognoz, name, isgroup) values (2, 'y', 0)");
    EXPECT_EQ(Scalar("select id from tClsProduct where name = 'y'").toInt(), 11);
}

TEST_P(DbConnectionTest, ForecastDeleteCascadesAndIsRefusedByConsolidatedRows)
{
    Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
    Exec("insert into tClsMeasurement (id, name) values (1, 'шт')");
    Exec("insert into tClsProduct (prognoz, id, name, isgroup, measurementNatural) values (1, 1, 'p', 0, 1)");
    Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'r', 0, 0, 0)");
    Exec("insert into tClsReceiverMap (prognoz, receiver) values (1, 1)");
    Exec("insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values (1, 1, 0, 0, 0)");
    Exec("insert into tFctPrognozData (prognoz, product, receiver) values (1, 1, 1)");
    Exec("insert into tFctDocumentation (prognoz, name) values (1, 'd')");
    Exec("insert into tClsImportEventType (id, name) values (1, 'e')");
    Exec("insert into tFctImportStatus (prognoz, receiver, event) values (1, 1, 1)");
    Exec("insert into tFctTotalPrognoz (prognoz, product) values (1, 1)");

    {
        CSqlQuery q("delete from tFctPrognoz where id = 1");
        EXPECT_FALSE(q.exec()) << "consolidated rows refer to the forecast";
    }
    Exec("delete from tFctTotalPrognoz");
    // A unit in use by a product cannot go.
    {
        CSqlQuery q("delete from tClsMeasurement where id = 1");
        EXPECT_FALSE(q.exec());
    }
    Exec("delete from tFctPrognoz where id = 1");
    for (const char* table :
         {"tClsProduct", "tClsReceiverMap", "tFctPrice", "tFctPrognozData", "tFctDocumentation", "tFctImportStatus"})
        EXPECT_EQ(Count(table), 0) << table;
    EXPECT_EQ(Count("tClsReceiver"), 1);
}

TEST_P(DbConnectionTest, CountAndMaxAcceptOnlySchemaNames)
{
    CDBConnection& c = GetDBConnection();
    EXPECT_EQ(c.CountRecords("tFctPrognoz"), 0);
    EXPECT_EQ(c.GetMaxValue("tFctPrognoz", "id"), 0);
    Exec("insert into tFctPrognoz (id, name, year, status) values (7, 'f', 2026, 0)");
    EXPECT_EQ(c.CountRecords("tfctprognoz"), 1);
    EXPECT_EQ(c.GetMaxValue("tFctPrognoz", "id"), 7);
    // A column of NULLs only.
    EXPECT_EQ(c.GetMaxValue("tFctPrognoz", "owner"), -1);
    EXPECT_EQ(c.CountRecords("tNoSuchTable"), -1);
    EXPECT_EQ(c.CountRecords("tFctPrognoz; delete from tFctPrognoz"), -1);
    EXPECT_EQ(c.GetMaxValue("tFctPrognoz", "id) from tFctPrognoz --"), -1);
    EXPECT_EQ(c.GetMaxValue("tFctPrognoz", "nosuchcolumn"), -1);
    EXPECT_EQ(Count("tFctPrognoz"), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_P(DbConnectionTest, NestedTransactions)
{
    CDBConnection& c = GetDBConnection();
    {
        CTransaction outer;
        ASSERT_TRUE(outer.isActive());
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'outer', 2026, 0)");
        {
            CTransaction inner;
            EXPECT_EQ(c.transactionLevel(), 2);
            Exec("insert into tFctPrognoz (id, name, year, status) values (2, 'inner', 2026, 0)");
            // not committed: rolled back on leaving
        }
        {
            CTransaction kept;
            Exec("insert into tFctPrognoz (id, name, year, status) values (3, 'kept', 2026, 0)");
            EXPECT_TRUE(kept.commit());
        }
        EXPECT_TRUE(outer.commit());
    }
    EXPECT_EQ(c.transactionLevel(), 0);
    EXPECT_EQ(Scalar("select count(*) from tFctPrognoz where id in (1, 3)").toInt(), 2);
    EXPECT_EQ(Count("tFctPrognoz", "id = 2"), 0);

    {
        CTransaction outer;
        Exec("insert into tFctPrognoz (id, name, year, status) values (4, 'lost', 2026, 0)");
        CTransaction inner;
        Exec("insert into tFctPrognoz (id, name, year, status) values (5, 'lost', 2026, 0)");
        EXPECT_TRUE(inner.commit());
        // the outer one rolls back everything
    }
    EXPECT_EQ(Count("tFctPrognoz", "id >= 4"), 0);
}

TEST_P(DbConnectionTest, EachThreadHasItsOwnConnectionAndBothWrite)
{
    std::atomic<int> failures{0};
    auto writer = [&](int base) {
        for (int i = 0; i < 20; ++i) {
            CSqlQuery q("insert into tFctPrognoz (id, name, year, status) values (?, ?, 2026, 0)");
            q.bind(base + i).bind(QStringLiteral("t"));
            if (!q.exec())
                ++failures;
        }
    };
    std::thread a(writer, 100), b(writer, 200);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Count("tFctPrognoz"), 40);
}

TEST_P(DbConnectionTest, TextLimitsAreEnforced)
{
    const QString longName(256, u'я');
    CSqlQuery q("insert into tFctPrognoz (id, name, year, status) values (1, ?, 2026, 0)");
    q.bind(longName);
    EXPECT_FALSE(q.exec());
    CSqlQuery ok("insert into tFctPrognoz (id, name, year, status) values (1, ?, 2026, 0)");
    ok.bind(QString(255, u'я'));
    EXPECT_TRUE(ok.exec()) << ok.lastError().text().toStdString();
}

TEST_P(DbConnectionTest, CaseInsensitiveCyrillicComparison)
{
    Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'Минфин', 0, 0, 0)");
    EXPECT_EQ(
        Scalar("select count(*) from tClsReceiver where lower(name) = lower(?)", {QStringLiteral("МИНФИН")}).toInt(),
        1);
    EXPECT_EQ(
        Scalar("select count(*) from tClsReceiver where upper(name) like upper(?)", {QStringLiteral("%ФИН")}).toInt(),
        1);
}

TEST_P(DbConnectionTest, MoneyAndDatesRoundTripExactly)
{
    Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
    Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'r', 0, 0, 0)");
    Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 1, 'p', 0)");
    const Money big = Money::fromRaw(922337203685477LL * 10000 + 5807);
    Exec("insert into tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr) values (1, 1, 1, ?, ?)",
         {QVariant::fromValue(big), QVariant::fromValue(Money::fromRaw(-1))});
    CSqlQuery q("select sumLast, sumCurr, sumNext from tFctPrognozData");
    ASSERT_TRUE(q.exec());
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.money("sumLast").raw(), big.raw());
    EXPECT_EQ(q.money("sumCurr").raw(), -1);
    EXPECT_FALSE(q.money("sumNext").isValid());

    const QDateTime when(QDate(2026, 3, 5), QTime(9, 7, 3));
    Exec("insert into tFctOpJournal (Text, Date, Type) values ('x', ?, 0)", {when});
    CSqlQuery d("select Date from tFctOpJournal");
    ASSERT_TRUE(d.exec());
    ASSERT_TRUE(d.next());
    EXPECT_EQ(d.date("Date"), when);
}

TEST_P(DbConnectionTest, ATransactionThatReadsFirstWaitsForAnotherWriter)
{
    // The other thread reads, then this thread commits a write, then the other one writes: on SQLite a
    // deferred transaction would fail at its write instead of waiting.
    std::atomic<int> step{0};
    std::atomic<bool> ok{false};
    std::thread other([&] {
        CTransaction tx;
        CSqlQuery read("select count(*) from tFctPrognoz");
        EXPECT_TRUE(read.exec());
        step = 1;
        while (step.load() < 2)
            std::this_thread::yield();
        CSqlQuery write("insert into tFctPrognoz (id, name, year, status) values (2, 'other', 2026, 0)");
        ok = write.exec() && tx.commit();
    });
    while (step.load() < 1)
        std::this_thread::yield();
    std::thread mine([&] {
        step = 2;
        CSqlQuery q("insert into tFctPrognoz (id, name, year, status) values (1, 'mine', 2026, 0)");
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
    });
    mine.join();
    other.join();
    EXPECT_TRUE(ok.load());
    EXPECT_EQ(Count("tFctPrognoz"), 2);
}

TEST_P(DbConnectionTest, AReconnectInsideATransactionFailsItInsteadOfGoingOnHalfDone)
{
    CDBConnection& c = GetDBConnection();
    {
        CTransaction tx;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'before', 2026, 0)");
        // Another part of the program replaces the connection meanwhile.
        std::thread([&] { EXPECT_TRUE(c.ConnectWith(params())); }).join();
        CSqlQuery q("insert into tFctPrognoz (id, name, year, status) values (2, 'after', 2026, 0)");
        EXPECT_FALSE(q.exec());
        EXPECT_FALSE(tx.commit());
    }
    messages.clear();
    EXPECT_EQ(c.transactionLevel(), 0);
    EXPECT_EQ(Count("tFctPrognoz"), 0);
    Exec("insert into tFctPrognoz (id, name, year, status) values (3, 'later', 2026, 0)");
    EXPECT_EQ(Count("tFctPrognoz"), 1);
}

TEST_P(DbConnectionTest, AfterCommitActionsRunOnlyWhenTheOutermostTransactionCommits)
{
    CDBConnection& c = GetDBConnection();
    QStringList ran;
    c.AfterCommit([&] { ran << "now"; });
    EXPECT_EQ(ran, QStringList{"now"});
    ran.clear();
    {
        CTransaction outer;
        {
            CTransaction inner;
            c.AfterCommit([&] { ran << "kept"; });
            EXPECT_TRUE(inner.commit());
        }
        {
            CTransaction dropped;
            c.AfterCommit([&] { ran << "dropped"; });
        }
        EXPECT_TRUE(ran.isEmpty());
        EXPECT_TRUE(outer.commit());
    }
    EXPECT_EQ(ran, QStringList{"kept"});
    ran.clear();
    {
        CTransaction outer;
        c.AfterCommit([&] { ran << "rolled back"; });
    }
    EXPECT_TRUE(ran.isEmpty());
}

TEST_P(DbConnectionTest, AStatementLeftHalfBoundIsNotReused)
{
    const QString sql = "insert into tFctPrognoz (id, name, year, status) values (?, ?, 2026, 0)";
    {
        CSqlQuery q(sql);
        q.bind(1); // abandoned before running
    }
    {
        CSqlQuery q(sql);
        q.bind(1).bind(QStringLiteral("a")).bind(99); // one value too many
        EXPECT_FALSE(q.exec());
    }
    CSqlQuery q(sql);
    q.bind(2).bind(QStringLiteral("b"));
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
}

// A writer held by another connection's lock longer than it may wait ends with the program's own
// words on both dialects (the wait is shortened here; the program waits kLockWaitMs).
TEST_P(DbConnectionTest, AWaitForAnotherWritersLockEndsInTheProgramsWords)
{
    Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
    const QString holderName = QStringLiteral("holder");
    {
        QSqlDatabase holder = AddPeerConnection(holderName);
        ASSERT_TRUE(holder.open());
        QSqlQuery q(holder);
        ASSERT_TRUE(q.exec(isPg() ? "begin" : "begin immediate"));
        ASSERT_TRUE(q.exec("update tFctPrognoz set name = 'held' where id = 1"));
        QSqlError error;
        std::thread([&] {
            CSqlQuery shorter(isPg() ? QStringLiteral("select set_config('lock_timeout', '200', false)")
                                     : QStringLiteral("pragma busy_timeout = 200"));
            ASSERT_TRUE(shorter.exec());
            CSqlQuery waits(QStringLiteral("update tFctPrognoz set name = 'waited' where id = 1"));
            EXPECT_FALSE(waits.exec());
            error = waits.lastError();
        }).join();
        EXPECT_EQ(error.driverText(), QStringLiteral("База данных занята другой программой."));
        EXPECT_TRUE(error.databaseText().contains(QStringLiteral("повторите ее позже"))) << error.text().toStdString();
        ASSERT_TRUE(q.exec("rollback"));
        holder.close();
    }
    QSqlDatabase::removeDatabase(holderName);
    EXPECT_EQ(Scalar("select name from tFctPrognoz where id = 1").toString(), QStringLiteral("f"));
}

// A connection the server closed is reported as lost, and the next operation works on a new one;
// inside a transaction the transaction fails whole first.
class DbServerConnectionTest : public DbTest { };
INSTANTIATE_TEST_SUITE_P(Server, DbServerConnectionTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

TEST_P(DbServerConnectionTest, ALostConnectionIsReportedAndOpenedAgain)
{
    Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
    for (const bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "inside a transaction" : "outside one");
        messages.clear();
        const int pid = Scalar("select pg_backend_pid()").toInt();
        {
            std::optional<CTransaction> tx;
            if (inTransaction)
                tx.emplace();
            ExecAsAdmin(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
            CSqlQuery q(QStringLiteral("update tFctPrognoz set name = 'lost' where id = 1"));
            EXPECT_FALSE(q.execOrReport());
            if (tx) {
                CSqlQuery next(QStringLiteral("update tFctPrognoz set name = 'later' where id = 1"));
                EXPECT_FALSE(next.exec());
                EXPECT_FALSE(tx->commit());
            }
        }
        ASSERT_GE(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Соединение с сервером базы данных потеряно.")))
            << messages[0].text.toStdString();
        EXPECT_EQ(GetDBConnection().transactionLevel(), 0);
        messages.clear();
        EXPECT_NE(Scalar("select pg_backend_pid()").toInt(), pid);
        EXPECT_EQ(Scalar("select name from tFctPrognoz where id = 1").toString(), QStringLiteral("f"));
        EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    }
}

// Every session of the program carries the server's time limits of its kind of work: a lock wait
// ends by lock_timeout (in the program's words) before any statement limit, a transaction left idle
// by a hung program ends before another session gives up waiting for its locks, and the lock
// monitor gives up at once.
TEST_P(DbServerConnectionTest, EachKindOfWorkHasItsTimeLimits)
{
    const QString sql = QStringLiteral("select setting::int from pg_settings where name in ('lock_timeout', "
                                       "'statement_timeout', 'idle_in_transaction_session_timeout') order by name");
    const auto limits = [&](QSqlQuery&& q) {
        std::vector<int> ms; // idle in transaction, lock, statement
        if (q.exec(sql))
            while (q.next())
                ms.push_back(q.value(0).toInt());
        return ms;
    };
    std::vector<int> worker;
    std::thread([&] { worker = limits(QSqlQuery(GetDBConnection().GetConnection())); }).join();
    std::vector<int> monitor;
    {
        ASSERT_FALSE(OpenDatabase(params(), QStringLiteral("limits_monitor"), OpenPurpose::Monitor));
        monitor = limits(QSqlQuery(QSqlDatabase::database(QStringLiteral("limits_monitor"))));
        QSqlDatabase::database(QStringLiteral("limits_monitor")).close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("limits_monitor"));
    const struct {
        const char* what;
        std::vector<int> ms;
        bool waitsForLocks; // the monitor only asks about them
    } kinds[] = {
        {"the user-interface thread", limits(QSqlQuery(GetDBConnection().GetConnection())), true},
        {"a worker thread", worker, true},
        {"the lock monitor", monitor, false},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.what);
        ASSERT_EQ(kind.ms.size(), 3u);
        const int idle = kind.ms[0], lock = kind.ms[1], statement = kind.ms[2];
        EXPECT_GT(idle, 0);
        EXPECT_GT(lock, 0);
        EXPECT_GT(statement, lock);
        if (kind.waitsForLocks) {
            EXPECT_EQ(lock, kLockWaitMs);
            EXPECT_LT(idle, lock);
        } else {
            EXPECT_LE(lock, 1000);
        }
    }
    EXPECT_GE(worker[2], kinds[0].ms[2]) << "a worker's reports and recalculations may take longer";
}
