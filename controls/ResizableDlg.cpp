#include "ResizableDlg.h"

#include "ProfileSettings.h"

#include <QResizeEvent>

CResizableDlg::CResizableDlg(int dialogId, QWidget* parent)
    : QDialog(parent)
    , m_dialogId(dialogId)
{
    setObjectName(QStringLiteral("id%1").arg(dialogId));
    setSizeGripEnabled(m_sizeGrip);
}

CResizableDlg::~CResizableDlg()
{
    StoreSize();
}

void CResizableDlg::AddAnchor(int controlId, int flags)
{
    if (flags == 0)
        return;
    m_anchors.push_back((std::uint32_t(controlId) & 0xFFFF) | (std::uint32_t(flags) << 16));
}

QString CResizableDlg::ProfileSection() const
{
    return QString::number(m_dialogId, 16);
}

QSize CResizableDlg::FirstSize(const QSize& creation) const
{
    return creation;
}

void CResizableDlg::setVisible(bool visible)
{
    if (visible && !m_initialised) {
        m_initialised = true;
        if (!testAttribute(Qt::WA_Resized))
            adjustSize();
        m_creationSize = size();
        setMinimumSize(m_creationSize);
        QSize stored;
        if (m_saveSize) {
            CProfileSettings profile;
            profile.beginGroup(ProfileSection());
            stored = QSize(profile.intValue(QStringLiteral("CX"), 0), profile.intValue(QStringLiteral("CY"), 0));
        }
        const QSize first = stored.width() != 0 && stored.height() != 0 ? stored : FirstSize(m_creationSize);
        if (first != size())
            resize(first);
    }
    QDialog::setVisible(visible);
}

void CResizableDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (isMinimized())
        return;
    const QSize now = event->size();
    if (m_lastSize.isValid() && now != m_lastSize) {
        const int dx = now.width() - m_lastSize.width();
        const int dy = now.height() - m_lastSize.height();
        for (std::uint32_t anchor : m_anchors) {
            QWidget* control = findChild<QWidget*>(QStringLiteral("id%1").arg(anchor & 0xFFFF));
            if (!control)
                continue;
            const int flags = int(anchor >> 16);
            QRect r = control->geometry();
            if (flags & StretchRight)
                r.setWidth(r.width() + dx);
            else if (flags & MoveRight)
                r.translate(dx, 0);
            if (flags & StretchDown)
                r.setHeight(r.height() + dy);
            else if (flags & MoveDown)
                r.translate(0, dy);
            control->setGeometry(r);
        }
        m_resized = true;
    }
    m_lastSize = now;
}

void CResizableDlg::done(int result)
{
    StoreSize();
    QDialog::done(result);
}

void CResizableDlg::StoreSize()
{
    if (m_saveSize && m_resized) {
        CProfileSettings profile;
        profile.beginGroup(ProfileSection());
        profile.setValue(QStringLiteral("CX"), width());
        profile.setValue(QStringLiteral("CY"), height());
    }
    m_resized = false;
    m_lastSize = QSize();
}
