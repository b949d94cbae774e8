#include "ForecastCommands.h"

#include "CheckDialogs.h"
#include "TableNotices.h"
#include "tables/Forecasts.h"

namespace {

constexpr int kExpertRole = 2;
constexpr int kStatusReferenceClosed = 1;

// The dialog, shown before its operation starts.
template <class Dlg>
Dlg* OpenShown(QWidget* frame)
{
    auto* dlg = new Dlg(frame);
    dlg->show();
    return dlg;
}

} // namespace

bool IsForecastCheckEnabled(const CSessionState& session)
{
    return session.IsForecastSet();
}

bool IsTotalForecastEnabled(const CSessionState& session)
{
    if (!session.IsForecastSet() || !session.HasRights(kExpertRole))
        return false;
    const auto forecast = GetForecast(session.currentForecastId);
    return forecast && forecast->status == kStatusReferenceClosed;
}

bool OnForecastCheck(const CSessionState& session, QWidget* frame)
{
    return OpenShown<CCheckForecastDlg>(frame)->CheckForecast(session.currentForecastId);
}

bool OnTotalForecast(const CSessionState& session, QWidget* frame)
{
    if (!CheckCurrentForecast(session) || !CheckSelfReceiver(session))
        return false;
    return OpenShown<CCalculateForecastDlg>(frame)->Run(session.currentForecastId);
}
