// The title tip: a small window over a cell whose text does not fit, showing the whole text while
// the mouse rests on the cell. It never takes the focus; a press on it hides it and goes to the
// window below.
#pragma once

#include <QPointer>
#include <QWidget>

class CTitleTip : public QWidget {
    Q_OBJECT
public:
    // parent: the window whose cells the tip shows (the grid's viewport).
    explicit CTitleTip(QWidget* parent);

    // titleRect and hoverRect in the parent's coordinates (inclusive right and bottom). Shows the
    // text with a space on each side over titleRect, in the font given (else the parent's), when
    // it does not fit there, or the cell shows it cut, and the application is active; the tip stays
    // while the mouse is within hoverRect (default titleRect).
    void Show(const QRect& titleRect, const QString& text, int xOffset = 0, const QRect* hoverRect = nullptr,
              const QFont* font = nullptr, bool shownCut = false);
    void Hide();

    QString text() const { return m_text; }
    QRect hoverRect() const { return m_hover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QWidget* TargetAt(QPoint global) const;
    static void Forward(const QMouseEvent* event, QWidget* target);

    QPointer<QWidget> m_owner;
    QRect m_hover;
    QString m_text;
    QPointer<QWidget> m_pressTarget;
};
