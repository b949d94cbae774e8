// The grid control: a table of cells with fixed (header) rows at the top and fixed columns at the
// left, spans, per-cell colours, fonts and states, selection by mouse and keyboard, copy, cut and
// paste as tab-separated text, sorting by a header click, in-place editing with an edit box or a
// list of choices, printing and a title tip for texts that do not fit. It reports focus changes
// and edits to its owner (IGridListener) and handles the standard edit commands.
//
// The forecast editor derives its grids from it; the virtual operations below are its hooks.
#pragma once

#include "CmdTarget.h"
#include "GridModel.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QList>
#include <QPixmap>
#include <QPointer>

class QMimeData;
class QFontMetrics;
class QPainter;
class QPrinter;
class CTitleTip;

// The settings of the grid: plain properties its user reads and sets; the grid itself changes
// only the colours (on a palette change).
struct CGridSettings {
    int gridLines = GVL_BOTH;
    bool listMode = false;           // clicks select whole rows; a header click sorts
    bool singleRowSelection = false; // list mode: a row click selects only that row
    bool allowDraw = true;           // false: no repaint and no drawing
    bool selectionEnabled = true;
    bool sortOnHeaderClick = true;
    bool handleTab = true; // Tab moves the focus cell and never leaves the grid
    bool titleTips = true;
    bool allowRowResize = true;
    bool allowColumnResize = true;
    int resizeCaptureRange = 3;
    int autoScrollInterval = 25;
    QColor textColour;
    QColor bkColour;
    QColor outerColour; // beyond the last cells
    QColor fixedTextColour;
    QColor fixedBkColour;
    QColor gridLineColour = QColor(192, 192, 192);
};

// The print job as the page sequence sees it.
struct CPrintInfo {
    QPrinter* printer = nullptr;
    int minPage = 1;
    int maxPage = 1;
    int curPage = 1;
    QRect drawRect; // the band being printed, in page units
};

// Page metrics from begin printing on, in page units (the page is as wide as the grid plus margins).
struct GridPrintMetrics {
    int charWidth = 0;
    int charHeight = 0;
    int printableWidth = 0; // device pixels
    int printableHeight = 0;
    int pageWidth = 0;
    int pageHeight = 0;
    int usableHeight = 0;                   // for non-fixed rows
    std::vector<std::pair<int, int>> pages; // first and last non-fixed row of each page
};

enum class GridMouseMode {
    Nothing,
    SelectAll,
    SelectColumns,
    SelectRows,
    SelectCells,
    OverRowDivider,
    SizingRow,
    OverColumnDivider,
    SizingColumn,
    PrepareEdit,
};

class CGridView : public QAbstractScrollArea, public CCmdTarget {
    Q_OBJECT
public:
    explicit CGridView(int rows = 0, int cols = 0, int fixedRows = 0, int fixedCols = 0, QWidget* parent = nullptr);
    ~CGridView() override;

    // --- virtual hooks, in slot order

    // Paints the cells that meet the clip rectangle: background, corner, row headers, column
    // headers, data cells.
    virtual void OnDraw(QPainter& painter, const QRect& clip);
    // Page metrics and the page count.
    virtual void OnBeginPrinting(QPainter& painter, CPrintInfo& info);
    // One page: header band, fixed rows, the page's rows, footer band.
    virtual void OnPrint(QPainter& painter, CPrintInfo& info);
    virtual void OnEndPrinting(QPainter& painter, CPrintInfo& info);
    // Places the grid in its parent with its control id and sizes every row and column to the defaults.
    virtual bool CreateGrid(const QRect& rect, QWidget* parent, int id);
    virtual QString GetItemText(int row, int col) const;
    // Empties the selected cells that are not read-only (editable grids only).
    virtual void CutSelectedCells();
    // The selection as plain text, or null when nothing is selected; the caller owns it.
    virtual QMimeData* CopySelectionToDataSource() const;
    // Writes the text's fields into the cells from (row, col) on; false when nothing can be pasted there.
    virtual bool PasteText(int row, int col, const QMimeData* data);
    virtual void OnEditCut();
    virtual void OnEditCopy();
    virtual bool OnEditPaste();
    virtual void SelectAllCells();
    virtual void PrintHeaderRows(QPainter& painter, CPrintInfo& info);
    virtual void PrintPageHeader(QPainter& painter, CPrintInfo& info);
    virtual void PrintFooter(QPainter& painter, CPrintInfo& info);
    // A click on a fixed column's cell (row header): selects rows, all in the corner.
    virtual void OnRowHeaderClick(CCellID cell);
    // A click on a fixed row's cell (column header): sorts in list mode, else selects columns,
    // all in the corner.
    virtual void OnFixedColumnClick(CCellID cell);
    // The extent a cell's content needs.
    virtual QSize MeasureCell(int row, int col) const;
    // Stores an edited text when it differs and marks the cell modified.
    virtual void ApplyEditedText(int row, int col, const QString& text);
    // Opens an editor over the cell; key is the first key (a character, a key number, or
    // VK_LBUTTON when started by the mouse). The owner's reply to LVN_BEGINLABELEDITA chooses
    // the editor: 0 an edit box, else a list of the option texts.
    virtual void BeginCellEdit(int row, int col, unsigned key);
    // Makes the edit box; this grid's own version accepts numbers only.
    virtual QWidget* CreateCellEditor(const QRect& rect, Qt::Alignment style, int id, int row, int col,
                                      const QString& text, unsigned key);
    virtual bool DrawHeaderCell(QPainter& painter, int row, int col, const QRect& rect, bool erase);
    virtual bool DrawDataCell(QPainter& painter, int row, int col, const QRect& rect, bool erase);
    virtual std::unique_ptr<CGridCell> NewCell(int row, int col);
    virtual void ClearCell(int row, int col);

    // --- owner, id, settings

    int GetDlgCtrlID() const { return m_id; }
    void SetDlgCtrlID(int id);
    // Notifications go to the owner, else to the parent widget when it is a listener.
    void SetOwner(IGridListener* owner) { m_owner = owner; }
    CGridSettings& Settings() { return m_settings; }
    const CGridSettings& Settings() const { return m_settings; }
    const CGridModel& Model() const { return m_model; }
    bool IsEditable() const { return m_model.IsEditable(); }
    void SetEditable(bool on) { m_model.SetEditable(on); }
    void SetImageList(const QList<QPixmap>& images);
    // The choices of the list editor and their data words, filled by the owner on LVN_BEGINLABELEDITA.
    void SetOptions(const QStringList& texts, const QList<quint32>& data);
    const QStringList& GetOptionTexts() const { return m_optionTexts; }
    const QList<quint32>& GetOptionData() const { return m_optionData; }
    int GetSortColumn() const { return m_sortColumn; }
    bool GetSortAscending() const { return m_sortAscending; }
    GridMouseMode GetMouseMode() const { return m_mouseMode; }
    CTitleTip* GetTitleTip() const { return m_titleTip; }
    // The open in-place editor, if any.
    QWidget* GetInPlaceEditor() const { return m_editor; }
    const GridPrintMetrics& GetPrintMetrics() const { return m_print; }

    // --- cells

    CGridCell* GetCell(int row, int col) const { return m_model.GetCell(row, col); }
    bool SetItemText(int row, int col, const QString& text) { return m_model.SetItemText(row, col, text); }
    unsigned GetItemState(int row, int col) const { return m_model.GetItemState(row, col); }
    bool SetItemState(int row, int col, unsigned state) { return m_model.SetItemState(row, col, state); }
    unsigned GetItemFormat(int row, int col) const { return m_model.GetItemFormat(row, col); }
    bool SetItemFormat(int row, int col, unsigned format) { return m_model.SetItemFormat(row, col, format); }
    int GetItemImage(int row, int col) const { return m_model.GetItemImage(row, col); }
    bool SetItemImage(int row, int col, int image) { return m_model.SetItemImage(row, col, image); }
    bool SetItemBkColour(int row, int col, const QColor& c) { return m_model.SetItemBkColour(row, col, c); }
    bool SetItemFgColour(int row, int col, const QColor& c) { return m_model.SetItemFgColour(row, col, c); }
    QFont GetItemFont(int row, int col) const { return m_model.GetItemFont(row, col); }
    bool SetItemData(int row, int col, quint32 d1, quint32 d2) { return m_model.SetItemData(row, col, d1, d2); }
    quint32 GetItemData(int row, int col) const { return m_model.GetItemData(row, col); }
    void GetItemDataPair(int row, int col, quint32& d1, quint32& d2) const
    {
        m_model.GetItemDataPair(row, col, d1, d2);
    }
    bool SetItemColSpan(int row, int col, int span) { return m_model.SetItemColSpan(row, col, span); }
    bool SetItemRowSpan(int row, int col, int span) { return m_model.SetItemRowSpan(row, col, span); }
    bool GetItem(GridItem& item) const { return m_model.GetItem(item); }
    bool IsValidCell(int row, int col) const { return m_model.IsValidCell(row, col); }
    bool IsValidRange(const CCellRange& range) const { return m_model.IsValidRange(range); }
    bool IsCellEditable(int row, int col) const { return m_model.IsCellEditable(row, col); }
    void SetCellModified(bool modified, int row, int col) { m_model.SetCellModified(modified, row, col); }
    bool IsModified() const { return m_model.IsModified(); }

    // --- sizes

    int GetRowHeight(int row) const { return m_model.GetRowHeight(row); }
    int GetColumnWidth(int col) const { return m_model.GetColumnWidth(col); }
    bool SetRowHeight(int row, int height) { return m_model.SetRowHeight(row, height); }
    bool SetColumnWidth(int col, int width) { return m_model.SetColumnWidth(col, width); }
    int GetFixedRowHeight() const { return m_model.GetFixedRowHeight(); }
    int GetFixedColumnWidth() const { return m_model.GetFixedColumnWidth(); }
    int GetVirtualHeight() const { return m_model.GetVirtualHeight(); }
    int GetVirtualWidth() const { return m_model.GetVirtualWidth(); }
    bool FitColumnWidth(int col);
    bool FitRowHeight(int row);
    void FitAllSizes();
    QSize MeasureText(const QString& text, bool header) const;
    // The widest content of the column's cells from firstRow to lastRow that span no other column.
    int ColumnContentWidth(int col, int firstRow, int lastRow) const;
    // The text the cell draws at its present size: a figure cut to "###" or to its ellipsis, else its text.
    QString GetShownText(int row, int col) const;

    // --- shape

    int GetRowCount() const { return m_model.GetRowCount(); }
    int GetColumnCount() const { return m_model.GetColumnCount(); }
    int GetFixedRowCount() const { return m_model.GetFixedRowCount(); }
    int GetFixedColumnCount() const { return m_model.GetFixedColumnCount(); }
    bool SetRowCount(int n);
    bool SetColumnCount(int n);
    bool SetFixedRowCount(int n);
    bool SetFixedColumnCount(int n);
    int InsertRow(const QString& heading, int index = -1);
    bool DeleteAllItems();

    // --- notifications

    qintptr NotifyParent(int code, int row, int col);

    // --- geometry, drawing and scrolling (client = viewport coordinates)

    CCellID GetTopleftNonFixedCell() const { return m_model.GetTopleftNonFixedCell(); }
    bool GetCellPosition(int row, int col, QPoint& pos) const { return m_model.GetCellPosition(row, col, pos); }
    bool GetCellBounds(int row, int col, QRect& rect) const { return m_model.GetCellBounds(row, col, rect); }
    bool GetCellTextRect(int row, int col, QRect& rect) const { return m_model.GetCellTextRect(row, col, rect); }
    CCellID HitTestCell(QPoint point, bool fixedAllowed = true) const
    {
        return m_model.HitTestCell(point, fixedAllowed);
    }
    CCellRange GetVisibleCellRange(QRect* rect = nullptr) const { return m_model.GetVisibleCellRange(rect); }
    CCellRange GetWhollyVisibleCellRange() const { return m_model.GetWhollyVisibleCellRange(); }
    bool IsCellVisible(int row, int col) const { return m_model.IsCellVisible(row, col); }
    int GetScrollMax(Qt::Orientation bar) const { return m_model.GetScrollMax(bar); }
    int GetScrollPosition(Qt::Orientation bar) const { return m_model.GetScrollPos(bar); }
    void UpdateScrollBars();
    void SetScrollPosition(Qt::Orientation bar, int pos, bool redraw = true);
    // Brings the cell into view with one move of the positions.
    void ScrollToCell(int row, int col);
    bool RedrawCell(int row, int col);
    bool RedrawRow(int row);
    bool InvalidateCellRect(int row, int col);
    void FillBackground(QPainter& painter, const QRect& clip);

    // --- focus, selection, sorting

    CCellID GetFocusCell() const { return m_model.GetFocusCell(); }
    // Moves the focus (LVN_ITEMCHANGING for the old cell, LVN_ITEMCHANGED for the new one);
    // returns the previous focus cell.
    CCellID SetFocusCell(int row, int col);
    void SetSelectedRange(int minRow, int minCol, int maxRow, int maxCol, bool forceRepaint = false);
    void SelectColumnRange(CCellID cell);
    void SelectRowRange(CCellID cell);
    void SelectCellRange(CCellID cell);
    void ExtendSelection(CCellID cell);
    CCellRange GetSelectionBounds() const { return m_model.GetSelectionBounds(); }
    bool SortRowsByColumn(int col, bool ascending);

    // --- editing and printing

    // The end of an in-place edit, sent by the editors (control id 8).
    void OnEndInPlaceEdit(const GridDispInfo& info);
    // Begin printing, every page, end printing.
    bool Print(QPrinter& printer);

signals:
    // The user gave the column its width: by its divider or by a double click on it.
    void columnSizedByUser(int col);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

    // A key as the grid moves its focus by it (key numbers of GridTypes.h); false when the key
    // is not one of the grid's.
    bool HandleKey(unsigned key, Qt::KeyboardModifiers modifiers);
    void SetMouseMode(GridMouseMode mode) { m_mouseMode = mode; }
    // The font to draw with: while printing, sized in page units.
    QFont DeviceFont(const QFont& font) const;
    bool IsPrinting() const { return m_printing; }

private:
    class HookedModel;
    void Refresh();
    void ApplyFont(const QFont& font);
    void UpdateSystemColours();
    void SetScrollPositions(QPoint pos);
    void OnScrollAction(Qt::Orientation bar, int action);
    void InvalidateCells(const std::vector<CCellID>& cells);
    void InvalidateHeaders();
    void DrawCells(QPainter& painter, const QRect& clip, CCellRange range, QPoint origin, bool header,
                   const QRect& region);
    void DrawCellText(QPainter& painter, const QRect& rect, const CGridCell& cell, int width);
    // What a cell `width` pixels wide shows of its text in the font measured.
    QString ShownText(const CGridCell& cell, int width, const QFontMetrics& metrics) const;
    void DrawPrintLines(QPainter& painter, int firstRow, int lastRow);
    bool OverRowDivider(QPoint point) const;
    bool OverColumnDivider(QPoint point) const;
    void UpdateDividerMode(QPoint point);
    void ShowSizingLine(QPoint point);
    void EndOpenEdit();
    void PostCommand();
    IGridListener* Listener() const;

    std::unique_ptr<HookedModel> m_modelOwner;
    CGridModel& m_model;
    CGridSettings m_settings;
    int m_id = 0;
    IGridListener* m_owner = nullptr;
    QList<QPixmap> m_images;
    QStringList m_optionTexts;
    QList<quint32> m_optionData;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    int m_wheelLines = 3;
    int m_wheelRemainder = 0;
    QColor m_sysText, m_sysWindow, m_sysButton; // the palette colours the grid's colours were last set from

    GridMouseMode m_mouseMode = GridMouseMode::Nothing;
    CCellID m_selectionStart;
    CCellID m_mouseDownCell;
    QPoint m_mouseDownPoint;
    QPoint m_lastMousePoint;
    int m_sizedIndex = -1;
    QWidget* m_sizingLine = nullptr;
    QBasicTimer m_autoScroll;
    bool m_syncingBars = false;
    bool m_inResize = false;

    CTitleTip* m_titleTip = nullptr;
    QPointer<QWidget> m_editor;
    bool m_printing = false;
    QFont m_printFont;
    GridPrintMetrics m_print;
};
