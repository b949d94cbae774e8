#include "ShellHooks.h"

#include "ModalHook.h"
#include "ReceiverSelectDlg.h"

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
