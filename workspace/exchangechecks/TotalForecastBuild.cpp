#include "TotalForecastBuild.h"

#include "CheckTexts.h"
#include "db/DbStatistics.h"
#include "tables/ForecastData.h"
#include "tables/Receivers.h"
#include "tables/TableCommon.h"
#include "tables/TotalForecasts.h"

#include <unordered_set>

using namespace CheckTexts;

namespace {

// The receivers whose rows count: the leaves and the top-level receivers mapped to the forecast.
const QString kCountedReceivers = QStringLiteral("(tclsreceiver.isgroup = 0 or tclsreceiver.category = 0)");
// Products summed by one statement on SQLite, so that the window keeps repainting between statements.
// A server reads a range of products' rows from all over the table, each range again: it sums every
// product by one statement.
constexpr std::size_t kProductsPerStatement = 50;

// The forecast's rows that count. Without counted receivers every row counts; otherwise the smaller
// of two bound sets selects them: the counted receivers, or the receivers with rows in the forecast
// that do not count (a set is tested on every row, and a small one costs less).
std::optional<SqlFilter> CountedRows(int forecast)
{
    const auto receivers = LoadForecastReceivers(forecast, SqlFilter(kCountedReceivers));
    if (!receivers)
        return std::nullopt;
    SqlFilter condition(QStringLiteral("prognoz = ?"), {forecast});
    if (receivers->empty())
        return condition;
    std::vector<int> counted;
    std::unordered_set<int> isCounted;
    for (const CReceiverRecord& r : *receivers) {
        counted.push_back(r.id);
        isCounted.insert(r.id);
    }
    CSqlQuery q(QStringLiteral("select distinct receiver from tfctprognozdata where prognoz = ?"));
    q.bind(forecast);
    if (!q.execOrReport())
        return std::nullopt;
    std::vector<int> others;
    while (q.next())
        if (const int id = q.intValue("receiver"); !isCounted.count(id))
            others.push_back(id);
    if (others.empty())
        return condition;
    const QString inSet = Dialect().IdSetCondition(QStringLiteral("receiver"));
    if (others.size() < counted.size()) {
        condition.where += QStringLiteral(" and not (") + inSet + QStringLiteral(")");
        condition.args << IdSetArgument(others);
    } else {
        condition.where += QStringLiteral(" and ") + inSet;
        condition.args << IdSetArgument(counted);
    }
    return condition;
}

// The per-product sums of the rows added into the consolidated rows, a range of products by one
// statement at a time; how many products were summed, none after a reported database error.
std::optional<int> AccumulateByProductRange(CCheckLog& log, int forecast, const SqlFilter& rows, const QDateTime& now)
{
    std::vector<int> bounds;
    if (GetDBConnection().dialect() == SqlDialect::SQLite) {
        CSqlQuery q(QStringLiteral("select id from tclsproduct where prognoz = ? order by id"));
        q.bind(forecast);
        if (!q.execOrReport())
            return std::nullopt;
        for (std::size_t n = 0; q.next(); ++n)
            if (n > 0 && n % kProductsPerStatement == 0)
                bounds.push_back(q.intValue("id"));
    }
    int summed = 0;
    for (std::size_t k = 0; k <= bounds.size(); ++k) {
        SqlFilter range = rows;
        if (k > 0) {
            range.where += QStringLiteral(" and product >= ?");
            range.args << bounds[k - 1];
        }
        if (k < bounds.size()) {
            range.where += QStringLiteral(" and product < ?");
            range.args << bounds[k];
        }
        const auto added = AccumulateTotalForecastSums(forecast, range, now);
        if (!added)
            return std::nullopt;
        summed += *added;
        log.KeepAlive();
    }
    return summed;
}

enum class BuildResult { Written, NoData, Failed };

BuildResult Build(CCheckLog& log, int forecast, const CErrorCollector& errors)
{
    CTransaction tx;
    if (!tx.isActive())
        return BuildResult::Failed;
    // A second consolidation of the forecast waits here until this one has committed, and then sums
    // afresh: it never adds onto rows that this one writes.
    if (!LockDerivedRows(DerivedRows::Totals, forecast))
        return BuildResult::Failed;
    RefreshStatistics({"tfcttotalprognoz"});
    // Comments outlive a rebuild: rows that carry one are zeroed instead of deleted, and so all rows
    // kept are this consolidation's.
    const QDateTime now = CurrentTimeToSecond();
    const int commented = CountCommentedTotals(forecast);
    if (!errors.empty())
        return BuildResult::Failed;
    if (!(commented != 0 ? ResetTotalForecastSums(forecast, now) : DeleteTotalForecastsOf(forecast)))
        return BuildResult::Failed;

    const auto rows = CountedRows(forecast);
    if (!rows)
        return BuildResult::Failed;
    log.KeepAlive();
    const auto summed = AccumulateByProductRange(log, forecast, *rows, now);
    if (!summed || !errors.empty() || !tx.commit())
        return BuildResult::Failed;
    return *summed == 0 ? BuildResult::NoData : BuildResult::Written;
}

} // namespace

bool BuildTotalForecast(CCheckLog& log, int forecast)
{
    log.AppendLine(kBuildingTotals);
    BuildResult result;
    DbError failure;
    {
        CErrorCollector errors;
        try {
            result = Build(log, forecast, errors);
        } catch (...) {
            // The transaction was rolled back on the way out.
            errors.take();
            failure = ForeignFailure(std::current_exception());
            result = BuildResult::Failed;
        }
        if (result == BuildResult::Failed && !errors.empty())
            failure = errors.take().front();
        else
            errors.take();
    }
    switch (result) {
    case BuildResult::Written:
        log.AppendLine(kTotalsBuilt);
        return true;
    case BuildResult::NoData:
        log.AppendLine(kNoTotalData);
        return false;
    case BuildResult::Failed:
        break;
    }
    // Shown once the rows are as they were.
    ReportComError(failure);
    return false;
}
