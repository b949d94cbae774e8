// The group tree of a reference-book frame and of the forecast editor: one item selected at a
// time, groups dragged onto other groups inside the tree (with auto-scroll near the edges), and
// right clicks handed to the owner, which shows its context menu there.
#pragma once

#include "TreeCtrlX.h"

#include <QLabel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

// What the frame that owns a directory tree (and its row list) decides for them. Without an owner
// nothing is dragged.
class CTreeViewOwner {
public:
    virtual ~CTreeViewOwner();
    // Whether a group (or a row of the list) may be dragged now.
    virtual bool CanStartDrag() = 0;
    // The group with dragData was dropped on the group with targetData; nonzero when the move
    // took place, and the tree then moves the branch itself.
    virtual int OnTreeDrop(int dragData, int targetData) = 0;
    // The right button went down on the tree or the list at this screen point.
    virtual void OnTreeContextMenu(const QPoint& globalPos) = 0;
    // A row of the list was dropped on a group row of the list, or on the tree's group with
    // treeData; nonzero when the move took place, and the list then removes the row itself.
    virtual int OnRowDropOnRow(int dragRow, int dropRow);
    virtual int OnRowDropOnTree(int dragRow, int treeData);
};

class CDirectoryTreeView : public CTreeCtrlX {
    Q_OBJECT
public:
    explicit CDirectoryTreeView(QWidget* parent = nullptr);
    ~CDirectoryTreeView() override;

    void SetOwner(CTreeViewOwner* owner) { m_owner = owner; }
    CTreeViewOwner* owner() const { return m_owner; }

    bool isDragging() const { return m_dragging; }
    // The item under the cursor that would take the drop, or none.
    QTreeWidgetItem* dropTarget() const { return itemFromIndex(m_dropTarget); }
    QLabel* dragImage() const { return m_dragImage; }
    // Highlights the item as the place where a row of the list would drop (none: no highlight).
    void SetDropHighlight(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void BeginDrag(QTreeWidgetItem* item, const QPoint& pos);
    // Ends the drag without a drop.
    void EndDrag();
    void Drop();
    void UpdateDropTarget(const QPoint& pos);
    void OnTimer();

    CTreeViewOwner* m_owner = nullptr;
    QPersistentModelIndex m_pressed; // the item under a held left button, until a drag starts
    QPoint m_pressPos;
    QPersistentModelIndex m_dragItem;
    QPersistentModelIndex m_dropTarget;
    bool m_dragging = false;
    QPointer<QLabel> m_dragImage;
    QTimer m_timer;
    int m_ticks = 0;
    QPoint m_lastPos; // the last mouse position the tree received, in viewport coordinates
};
