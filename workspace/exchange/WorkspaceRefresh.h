// What an import or a change of reference data asks of the main window, which the workspace cannot
// reach directly: the main frame implements it and installs itself while it exists. Code without a
// main window (tests, the start-up before the window is made) finds none and skips the refresh.
#pragma once

class IWorkspaceRefresh {
public:
    virtual ~IWorkspaceRefresh() = default;

    // Fills the forecast combo again, keeping the current forecast selected.
    virtual void FillForecastCombo() = 0;
    // Makes `forecastId` the current forecast, as a choice in the combo would.
    virtual void SelectForecast(int forecastId) = 0;
    // The forecast editor reloads the receiver it shows (CForecastFrame::SetReceiver with its own).
    virtual void ReloadForecastReceiver() = 0;
    // The editor forgets the organisation chosen for its private forecast and reloads.
    virtual void ResetConsolidatedSelection() = 0;
    // Message 1124 with `wParam` to every frame, to the editor only, or to the event journal only.
    virtual void NotifyChildren(int wParam) = 0;
    virtual void NotifyForecastFrame(int wParam) = 0;
    virtual void NotifyEventJournal(int wParam) = 0;
    // The title names the organisation's own receiver in the current forecast.
    virtual void UpdateTitle() = 0;
};

// The main window's refresh; null while there is none.
IWorkspaceRefresh* WorkspaceRefresh();
void SetWorkspaceRefresh(IWorkspaceRefresh* refresh);
