// The row list of a reference-book frame: texts per cell, one data word and one image per row (0 a
// group, 1 an element), sorting by a clicked column that recognises numbers and dates, rows dragged
// onto group rows or onto the groups of the frame's tree, and right clicks handed to the owner.
#pragma once

#include "DirectoryTreeView.h"

#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>
#include <vector>

class CColumnWidths;
class CPagedRows;
class CReportModel;
class QTreeWidgetItem;

class CReportView : public QTreeView {
    Q_OBJECT
public:
    // Item roles besides the texts: the data word and the image index.
    enum { DataRole = Qt::UserRole, ImageRole = Qt::UserRole + 1 };
    using RowPredicate = std::function<bool(int data)>;

    explicit CReportView(QWidget* parent = nullptr);
    ~CReportView() override;

    // The frame that decides about drags and shows the context menu, and its tree (none: rows are
    // dropped only on rows).
    void SetOwner(CTreeViewOwner* owner) { m_owner = owner; }
    void SetTree(CDirectoryTreeView* tree) { m_tree = tree; }
    CTreeViewOwner* owner() const { return m_owner; }
    // The images the rows' image indexes name.
    void SetImageList(std::vector<QIcon> images);
    void SetSingleSelection(bool single);

    // ---- rows
    int GetItemCount() const;
    // A row with the text in column 0, data 0 and the image; answers its index (appended when the
    // row is beyond the end).
    int InsertItem(int row, const QString& text, int image = -1);
    // False for a row or column outside the list.
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    bool SetItemData(int row, int data);
    int GetItemData(int row) const; // 0 outside the list
    int GetItemImage(int row) const;
    void DeleteAllItems();
    // False for an invalid index or a row whose data the predicate refuses; with selectNext the row
    // then at that index (or the last one) is selected.
    bool DeleteRow(int row, bool selectNext = false, const RowPredicate& accept = {});
    // Deletes from the top while the predicate accepts the first row (all rows without one).
    int DeleteRows(const RowPredicate& accept = {});
    // Texts, data words, images and selected states of the two rows change places.
    bool SwapRows(int a, int b);
    // Moves the row n places by swaps with its neighbour (a negative n the other way), stopping at
    // the first swap that fails; answers the row's new index.
    int MoveItemUp(int row, int n = 1);
    int MoveItemDown(int row, int n = 1);
    // The row with the data; -1 when none has it.
    int FindRowByData(int data) const;

    // ---- rows read from the database a page at a time, for lists of any length
    // The source's rows (counted now) take the place of the inserted ones; sorting by a column then
    // orders them in the database. The rows cannot be changed; inserting an item ends the paging.
    // A failed read is shown once, after the paint or command that met it.
    void SetRowSource(std::unique_ptr<CPagedRows> rows);
    bool IsPaged() const;
    // The first row from `from` on whose search text holds the text: its index, -1 when none does,
    // -2 after a database error.
    int FindText(const QString& text, int from);

    // ---- selection
    // An index outside the list selects nothing, or with clamp the first or the last row.
    void SelectRow(int row, bool clamp = false);
    bool IsRowSelected(int row) const;
    int GetSelectedCount() const;
    // The first selected row, or -1.
    int GetSelectedRow() const;

    // ---- columns
    int GetColumnCount() const;
    // The width is the one the user gave the column of this caption, when the list keeps them.
    int InsertColumn(int column, const QString& caption, int width = 100, Qt::Alignment alignment = Qt::AlignLeft);
    // The widths the user sets are kept in the profile value `path` and come back with the columns.
    void KeepColumnWidths(const QString& path);
    // Every column the user has not sized gets the width its caption and the texts of the first rows
    // need, within the list's width (FitColumnWidths); done by itself after the rows or the list's
    // width change.
    void FitColumns();
    bool DeleteColumn(int column);
    void DeleteAllColumns();

    // ---- sorting
    // Ignored for a column outside the header; otherwise the rows are sorted stably and the header
    // shows the column and direction.
    void SortByColumn(int column, bool ascending);
    // -1 clears the marker (the order of the rows stays).
    void SetSortColumn(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_ascending; }

    // ---- dragging rows
    bool isDragging() const { return m_dragging; }
    int dropRow() const { return m_dropRow; }
    QTreeWidgetItem* treeTarget() const;
    QLabel* dragImage() const { return m_dragImage; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    // A double click on a row (not outside the rows).
    void rowDoubleClicked(int row);

private:
    void OnHeaderClicked(int column);
    void ScheduleFit();
    // Whether the user gave the column its width.
    bool SizedByUser(int column) const;
    void ResizeColumn(int column, int width);
    void BeginDrag(int row, const QPoint& pos);
    void EndDrag();
    void Drop();
    void UpdateTargets(const QPoint& pos);
    bool TreeTargetAllowed(QTreeWidgetItem* item) const;
    void OnTimer();
    // Moves the tree branch of group `group` under the item of group `target`.
    void MoveTreeBranch(int group, int target);

    CReportModel* m_model;
    QPointer<CColumnWidths> m_widths; // owned by the header
    CTreeViewOwner* m_owner = nullptr;
    QPointer<CDirectoryTreeView> m_tree;
    int m_sortColumn = -1;
    bool m_ascending = true;

    int m_pressedRow = -1; // under a held left button, until a drag starts
    QPoint m_pressPos;
    bool m_dragging = false;
    int m_dragRow = -1;
    int m_dropRow = -1;
    int m_treeTargetData = 0;
    bool m_hasTreeTarget = false;
    QPointer<QLabel> m_dragImage;
    QTimer m_timer;
    QTimer m_fitTimer;
    int m_ticks = 0;
    QPoint m_lastPos; // viewport coordinates
};
