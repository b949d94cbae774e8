#include "ShellHooks.h"

#include "CheckDialogs.h"
#include "CommentsExchange.h"
#include "NsiImport.h"
#include "TransportHost.h"

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
    InstallTransportHost(session, nullptr);
}
