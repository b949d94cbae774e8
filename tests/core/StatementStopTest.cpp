// A stop asked for from another thread ends the statement that a working thread is running on its
// connection, on both dialects; once the stop's scope is over the connection serves the next one.
#include "db/StatementStop.h"
#include "DbTest.h"
#include "db/SqlQuery.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class StatementStopTest : public DbTest { };

TEST_P(StatementStopTest, AStopEndsTheRunningStatementAtOnce)
{
    // Minutes of work for either database, unless it is stopped.
    const QString endless = isPg() ? QStringLiteral("select pg_sleep(600)")
                                   : QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                                                    "where x < 4000000000) select count(*) from c");
    CStopRequest stop;
    std::atomic<bool> started{false};
    bool failed = false;
    bool usable = false;
    qint64 ms = -1;
    std::thread worker([&] {
        {
            CStatementStopScope scope(stop, GetDBConnection());
            QElapsedTimer timer;
            timer.start();
            CSqlQuery q(endless);
            started = true;
            failed = !q.exec() || !q.next();
            ms = timer.elapsed();
        }
        CSqlQuery next(QStringLiteral("select 1"));
        usable = next.exec() && next.next() && next.value(0).toInt() == 1;
    });
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Well into the statement.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.Stop();
    worker.join();
    EXPECT_TRUE(stop.stopped());
    EXPECT_TRUE(failed);
    EXPECT_LT(ms, 5000);
    EXPECT_TRUE(usable);
}

LIR_INSTANTIATE_DB_TEST(StatementStopTest);

} // namespace
