// The two grids of the forecast editor: the list of a group's products above and the card of one
// product below. Both report to the editor frame; their header cells are never edited.
#pragma once

#include "GridView.h"

class QMenu;

// What the grid asks of the frame that owns it.
class IForecastGridOwner {
public:
    // Whether the condition of a filter command (32856, 32858, 32892) is on.
    virtual bool IsFilterOn(int command) const = 0;

protected:
    ~IForecastGridOwner() = default;
};

class CForecastGridView : public CGridView {
    Q_OBJECT
public:
    explicit CForecastGridView(QWidget* parent = nullptr);

    void SetMenuOwner(IForecastGridOwner* owner) { m_menuOwner = owner; }

    // A click on the caption of a year part in row 1 starts an edit of it, which the header's
    // read-only state refuses; other header clicks select as the base grid does.
    void OnFixedColumnClick(CCellID cell) override;
    // The edit box: numbers only in the rows of quantities and sums (2 and 3), at most 255
    // characters elsewhere.
    QWidget* CreateCellEditor(const QRect& rect, Qt::Alignment style, int id, int row, int col, const QString& text,
                              unsigned key) override;

    // The context menu (menu 155) made of the window's shared actions, with the filter commands
    // checked as the owner's conditions are; none when the window does not have those actions.
    QMenu* CreateContextMenu();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    IForecastGridOwner* m_menuOwner = nullptr;
};
