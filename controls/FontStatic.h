// A label with its own font, text colour and background.
#pragma once

#include <QColor>
#include <QLabel>

class CFontStatic : public QLabel {
    Q_OBJECT
public:
    enum StyleFlags : unsigned {
        Bold = 0x01,
        Italic = 0x02,
        Underline = 0x04,
        StrikeOut = 0x08,
        Antialiased = 0x10,
        AlignCentre = 0x20,
        AlignRightFlag = 0x80,
    };

    explicit CFontStatic(QWidget* parent = nullptr);

    // Height in pixels; alignment: bit 5 centre, else bit 7 right, else left.
    void SetFont(const QString& face, int height, const QColor& textColour, unsigned flags);
    void SetBackgroundColour(const QColor& colour);

    QFont labelFont() const;
    QColor textColour() const { return m_textColour; }
    // The button face colour until a background is set.
    QColor backgroundColour() const;
    bool hasBackground() const { return m_backgroundSet; }
    Qt::Alignment textAlignment() const { return m_alignment; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strikeOut = false;
    bool m_antialiased = false;
    bool m_backgroundSet = false;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QString m_face = QStringLiteral("MS Sans Serif");
    QColor m_textColour = QColor(0, 0, 0);
    QColor m_background;
    int m_height = 8;
};
