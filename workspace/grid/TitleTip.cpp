#include "TitleTip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

CTitleTip::CTitleTip(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    , m_owner(parent)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
}

void CTitleTip::Show(const QRect& titleRect, const QString& text, int xOffset, const QRect* hoverRect,
                     const QFont* font, bool shownCut)
{
    if (titleRect.isEmpty() || !m_owner)
        return;
    m_hover = hoverRect ? *hoverRect : titleRect;
    if (isVisible() || !QApplication::activeWindow())
        return;
    const QString padded = QLatin1Char(' ') + text + QLatin1Char(' ');
    const QFont shown = font ? *font : m_owner->font();
    const int width = QFontMetrics(shown).horizontalAdvance(padded);
    if (!shownCut && titleRect.left() + xOffset + width + xOffset <= titleRect.right() + 1 - xOffset)
        return; // it fits
    m_text = padded;
    setFont(shown);
    const QPoint topLeft = m_owner->mapToGlobal(QPoint(titleRect.left() + xOffset, titleRect.top()));
    setGeometry(QRect(topLeft, QSize(width + xOffset, titleRect.height())));
    show();
    raise();
}

void CTitleTip::Hide()
{
    if (isVisible())
        hide();
}

void CTitleTip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QWidget* CTitleTip::TargetAt(QPoint global) const
{
    if (m_owner) {
        const QPoint local = m_owner->mapFromGlobal(global);
        if (m_owner->rect().contains(local)) {
            QWidget* child = m_owner->childAt(local);
            return child ? child : m_owner.data();
        }
    }
    return QApplication::widgetAt(global);
}

void CTitleTip::Forward(const QMouseEvent* event, QWidget* target)
{
    if (!target)
        return;
    const QPointF global = event->globalPosition();
    QMouseEvent passed(event->type(), target->mapFromGlobal(global), global, event->button(), event->buttons(),
                       event->modifiers());
    QApplication::sendEvent(target, &passed);
}

void CTitleTip::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (m_owner && m_hover.contains(m_owner->mapFromGlobal(global)))
        return;
    Hide();
    Forward(event, TargetAt(global));
}

void CTitleTip::mousePressEvent(QMouseEvent* event)
{
    Hide();
    m_pressTarget = TargetAt(event->globalPosition().toPoint());
    Forward(event, m_pressTarget);
}

void CTitleTip::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void CTitleTip::mouseReleaseEvent(QMouseEvent* event)
{
    Forward(event, m_pressTarget);
    m_pressTarget = nullptr;
}
