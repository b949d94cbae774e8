#include "StatusText.h"

#include "ProgressBar.h"

#include <QCoreApplication>
#include <QLabel>
#include <QThread>

namespace {

void Paint(QLabel* pane, const QString& text)
{
    if (!pane || pane->text() == text)
        return;
    pane->setText(text);
    pane->repaint();
}

} // namespace

CStatusText::CStatusText(const QString& operation)
    : m_operation(operation)
{
    if (!QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    m_pane = CProgressBar::PaneOf(CProgressBar::GetStatusBar(), 0);
    if (m_pane)
        m_previous = m_pane->text();
}

CStatusText::~CStatusText()
{
    End();
}

void CStatusText::End()
{
    Paint(m_pane, m_previous);
}

void CStatusText::Step(const QString& step)
{
    Step(m_operation, step);
}

void CStatusText::Step(const QString& operation, const QString& step)
{
    Paint(m_pane, StatusTexts::kStep.arg(operation, step));
}
