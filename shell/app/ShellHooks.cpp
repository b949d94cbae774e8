#include "ShellHooks.h"

#include "CheckDialogs.h"
#include "ForecastImport.h"
#include "ModalHook.h"
#include "ReceiverSelectDlg.h"
#include "ReportForms.h"

CShellHooks& ShellHooks()
{
    static CShellHooks hooks;
    return hooks;
}

void InstallSelectionDialogs()
{
    ShellHooks().chooseOrganisation = [](QWidget* parent, int forecastId) -> std::optional<int> {
        ReceiverSelectDlgEx dlg(forecastId, parent);
        dlg.rootGroupSelectable = false;
        dlg.SetCheckBoxes(0);
        if (dlg.DoModal() != QDialog::Accepted || dlg.resultIds.empty())
            return std::nullopt;
        return dlg.resultIds.front();
    };
    SetReceiverChooser(&RunReceiverSelection);
}

void InstallReportDialogs()
{
    RegisterReportForms();
    ShellHooks().report = [](QWidget* parent, int command, const CSessionState& session,
                             const std::optional<CForecastRecord>& forecast) {
        OpenReportDialog(command, parent, session, forecast);
    };
    ShellHooks().reportAvailable = &HasReportDialog;
}

void InstallForecastExchange(CSessionState& session, const CTransportList& transports)
{
    ShellHooks().sendForecast = [&session, &transports](QWidget* parent, int forecastId) {
        auto* dlg = new CExportDataDlg(parent);
        dlg->show();
        dlg->SendForecast(forecastId, session.ownReceiverId, transports);
    };
    ShellHooks().receiveForecast = [&session](QWidget* parent) { OnReceiveForecast(session, parent); };
}
