#include "TableNotices.h"

#include "AppMessage.h"
#include "tables/PriceChecks.h"

void ShowNotice(const std::optional<CNotice>& notice, QObject* parent)
{
    if (notice)
        AppMessageBox(notice->text, notice->flags, parent);
}

bool ShowResult(const CTableResult& result, QObject* parent)
{
    ShowNotice(result.notice, parent);
    return result.done;
}

bool CheckCurrentForecast(const CSessionState& session)
{
    const auto refusal = CurrentForecastRefusal(session);
    ShowNotice(refusal);
    return !refusal;
}

bool CheckSelfReceiver(const CSessionState& session)
{
    const auto refusal = SelfReceiverRefusal(session);
    ShowNotice(refusal);
    return !refusal;
}
