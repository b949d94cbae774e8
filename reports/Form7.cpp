#include "Form7.h"

#include "FormRows.h"
#include "tables/ReceiverMap.h"
#include "tables/ReceiverTree.h"

#include <unordered_set>

int BuildReportForm7(int forecastId, const std::vector<int>& receiverIds)
{
    const std::unordered_set<int> chosen(receiverIds.begin(), receiverIds.end());
    return RunReportFrame([&](CReportFrame& frame) {
        CDepthMap depths;
        CReceiverList receivers;
        if (!CheckedRead([&] { return CollectReceiverTree(forecastId, depths, nullptr, &receivers); }))
            throw CReportFailure(ReportFailureTexts::kReceiverTree);
        CReportTable& table = frame.Table("reportform7", {"Organization", "Quantity"});
        for (const CReceiverRecord& r : receivers) {
            if (!chosen.count(r.id))
                continue;
            const int count = CheckedRead([&] { return GetSubReceiverCount(forecastId, r.id); });
            table << IndentedReportName(depths[r.id], r.name) << count;
            table.Write();
        }
    });
}
