#include "FontStatic.h"

#include <QPainter>

CFontStatic::CFontStatic(QWidget* parent)
    : QLabel(parent)
{
}

void CFontStatic::SetFont(const QString& face, int height, const QColor& textColour, unsigned flags)
{
    m_face = face;
    m_height = height;
    m_textColour = textColour;
    m_bold = flags & Bold;
    m_italic = flags & Italic;
    m_underline = flags & Underline;
    m_strikeOut = flags & StrikeOut;
    m_antialiased = flags & Antialiased;
    if (flags & AlignCentre)
        m_alignment = Qt::AlignHCenter;
    else if (flags & AlignRightFlag)
        m_alignment = Qt::AlignRight;
    else
        m_alignment = Qt::AlignLeft;
    update();
}

void CFontStatic::SetBackgroundColour(const QColor& colour)
{
    m_background = colour;
    m_backgroundSet = true;
    update();
}

QFont CFontStatic::labelFont() const
{
    QFont f(m_face);
    f.setPixelSize(qMax(1, m_height));
    f.setWeight(m_bold ? QFont::Black : QFont::Normal);
    f.setItalic(m_italic);
    f.setUnderline(m_underline);
    f.setStrikeOut(m_strikeOut);
    f.setStyleStrategy(m_antialiased ? QFont::PreferAntialias : QFont::PreferDefault);
    return f;
}

QColor CFontStatic::backgroundColour() const
{
    return m_backgroundSet ? m_background : palette().color(QPalette::Button);
}

void CFontStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), backgroundColour());
    p.setFont(labelFont());
    p.setPen(m_textColour);
    p.drawText(rect(), int(m_alignment | Qt::AlignTop | Qt::TextWordWrap), text());
}
