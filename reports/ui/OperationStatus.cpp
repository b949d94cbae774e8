#include "OperationStatus.h"

#include "AppMessage.h"
#include "ProgressBar.h"
#include "db/StatementStop.h"

#include <QLabel>

using namespace OperationStatusTexts;

namespace {

// String 57345: the idle text "Готов к работе".
constexpr unsigned kIdleText = 57345;

} // namespace

COperationStatus::COperationStatus()
    : m_pane(CProgressBar::PaneOf(CProgressBar::GetStatusBar(), 0))
{
}

COperationStatus::~COperationStatus()
{
    if (!m_pane)
        return;
    m_pane->setText(LoadStringRes(kIdleText));
    m_pane->repaint();
}

void COperationStatus::Show(const QString& operation, const QString& step)
{
    if (!m_pane)
        return;
    const QString text = kStep.arg(operation, step);
    if (m_pane->text() == text)
        return;
    m_pane->setText(text);
    m_pane->repaint();
}

CStopButton::CStopButton(QWidget* parent)
    : QPushButton(kStopButton, parent)
{
    setObjectName(QStringLiteral("stop"));
    hide();
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_request)
            m_request->Stop();
    });
}

void CStopButton::Offer(CStopRequest* request, const QWidget* place)
{
    m_request = request;
    if (!request) {
        hide();
        return;
    }
    QWidget* window = parentWidget();
    if (place && place->isVisible()) {
        setGeometry(QRect(place->mapTo(window, QPoint(0, 0)), place->size()));
    } else {
        const QSize size = sizeHint();
        setGeometry(QRect(QPoint(window->width() - size.width() - 8, window->height() - size.height() - 8), size));
    }
    setEnabled(true);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}
