#include "OperationStatus.h"

#include "db/StatementStop.h"

using namespace OperationStatusTexts;

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
