#include "ChildMainFrm.h"

#include "MainDlg.h"
#include "Session.h"
#include "tables/Forecasts.h"

#include <QLabel>
#include <QVBoxLayout>

CChildMainFrm::CChildMainFrm(CSessionState& session, QWidget* parent)
    : CChildFrameBase(parent)
    , m_session(session)
{
    m_panel = new CMainDlg(session, this);
    m_firstStep = new QLabel(ChildFrameTexts::kFirstStep, this);
    m_firstStep->setObjectName(QStringLiteral("firstStep"));
    m_firstStep->setAlignment(Qt::AlignCenter);
    m_firstStep->setWordWrap(true);
    m_firstStep->setMargin(24);
    m_firstStep->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_panel);
    layout->addWidget(m_firstStep);
}

CChildMainFrm::~CChildMainFrm() = default;

bool CChildMainFrm::OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui)
{
    // Without a current forecast the panel is disabled and its frames get no command.
    if (m_panel->isEnabled()) {
        for (CPanelFrame* frame : m_panel->Frames()) {
            if (!frame->isHidden() && frame->OnCmdMsg(id, msg, ui))
                return true;
        }
    }
    return CChildFrameBase::OnCmdMsg(id, msg, ui);
}

void CChildMainFrm::OnUpdateChildren(int)
{
    // Every frame reloads when its forecast is not the current one any more.
    for (CPanelFrame* frame : m_panel->Frames())
        frame->OnForecastChanged(0);
    m_panel->ResetConsolidatedSelection();
    if (m_panel->privateForecastChecked())
        m_panel->OnPrivateForecast();
    else
        m_panel->OnConsolidatedForecast();
    m_panel->setEnabled(m_session.currentForecastId >= 1);
    const bool empty = m_session.currentForecastId < 1 && GetForecastCount() == 0;
    m_firstStep->setVisible(empty);
    m_panel->setVisible(!empty);
}

void CChildMainFrm::NotifyForecastFrame(int wParam)
{
    if (CForecastFrameBase* frame = m_panel->forecastFrame())
        frame->OnForecastChanged(wParam);
}

void CChildMainFrm::NotifyEventJournal(int wParam)
{
    if (CPanelFrame* frame = m_panel->journalFrame())
        frame->OnForecastChanged(wParam);
}

void CChildMainFrm::FillSections()
{
    m_panel->FillSections();
}

void CChildMainFrm::ResetConsolidatedSelection()
{
    m_panel->ResetConsolidatedSelection();
}

void CChildMainFrm::ReloadForecastReceiver()
{
    if (CForecastFrameBase* frame = m_panel->forecastFrame())
        frame->SetReceiver(frame->receiverId());
}

void CChildMainFrm::SetFirstStepNote(const QString& note)
{
    m_firstStep->setText(note.isEmpty() ? ChildFrameTexts::kFirstStep
                                        : ChildFrameTexts::kFirstStep + QStringLiteral("\n\n") + note);
}
