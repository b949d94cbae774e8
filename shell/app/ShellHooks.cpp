#include "ShellHooks.h"

#include "AvPricesDlg.h"
#include "CheckDialogs.h"
#include "CommentsExchange.h"
#include "ForecastDialogs.h"
#include "ForecastImport.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "NsiImport.h"
#include "OpJournalExport.h"
#include "PrefDialog.h"
#include "ReceiverSelectDlg.h"
#include "ReportForms.h"
#include "TransportHost.h"
#include "UsersDlg.h"

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

void InstallForecastDialogs()
{
    ShellHooks().forecastManager = [](QWidget* parent) {
        // Properties, status and deletion are changed by administrators and experts.
        const auto* frame = qobject_cast<const CMainFrame*>(parent);
        CForecastMngrDlg dlg(parent, !frame || frame->session().HasRights(ROLE_ADMIN | ROLE_EXPERT));
        dlg.DoModal();
    };
    ShellHooks().selectForecastCopy = [](QWidget* parent, int* sourceForecast, int* mode) {
        // The main frame asks; its session names the forecast copied into.
        const auto* frame = qobject_cast<const CMainFrame*>(parent);
        CSelectForecastDlg dlg(frame ? frame->session().currentForecastId : -1, parent);
        if (dlg.DoModal() != QDialog::Accepted)
            return false;
        *sourceForecast = dlg.sourceForecast;
        *mode = dlg.copyMode;
        return true;
    };
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

void InstallShellDialogs()
{
    CShellHooks& hooks = ShellHooks();
    hooks.preferences = [](QWidget* parent) {
        CPrefDialog dlg(parent);
        return ExecModal(dlg) == QDialog::Accepted;
    };
    hooks.exportOpJournal = &ExportOpJournal;
    hooks.users = [](QWidget* parent, const CSessionState& session) {
        CUsersDlg dlg(session, parent);
        dlg.DoModal();
    };
    hooks.averagePriceImport = &ImportAveragePrices;
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

void InstallExchangeCommands(CSessionState& session, const CTransportList& transports)
{
    CShellHooks& hooks = ShellHooks();
    hooks.sendReferenceData = [&session, &transports](QWidget* parent) {
        auto* dlg = new CExportNSIDlg(parent);
        dlg->show();
        dlg->SendNSI(session, transports);
    };
    hooks.receiveReferenceData = [&session](QWidget* parent) { OnReceiveNsi(session, parent); };
    hooks.sendComments = [&session, &transports](QWidget* parent) { OnSendComments(session, parent, transports); };
    hooks.receiveComments = [&session](QWidget* parent) { OnReceiveComments(session, parent); };
    InstallTransportHost(session, &ImportForecastFile);
}
