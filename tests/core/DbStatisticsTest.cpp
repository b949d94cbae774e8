// The planner's statistics that the program keeps itself: a write of many rows has the tables it moved
// analysed once it has committed, and only those whose size moved far from what their statistics
// counted; on a server through the owner's function, also for a login that may not analyse a table.
#include "db/DbStatistics.h"
#include "DbTest.h"
#include "db/SqlQuery.h"

#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>

namespace {

class DbStatisticsTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Only the program's own analyses count here.
        if (isPg())
            ExecAsAdmin(QStringLiteral("alter table tclsproduct set (autovacuum_enabled = false)"));
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
    }

    void TearDown() override
    {
        DbTest::TearDown();
        if (!m_login.isEmpty())
            ExecPgAsAdmin(QStringLiteral("postgres"), QStringLiteral("drop role if exists %1").arg(m_login));
    }

    // The rows the statistics of tclsproduct counted; -1 (or 0 on a server) when never analysed.
    qlonglong AnalysedRows()
    {
        if (isPg())
            return Scalar("select reltuples::bigint from pg_class where relname = 'tclsproduct'").toLongLong();
        CSqlQuery q(QStringLiteral("select stat from sqlite_stat1 where tbl = 'tClsProduct' limit 1"));
        return q.exec() && q.next() ? q.value(0).toString().section(u' ', 0, 0).toLongLong() : -1;
    }

    void AddProducts(int count)
    {
        Exec("with recursive n(x) as (select 1 union all select x + 1 from n where x < ?) "
             "insert into tclsproduct (prognoz, id, parent, name, isgroup) select 1, ? + x, 0, 'p', 0 from n",
             {count, m_added});
        m_added += count;
    }

    // A login of lir_users alone, connected as the main connection.
    void ConnectAsUser()
    {
        m_login = QStringLiteral("lir_stat_u%1").arg(getpid());
        ExecAsAdmin(QStringLiteral("create role %1 login password 'pw' in role lir_users").arg(m_login));
        ExecAsAdmin(QStringLiteral("grant connect on database %1 to %2").arg(params().dbName, m_login));
        DbConnectParams user = params();
        user.host = qEnvironmentVariable("PGTEST_TCPHOST", QStringLiteral("127.0.0.1"));
        user.user = m_login;
        user.password = QStringLiteral("pw");
        ASSERT_TRUE(GetDBConnection().ConnectWith(user));
    }

    int m_added = 0;
    QString m_login;
};

TEST_P(DbStatisticsTest, AWriteOfManyRowsHasTheTablesItMovedAnalysedOnceItCommitted)
{
    EXPECT_LE(AnalysedRows(), 0);
    const struct Step {
        const char* what;
        int added;
        bool commit;
        qlonglong analysed;
    } steps[] = {
        {"a table never analysed is analysed", 1000, true, 1000},
        {"half as many again leave the statistics as they are", 500, true, 1000},
        {"more than twice as many have it analysed again", 1000, true, 2500},
        {"a write rolled back analyses nothing", 5000, false, 2500},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const qlonglong before = AnalysedRows();
        CTransaction tx;
        ASSERT_TRUE(tx.isActive());
        AddProducts(s.added);
        RefreshStatistics({"tclsproduct"});
        EXPECT_EQ(AnalysedRows(), before) << "nothing is analysed before the commit";
        if (s.commit)
            ASSERT_TRUE(tx.commit());
        else
            tx.rollback();
        if (!s.commit)
            m_added -= s.added;
        EXPECT_EQ(AnalysedRows(), s.analysed);
    }
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    if (!isPg())
        return;

    // A login of lir_users may not analyse a table of the owner's; the owner's function does it for
    // the program.
    AddProducts(5000);
    ConnectAsUser();
    QSqlQuery own(GetDBConnection().GetConnection());
    EXPECT_TRUE(own.exec(QStringLiteral("analyze tclsproduct"))) << own.lastError().text().toStdString();
    EXPECT_EQ(AnalysedRows(), 2500);
    RefreshStatistics({"tclsproduct"});
    EXPECT_EQ(AnalysedRows(), 7500);
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
}

LIR_INSTANTIATE_DB_TEST(DbStatisticsTest);

} // namespace
