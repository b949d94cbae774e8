// What the grid control holds, without a widget: the cells and the table's shape, row heights and
// column widths, spans, the selection and the focus cell, and the geometry (cell bounds, hit test,
// visible ranges, scroll maxima and line steps) as functions of the scroll positions and the
// client size. CGridView owns one and keeps it in step with its scroll bars and viewport.
#pragma once

#include "GridTypes.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class CGridModel {
public:
    CGridModel();
    virtual ~CGridModel();
    CGridModel(const CGridModel&) = delete;
    CGridModel& operator=(const CGridModel&) = delete;

    // Shape. Shrinking below the fixed counts lowers them; shrinking to the focus clears it.
    int GetRowCount() const { return int(m_rows.size()); }
    int GetColumnCount() const { return m_cols; }
    int GetFixedRowCount() const { return m_fixedRows; }
    int GetFixedColumnCount() const { return m_fixedCols; }
    void SetRowCount(int n);
    void SetColumnCount(int n);
    void SetFixedRowCount(int n);
    void SetFixedColumnCount(int n);
    // A row before index (-1 appends) with the heading in column 0; -1 when index is beyond the rows.
    int InsertRow(const QString& heading, int index);
    void DeleteAllItems();

    // Cells. Out of range: null, false, 0, -1, empty text or the default font.
    CGridCell* GetCell(int row, int col) const;
    bool IsValidCell(int row, int col) const { return row >= 0 && col >= 0 && row < GetRowCount() && col < m_cols; }
    bool IsValidRange(const CCellRange& r) const;
    bool SetItemText(int row, int col, const QString& text);
    QString GetItemText(int row, int col) const;
    unsigned GetItemState(int row, int col) const;
    bool SetItemState(int row, int col, unsigned state);
    unsigned GetItemFormat(int row, int col) const;
    bool SetItemFormat(int row, int col, unsigned format);
    int GetItemImage(int row, int col) const;
    bool SetItemImage(int row, int col, int image);
    bool SetItemBkColour(int row, int col, const QColor& colour);
    bool SetItemFgColour(int row, int col, const QColor& colour);
    QFont GetItemFont(int row, int col) const;
    bool SetItemData(int row, int col, quint32 data1, quint32 data2);
    quint32 GetItemData(int row, int col) const;
    void GetItemDataPair(int row, int col, quint32& data1, quint32& data2) const;
    bool GetItem(GridItem& item) const;
    // A span of n covers the next n-1 cells; both directions cover the whole block. A covered
    // cell no longer in the span gets span 1 again.
    bool SetItemColSpan(int row, int col, int span);
    bool SetItemRowSpan(int row, int col, int span);
    // The cell that draws over a covered one (the cell itself when it is not covered).
    CCellID GetAnchor(int row, int col) const;
    // The columns / rows a cell covers, cut at the table's edge (0 for a covered cell).
    int ColSpanOf(int row, int col) const;
    int RowSpanOf(int row, int col) const;

    bool IsEditable() const { return m_editable; }
    void SetEditable(bool on) { m_editable = on; }
    bool IsCellEditable(int row, int col) const;
    bool IsModified() const { return m_modified; }
    // Below row or column 1 only the grid flag is set; while the grid flag is false no cell keeps bit 32.
    void SetCellModified(bool modified, int row, int col);

    // Sizes. Setters fail for a bad index or a negative size.
    int GetRowHeight(int row) const;
    int GetColumnWidth(int col) const;
    bool SetRowHeight(int row, int height);
    bool SetColumnWidth(int col, int width);
    int GetFixedRowHeight() const;
    int GetFixedColumnWidth() const;
    int GetVirtualHeight() const;
    int GetVirtualWidth() const;
    int GetDefaultRowHeight() const { return m_defRowHeight; }
    int GetDefaultColumnWidth() const { return m_defColWidth; }
    int GetMargin() const { return m_margin; }
    void SetDefaultSizes(int rowHeight, int colWidth, int margin);
    const QFont& GetDefaultFont() const { return m_defaultFont; }
    // The font of new cells; with applyToCells also every existing cell's.
    void SetDefaultFont(const QFont& font, bool applyToCells);

    // Focus: sets the focus bits and returns the previous focus cell.
    CCellID GetFocusCell() const { return m_focus; }
    CCellID SetFocusCell(CCellID cell);

    // Selection. The map is keyed by the full (row, column). SetSelectedRange selects exactly the
    // range (an invalid one selects nothing), plus the retained selection when asked, and returns
    // the cells whose look changed.
    std::vector<CCellID> SetSelectedRange(const CCellRange& range, bool withRetained);
    void RetainSelection() { m_retained = m_selection; }
    void ClearRetainedSelection() { m_retained.clear(); }
    bool IsSelected(int row, int col) const { return m_selection.count(Key(row, col)) != 0; }
    int GetSelectedCount() const { return int(m_selection.size()); }
    // The smallest range covering the selection; (rows, columns, -1, -1) when nothing is selected.
    CCellRange GetSelectionBounds() const;
    // Selected cells by rows of the bounds: their text (a space for an empty one), TAB between
    // columns, LF between rows. Null when nothing is selected.
    QString CopySelectionText() const;

    // Paste text as rows of fields: split at TAB and LF, a trailing CR trimmed, fields trimmed of
    // blanks. An empty field is absent (its cell stays unchanged); an empty line is one blank field.
    static std::vector<std::vector<std::optional<QString>>> SplitPasteText(const QString& text);

    // Geometry. Scroll positions are pixels into the non-fixed rows and columns.
    void SetClientSize(QSize size);
    QSize GetClientSize() const { return m_client; }
    void SetScrollPos(int horz, int vert);
    int GetScrollPos(Qt::Orientation bar) const { return bar == Qt::Vertical ? m_scrollY : m_scrollX; }
    int GetScrollMax(Qt::Orientation bar) const { return bar == Qt::Vertical ? m_maxY : m_maxX; }
    // The visible extent of the non-fixed part (the scroll bars' page).
    int GetScrollPage(Qt::Orientation bar) const;
    // Maxima: virtual size less the fixed part less the page, 0 when the table fits. Clamps the positions.
    void UpdateScrollMaxima();
    void SetImageSize(QSize size) { m_imageSize = size; }
    QSize GetImageSize() const { return m_imageSize; }

    CCellID GetTopleftNonFixedCell() const;
    bool GetCellPosition(int row, int col, QPoint& pos) const;
    // Inclusive right and bottom, extended over the span; false for a covered or scrolled-out cell.
    bool GetCellBounds(int row, int col, QRect& rect) const;
    bool GetCellTextRect(int row, int col, QRect& rect) const;
    // The bounds of a cell's whole span when the cell `origin` lies at originPos; also for a cell
    // in the scrolled-out part or off the printed page.
    QRect GetSpanRect(int row, int col, CCellID origin, QPoint originPos) const;
    // The cell under a point, or its anchor when it is covered; -1 in a direction that misses.
    CCellID HitTestCell(QPoint point, bool fixedAllowed) const;
    // The row and column under a point as they are, covered or not.
    CCellID CellAtPoint(QPoint point, bool fixedAllowed) const;
    CCellRange GetVisibleCellRange(QRect* rect = nullptr) const;
    CCellRange GetWhollyVisibleCellRange() const;
    bool IsCellVisible(int row, int col) const;
    // The position after a number of line steps (positive: down or right), as the scroll bar's
    // line buttons move it one after another.
    int LineStep(Qt::Orientation bar, int pos, int steps) const;
    // The scroll positions (horizontal, vertical) that bring a cell into view.
    QPoint ScrollPositionsFor(int row, int col) const;

    // Non-fixed rows in order of their column's text as code page 1251 bytes; equal texts stay.
    void SortRowsByColumn(int col, bool ascending);
    // Non-fixed rows per printed page (first, last) for the usable height; a row taller than
    // the page gets a page of its own; no non-fixed rows give one empty page.
    std::vector<std::pair<int, int>> PageRows(int usableHeight) const;

protected:
    // A new cell with the defaults; below row 0 it takes the format of the cell above.
    virtual std::unique_ptr<CGridCell> NewCell(int row, int col);
    // State 0 (which leaves the selection) and empty text.
    virtual void ClearCell(int row, int col);

private:
    using Row = std::vector<std::unique_ptr<CGridCell>>;
    static quint64 Key(int row, int col) { return (quint64(quint32(col)) << 32) | quint32(row); }
    void Select(int row, int col, CGridCell& cell);
    void ApplySpan(int row, int col, int rowSpan, int colSpan);
    void ClearAllModified();
    struct Axis;
    Axis RowAxis() const;
    Axis ColAxis() const;

    std::vector<Row> m_rows;
    std::vector<int> m_rowHeights;
    std::vector<int> m_colWidths;
    int m_cols = 0;
    int m_fixedRows = 0;
    int m_fixedCols = 0;
    int m_defRowHeight = 10;
    int m_defColWidth = 30;
    int m_margin = 0;
    QFont m_defaultFont;
    bool m_editable = true;
    bool m_modified = false;
    CCellID m_focus;
    std::unordered_map<quint64, CCellID> m_selection;
    std::unordered_map<quint64, CCellID> m_retained;
    QSize m_client;
    QSize m_imageSize;
    int m_scrollX = 0;
    int m_scrollY = 0;
    int m_maxX = 0;
    int m_maxY = 0;
};
