// The child frame of the main window, filled by the navigation panel. While the panel is enabled
// it offers every command to the frames shown, books first, then the editor, then the journal; it
// passes forecast changes on to all nine frames.
#pragma once

#include "ChildFrameBase.h"

class CMainDlg;
struct CSessionState;

class CChildMainFrm : public CChildFrameBase {
    Q_OBJECT
public:
    CChildMainFrm(CSessionState& session, QWidget* parent = nullptr);
    ~CChildMainFrm() override;

    void OnUpdateChildren(int wParam) override;
    void NotifyForecastFrame(int wParam) override;
    void NotifyEventJournal(int wParam) override;
    void FillSections() override;
    void ResetConsolidatedSelection() override;
    void ReloadForecastReceiver() override;
    bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui) override;

    CMainDlg* panel() const { return m_panel; }

private:
    CSessionState& m_session;
    CMainDlg* m_panel = nullptr;
};
