// The child frame of the main window, filled by the navigation panel. While the panel is enabled
// it offers every command to the frames shown, books first, then the editor, then the journal; it
// passes forecast changes on to all nine frames. A database without any forecast shows, in the
// panel's place, what the first step is, and what the login lacks to take it.
#pragma once

#include "ChildFrameBase.h"

#include <QString>

class CMainDlg;
class QLabel;
struct CSessionState;

namespace ChildFrameTexts {
inline const QString kFirstStep =
    QStringLiteral("В базе данных еще нет ни одного прогноза.\n\nПервый шаг: получите НСИ от вышестоящей организации "
                   "командой \"Прогноз > Получение НСИ...\".");
} // namespace ChildFrameTexts

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
    void SetFirstStepNote(const QString& note) override;
    bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui) override;

    CMainDlg* panel() const { return m_panel; }
    QLabel* firstStep() const { return m_firstStep; }

private:
    CSessionState& m_session;
    CMainDlg* m_panel = nullptr;
    QLabel* m_firstStep = nullptr;
};
