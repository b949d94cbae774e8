// A tree whose items carry an integer data word (Qt::UserRole of column 0) and a check state, with
// searches, branch copies and, while multiSelect is on, a multi-selection of leaves that stays
// within one parent: Ctrl-click toggles a leaf, Shift-click and Shift+Up/Down extend a range from
// the anchor. The caret is the current item; "selected" is Qt's item selection, which only this
// class changes while multiSelect is on.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>

class CTreeCtrlX : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeCtrlX(QWidget* parent = nullptr);

    static int ItemData(const QTreeWidgetItem* item);
    static void SetItemData(QTreeWidgetItem* item, int data);
    static bool IsChecked(const QTreeWidgetItem* item);

    bool multiSelect() const { return m_multiSelect; }
    // Off, the tree selects one item as a plain tree does.
    void SetMultiSelect(bool on);
    QTreeWidgetItem* anchor() const { return itemFromIndex(m_anchor); }

    // Depth-first order over the whole tree, collapsed branches included.
    QTreeWidgetItem* GetNextItemDeep(const QTreeWidgetItem* item) const;
    // The first item in depth-first order whose data word is the value, or none.
    QTreeWidgetItem* FindItemByData(int data) const;
    // Deselects the item (the first top item when none), its following siblings and all below them.
    void ClearSelection(QTreeWidgetItem* item = nullptr);
    // Selects the leaves of the anchor's parent from the anchor to the item, both included.
    void SelectRange(QTreeWidgetItem* anchor, QTreeWidgetItem* item);
    // The first selected item depth-first from the item (the first top item when none) through its
    // following siblings and all below them.
    QTreeWidgetItem* GetFirstSelectedItem(QTreeWidgetItem* item = nullptr) const;
    // The next selected sibling after the item.
    QTreeWidgetItem* GetNextSelectedItem(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* GetFirstCheckedItem() const;
    QTreeWidgetItem* GetNextCheckedItem(const QTreeWidgetItem* item) const;
    // A new item with the old one's text, data word and check state under the new parent (top
    // level when none), after insertAfter or last when none.
    QTreeWidgetItem* CopyItem(const QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                              QTreeWidgetItem* insertAfter = nullptr);
    // CopyItem, then the children in order below the copy. The old branch stays. None when the
    // new parent lies inside the branch.
    QTreeWidgetItem* CopyBranch(const QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                QTreeWidgetItem* insertAfter = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetAnchor(QTreeWidgetItem* item);
    // What a plain tree does on a click or a key: the caret moves and takes the selection with it.
    void SystemClick(QMouseEvent* event, QTreeWidgetItem* item);
    void SystemKey(QKeyEvent* event);
    void MoveCaret(QTreeWidgetItem* to);
    void ClearCaret();
    void OnCtrlClick(QMouseEvent* event, QTreeWidgetItem* item);
    void OnShiftArrow(bool down);

    QPersistentModelIndex m_anchor; // survives the deletion of its item
    bool m_multiSelect = true;
};
