// The statements the builders and the product book run per row, product group or receiver, as SQLite
// plans them on a database the program made and never analysed (without statistics the plans do not
// depend on the size, so the fixture's plans are those of 50,000 products): none reads a whole
// forecast (or a whole report run) for each row.
#include "ReportTestSupport.h"

#include "Form8.h"
#include "ProductForms.h"
#include "db/DbConnection.h"
#include "tables/ProductTree.h"
#include "tables/Products.h"

#include <QRegularExpression>
#include <QSqlDriver>

#include <sqlite3.h>

#include <functional>
#include <map>
#include <string>

namespace {

sqlite3* HandleOf(CDBConnection& connection)
{
    const QVariant handle = connection.GetConnection().driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
        ? *static_cast<sqlite3* const*>(handle.data())
        : nullptr;
}

// How often each statement ran on a connection while the trace lived.
class CStatementTrace {
public:
    explicit CStatementTrace(sqlite3* db)
        : m_db(db)
    {
        sqlite3_trace_v2(m_db, SQLITE_TRACE_PROFILE, &Note, this);
    }
    ~CStatementTrace() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    CStatementTrace(const CStatementTrace&) = delete;
    CStatementTrace& operator=(const CStatementTrace&) = delete;

    const std::map<std::string, int>& runs() const { return m_runs; }

private:
    static int Note(unsigned, void* self, void* statement, void*)
    {
        const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
        ++static_cast<CStatementTrace*>(self)->m_runs[sql ? sql : ""];
        return 0;
    }

    sqlite3* m_db;
    std::map<std::string, int> m_runs;
};

// The lines of the statement's plan that read a whole forecast or report run where the statement
// runs again and again: inside a correlated subquery, or anywhere in a statement that ran more than
// once. A read by the forecast (or the run) alone, or a scan of a table, is such a line.
QStringList WholeReads(sqlite3* db, const std::string& sql, bool repeated)
{
    static const QRegularExpression byForecastAlone(QStringLiteral("^SEARCH .*\\((prognoz|report)=\\?\\)$"));
    static const QRegularExpression scan(QStringLiteral("^SCAN (?!json_each)\\S+"));
    sqlite3_stmt* plan = nullptr;
    const std::string explain = "explain query plan " + sql;
    if (sqlite3_prepare_v2(db, explain.c_str(), -1, &plan, nullptr) != SQLITE_OK)
        return {QStringLiteral("no plan: ") + QString::fromUtf8(sqlite3_errmsg(db))};
    std::map<int, std::pair<int, QString>> lines; // id -> parent, detail
    QStringList found;
    while (sqlite3_step(plan) == SQLITE_ROW) {
        const int id = sqlite3_column_int(plan, 0);
        const int parent = sqlite3_column_int(plan, 1);
        const QString detail = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
        lines[id] = {parent, detail};
        bool correlated = false;
        for (auto up = lines.find(parent); up != lines.end(); up = lines.find(up->second.first))
            correlated = correlated || up->second.second.startsWith(QStringLiteral("CORRELATED"));
        if ((correlated || repeated) && (byForecastAlone.match(detail).hasMatch() || scan.match(detail).hasMatch()))
            found << detail + QStringLiteral("  in  ") + QString::fromStdString(sql).left(160);
    }
    sqlite3_finalize(plan);
    return found;
}

class ReportPlansTest : public ReportDbTest { };

TEST_P(ReportPlansTest, NoStatementReadsAWholeForecastForEachRow)
{
    struct Run {
        const char* what;
        std::function<int()> build;
    };
    const Run runs[] = {
        {"form 1 over receivers, every product",
         [] {
             std::vector<int> products;
             CProductDepthMap depths;
             return BuildReportForm1(1, {3, 4, 5}, products, depths, true);
         }},
        {"form 3 on the consolidated forecast, the product tree",
         [] {
             CProductDepthMap depths;
             std::vector<int> products;
             if (!CollectProductTree(1, depths, &products, nullptr))
                 return -1;
             return BuildReportForm3(1, {}, products, false);
         }},
        {"form 8 over every receiver", [] { return BuildReportForm8(1, Money::fromInt(0)); }},
        {"the product book, group by group",
         [] {
             CProductDepthMap depths;
             std::vector<int> products;
             if (!CollectProductTree(1, depths, &products, nullptr))
                 return -1;
             for (int group : products)
                 if (!LoadProductChildren(group, 1, SqlFilter(QStringLiteral("p1.isgroup <> 0")))
                     || !LoadGroupsWithSubgroups(group, 1) || !LoadProductListRows(group, 1))
                     return -1;
             return 1;
         }},
    };
    sqlite3* main = HandleOf(GetDBConnection());
    sqlite3* report = HandleOf(GetReportDBConnection());
    ASSERT_TRUE(main && report);
    for (const Run& run : runs) {
        SCOPED_TRACE(run.what);
        std::map<std::string, int> ran[2];
        {
            CStatementTrace onMain(main);
            CStatementTrace onReport(report);
            ASSERT_GT(run.build(), 0);
            ran[0] = onMain.runs();
            ran[1] = onReport.runs();
        }
        QStringList found;
        int statements = 0;
        for (int c : {0, 1})
            for (const auto& [sql, count] : ran[c]) {
                ++statements;
                found << WholeReads(c == 0 ? main : report, sql, count > 1);
            }
        EXPECT_GT(statements, 3);
        EXPECT_EQ(found, QStringList());
    }
    // The program made the database and nothing analysed it: the plans above stood without statistics.
    EXPECT_EQ(Count(QStringLiteral("sqlite_master"), QStringLiteral("name = 'sqlite_stat1'")), 0);
}

INSTANTIATE_TEST_SUITE_P(Dialects, ReportPlansTest, ::testing::Values(SqlDialect::SQLite), DialectName);

} // namespace
