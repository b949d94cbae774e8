#include "TotalForecastBuild.h"

#include "CheckTexts.h"
#include "tables/ForecastData.h"
#include "tables/Receivers.h"
#include "tables/TotalForecasts.h"

using namespace CheckTexts;

namespace {

// The receivers whose rows count: the leaves and the top-level receivers mapped to the forecast.
const QString kCountedReceivers = QStringLiteral("(tclsreceiver.isgroup = 0 or tclsreceiver.category = 0)");

enum class BuildResult { Written, NoData, Failed };

BuildResult Build(CCheckLog& log, int forecast, const CErrorCollector& errors)
{
    CTransaction tx;
    if (!tx.isActive())
        return BuildResult::Failed;
    // Comments outlive a rebuild: rows that carry one are zeroed instead of deleted.
    const int commented = CountCommentedTotals(forecast);
    if (!errors.empty())
        return BuildResult::Failed;
    if (!(commented != 0 ? ResetTotalForecastSums(forecast) : DeleteTotalForecastsOf(forecast)))
        return BuildResult::Failed;

    const auto receivers = LoadForecastReceivers(forecast, SqlFilter(kCountedReceivers));
    if (!receivers)
        return BuildResult::Failed;
    SqlFilter condition(QStringLiteral("prognoz = ?"), {forecast});
    if (!receivers->empty()) {
        std::vector<int> ids;
        for (const CReceiverRecord& r : *receivers)
            ids.push_back(r.id);
        condition.where += QStringLiteral(" and ") + Dialect().IdSetCondition(QStringLiteral("receiver"));
        condition.args << IdSetArgument(ids);
    }
    log.KeepAlive();
    const auto sums = LoadForecastDataSums(condition);
    if (!sums)
        return BuildResult::Failed;
    log.KeepAlive();
    for (const CForecastDataRecord& sum : *sums) {
        if (!AccumulateTotalForecast(sum))
            return BuildResult::Failed;
        log.KeepAlive();
    }
    if (!errors.empty() || !tx.commit())
        return BuildResult::Failed;
    return sums->empty() ? BuildResult::NoData : BuildResult::Written;
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
        } catch (const std::exception& e) {
            // The transaction was rolled back on the way out.
            errors.take();
            failure.message = QString::fromUtf8(e.what());
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
