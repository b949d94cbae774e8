// Several writers on one database at once: other processes, other connections, a server that goes.
#include "DbTest.h"
#include "tables/ForecastData.h"
#include "tables/Prices.h"
#include "tables/Products.h"
#include "tables/TotalForecasts.h"

#include <QElapsedTimer>
#include <QProcess>

#include <barrier>
#include <thread>

class ConcurrentWritersTest : public DbTest {
protected:
    // Forecast 1 with leaves 1..5, receiver 1.
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
        for (int product = 1; product <= 5; ++product)
            Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, ?, 'p', 0)", {product});
        Exec("insert into tClsReceiver (id, name, importedId, isgroup) values (1, 'r', 1, 0)");
    }

    // Runs `processes` writers at once; each must end with exit code 0 and nothing on standard error.
    void RunWriters(const char* mode, int processes, int count)
    {
        QStringList args{QString::fromLatin1(mode), QString::number(count)};
        if (isPg())
            args << "postgresql" << params().host << QString::number(params().port) << params().dbName << params().user
                 << params().password;
        else
            args << "sqlite" << params().file;
        std::vector<std::unique_ptr<QProcess>> writers;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < processes; ++i) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(QStringLiteral(LIR_WRITER_EXE), args);
        }
        for (auto& w : writers) {
            ASSERT_TRUE(w->waitForFinished(300000)) << "writer did not end";
            EXPECT_EQ(w->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(w->exitCode(), 0) << "failed writes";
            EXPECT_EQ(w->readAllStandardError().toStdString(), "");
        }
        RecordProperty(std::string(mode) + "_ms", int(timer.elapsed()));
    }
};
LIR_INSTANTIATE_DB_TEST(ConcurrentWritersTest);

TEST_P(ConcurrentWritersTest, ThreeProcessesAddingIntoOneRowLoseNothing)
{
    RunWriters("accumulate", 3, 2000);
    EXPECT_EQ(Count("tFctTotalPrognoz"), 1);
    const auto row = GetTotalForecast(1, 1);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->sumLast, Money::fromInt(6000));
    EXPECT_EQ(row->valueNorm, Money::fromRaw(6000));
}

TEST_P(ConcurrentWritersTest, TwoProcessesSavingTheSameKeysKeepOneRowEach)
{
    RunWriters("save", 2, 400);
    EXPECT_EQ(Count("tFctPrognozData"), 5);
    EXPECT_EQ(Count("tFctPrice"), 5);
    EXPECT_EQ(Scalar("select count(distinct product) from tFctPrice").toInt(), 5);
}

TEST_P(ConcurrentWritersTest, TransactionsThatWroteTheProductsBothAddAProduct)
{
    // Each writes a product of its own, then both take a new product id while still open. Two SQLite
    // transactions are never open at once: there the second simply waits.
    std::barrier bothWrote(isPg() ? 2 : 1);
    std::atomic<int> committed{0};
    std::vector<int> ids(2, -1);
    auto writer = [&](int k) {
        CTransaction tx;
        if (!tx.isActive())
            return;
        if (!ExecSql(QStringLiteral("update tClsProduct set name = ? where prognoz = 1 and id = ?"),
                     QStringLiteral("w%1").arg(k), k + 1))
            return;
        bothWrote.arrive_and_wait();
        CProductRecord added;
        added.prognoz = 1;
        added.parent = 0;
        added.name = QStringLiteral("new %1").arg(k);
        if (SaveProduct(added) && tx.commit()) {
            ids[k] = added.id;
            ++committed;
        }
    };
    if (isPg()) {
        std::thread a(writer, 0), b(writer, 1);
        a.join();
        b.join();
    } else {
        std::thread a(writer, 0);
        a.join();
        std::thread b(writer, 1);
        b.join();
    }
    EXPECT_EQ(committed, 2);
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(Count("tClsProduct", "prognoz = 1"), 7);
}

namespace {
QStringList g_warnings;
void KeepWarnings(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_warnings << text;
}
} // namespace

TEST_P(ConcurrentWritersTest, FailedStatementsAreFreedAndAGoneServerLeavesNoWarnings)
{
    // A duplicate key fails inside a transaction 200 times over.
    for (int i = 0; i < 200; ++i) {
        CTransaction tx;
        ASSERT_TRUE(tx.isActive());
        EXPECT_FALSE(
            ExecSql(QStringLiteral("insert into tFctPrognoz (id, name, status) values (1, ?, 0)"), QString::number(i)));
    }
    EXPECT_EQ(messages.size(), 200u);
    if (isPg()) {
        EXPECT_LT(Scalar("select count(*) from pg_prepared_statements").toInt(), 10);
    }

    // The server ends the session; the statements that follow fail, and closing asks nothing of it.
    if (isPg())
        ExecAsAdmin(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity "
                                   "where datname = '%1' and pid <> pg_backend_pid()")
                        .arg(params().dbName));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&KeepWarnings);
    const bool ran = ExecSql(QStringLiteral("insert into tFctPrognoz (id, name, status) values (1, 'x', 0)"));
    GetDBConnection().Close();
    qInstallMessageHandler(previous);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(g_warnings.filter("Unable to free statement").isEmpty()) << g_warnings.join('\n').toStdString();
}

TEST_P(ConcurrentWritersTest, MoneyBeyondTheRangeGivesOneErrorOnBothDialects)
{
    const QString overflow = DbError::fromSql(MoneyOverflowError()).text();
    // Read back: a value beyond the range that another writer stored (numeric(19,4) holds it; a
    // SQLite column may hold a REAL).
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast) values (1, 2, 0)");
    Exec(isPg() ? "update tFctTotalPrognoz set sumLast = 950000000000000"
                : "update tFctTotalPrognoz set sumLast = 9.5e18");
    EXPECT_FALSE(LoadTotalForecasts(SqlFilter(QStringLiteral("prognoz = ?"), {1})));
    // A sum beyond it.
    Exec("insert into tClsReceiver (id, name, importedId, isgroup) values (2, 'r2', 2, 0)");
    for (int receiver : {1, 2}) {
        CForecastDataRecord big;
        big.prognoz = 1;
        big.product = 3;
        big.receiver = receiver;
        big.sumLast = Money::fromInt(500000000000000);
        ASSERT_TRUE(SaveForecastData(big, false));
    }
    EXPECT_FALSE(LoadForecastDataSums(SqlFilter()));
    // An addition beyond it leaves the row as it was.
    CForecastDataRecord add;
    add.prognoz = 1;
    add.product = 5;
    add.sumLast = Money::fromInt(900000000000000);
    ASSERT_TRUE(AccumulateTotalForecast(add));
    EXPECT_FALSE(AccumulateTotalForecast(add));
    EXPECT_EQ(GetTotalForecast(1, 5)->sumLast, add.sumLast);

    ASSERT_EQ(messages.size(), 3u);
    for (const auto& m : messages)
        EXPECT_EQ(m.text, overflow);
}

TEST_P(ConcurrentWritersTest, SixDecimalValuesAreRoundedHalfAwayFromZeroOnBothDialects)
{
    const std::pair<double, double> cases[] = {
        {1e-7, 0.0},
        {0.0000005, 0.000001},
        {-0.0000005, -0.000001},
        {1.2345675, 1.234568},
        {0.1, 0.1},
        {123456789.1234564, 123456789.123456},
        {2.9999995, 3.0},
        {12345678.9999995, 12345679.0},
    };
    for (const auto& [written, expected] : cases) {
        CProductRecord p;
        p.prognoz = 1;
        p.parent = 0;
        p.name = "d";
        p.offsetMin = written;
        ASSERT_TRUE(SaveProduct(p));
        const auto back = GetProduct(p.id, 1);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->offsetMin, expected) << written;
    }
}
