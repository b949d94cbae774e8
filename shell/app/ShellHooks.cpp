#include "ShellHooks.h"

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
