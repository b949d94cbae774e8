// The grid's construction, shape and sizes, notifications, scrolling, focus, selection, clipboard
// and commands. Drawing and printing are in GridViewPaint.cpp, mouse, keys and editing in
// GridViewInput.cpp.
#include "GridView.h"

#include "CommandIds.h"
#include "TitleTip.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>

// Routes the model's cell creation and clearing to the view's virtual hooks.
class CGridView::HookedModel : public CGridModel {
public:
    explicit HookedModel(CGridView& view)
        : m_view(view)
    {
    }
    std::unique_ptr<CGridCell> BaseNewCell(int row, int col) { return CGridModel::NewCell(row, col); }
    void BaseClearCell(int row, int col) { CGridModel::ClearCell(row, col); }

protected:
    std::unique_ptr<CGridCell> NewCell(int row, int col) override { return m_view.NewCell(row, col); }
    void ClearCell(int row, int col) override { m_view.ClearCell(row, col); }

private:
    CGridView& m_view;
};

CGridView::CGridView(int rows, int cols, int fixedRows, int fixedCols, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_modelOwner(std::make_unique<HookedModel>(*this))
    , m_model(*m_modelOwner)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::Box);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_wheelLines = QApplication::wheelScrollLines();
    m_sizingLine = new QWidget(viewport());
    m_sizingLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_sizingLine->setAutoFillBackground(true);
    m_sizingLine->setBackgroundRole(QPalette::WindowText);
    m_sizingLine->hide();
    m_titleTip = new CTitleTip(viewport());

    const QPalette pal = palette();
    m_settings.textColour = m_settings.fixedTextColour = pal.color(QPalette::Text);
    m_settings.bkColour = m_settings.outerColour = pal.color(QPalette::Base);
    m_settings.fixedBkColour = pal.color(QPalette::Button);
    m_sysText = m_settings.textColour;
    m_sysWindow = m_settings.bkColour;
    m_sysButton = m_settings.fixedBkColour;
    ApplyFont(font());

    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        const Qt::Orientation o = bar->orientation();
        connect(bar, &QAbstractSlider::actionTriggered, this, [this, o](int action) { OnScrollAction(o, action); });
    }

    OnCommand(ID_EDIT_COPY, [this] { OnEditCopy(); });
    OnCommand(ID_EDIT_CUT, [this] { OnEditCut(); });
    OnCommand(ID_EDIT_PASTE, [this] { OnEditPaste(); });
    OnCommand(ID_EDIT_SELECT_ALL, [this] { SelectAllCells(); });
    OnUpdateCommand(ID_EDIT_COPY, [this](CCmdUI& ui) { ui.Enable(isVisible() && IsValidRange(GetSelectionBounds())); });
    OnUpdateCommand(ID_EDIT_CUT, [this](CCmdUI& ui) {
        ui.Enable(isVisible() && IsValidRange(GetSelectionBounds()) && IsEditable());
    });
    OnUpdateCommand(ID_EDIT_PASTE, [this](CCmdUI& ui) {
        const CCellID focus = GetFocusCell();
        const QMimeData* data = QApplication::clipboard()->mimeData();
        ui.Enable(isVisible() && IsValidCell(focus.row, focus.col) && IsEditable()
                  && !(GetItemState(focus.row, focus.col) & GVIS_READONLY) && data && data->hasText());
    });
    OnUpdateCommand(ID_EDIT_SELECT_ALL, [this](CCmdUI& ui) { ui.Enable(m_settings.selectionEnabled); });

    m_model.SetRowCount(rows);
    m_model.SetColumnCount(cols);
    m_model.SetFixedRowCount(fixedRows);
    m_model.SetFixedColumnCount(fixedCols);
    UpdateScrollBars();
}

CGridView::~CGridView()
{
    delete m_editor;
}

void CGridView::SetDlgCtrlID(int id)
{
    m_id = id;
    setObjectName(QStringLiteral("id%1").arg(id));
}

bool CGridView::CreateGrid(const QRect& rect, QWidget* parent, int id)
{
    if (parent != parentWidget())
        setParent(parent);
    setGeometry(rect);
    SetDlgCtrlID(id);
    for (int r = 0; r < GetRowCount(); ++r)
        m_model.SetRowHeight(r, m_model.GetDefaultRowHeight());
    for (int c = 0; c < GetColumnCount(); ++c)
        m_model.SetColumnWidth(c, m_model.GetDefaultColumnWidth());
    UpdateScrollBars();
    show();
    return true;
}

void CGridView::SetImageList(const QList<QPixmap>& images)
{
    m_images = images;
    m_model.SetImageSize(images.isEmpty() ? QSize() : images.front().size());
}

void CGridView::SetOptions(const QStringList& texts, const QList<quint32>& data)
{
    m_optionTexts = texts;
    m_optionData = data;
}

QString CGridView::GetItemText(int row, int col) const
{
    return m_model.GetItemText(row, col);
}

std::unique_ptr<CGridCell> CGridView::NewCell(int row, int col)
{
    return m_modelOwner->BaseNewCell(row, col);
}

void CGridView::ClearCell(int row, int col)
{
    m_modelOwner->BaseClearCell(row, col);
}

// ---- fonts and colours

void CGridView::ApplyFont(const QFont& font)
{
    m_model.SetDefaultFont(font, true);
    const QFontMetrics fm(font);
    const int margin = fm.horizontalAdvance(QLatin1Char(' '));
    m_model.SetDefaultSizes(fm.height() + fm.leading() + 2 * margin, 2 * (margin + 6 * fm.averageCharWidth()), margin);
    viewport()->update();
}

void CGridView::UpdateSystemColours()
{
    const QPalette pal = palette();
    const QColor text = pal.color(QPalette::Text);
    const QColor window = pal.color(QPalette::Base);
    const QColor button = pal.color(QPalette::Button);
    // A colour the user chose stays; one that followed the palette follows it on.
    const auto follow = [](QColor& colour, const QColor& was, const QColor& now) {
        if (colour == was)
            colour = now;
    };
    follow(m_settings.textColour, m_sysText, text);
    follow(m_settings.fixedTextColour, m_sysText, text);
    follow(m_settings.bkColour, m_sysWindow, window);
    follow(m_settings.outerColour, m_sysWindow, window);
    follow(m_settings.fixedBkColour, m_sysButton, button);
    m_sysText = text;
    m_sysWindow = window;
    m_sysButton = button;
    viewport()->update();
}

void CGridView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
        UpdateSystemColours();
        break;
    case QEvent::FontChange:
        ApplyFont(font());
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            m_titleTip->Hide();
        break;
    default:
        break;
    }
}

// ---- shape and sizes

void CGridView::Refresh()
{
    if (!m_settings.allowDraw)
        return;
    UpdateScrollBars();
    viewport()->update();
}

bool CGridView::SetRowCount(int n)
{
    if (n >= 0 && n <= GetFocusCell().row)
        SetFocusCell(-1, -1);
    const int old = GetRowCount();
    m_model.SetRowCount(n);
    if (n != old)
        Refresh();
    return true;
}

bool CGridView::SetColumnCount(int n)
{
    if (n >= 0 && n <= GetFocusCell().col)
        SetFocusCell(-1, -1);
    const int old = GetColumnCount();
    m_model.SetColumnCount(n);
    if (n != old)
        Refresh();
    return true;
}

bool CGridView::SetFixedRowCount(int n)
{
    if (n > GetRowCount())
        SetRowCount(n);
    if (GetFocusCell().row >= 0 && GetFocusCell().row < n)
        SetFocusCell(-1, -1);
    m_model.SetFixedRowCount(n);
    Refresh();
    return true;
}

bool CGridView::SetFixedColumnCount(int n)
{
    if (n > GetColumnCount())
        SetColumnCount(n);
    if (GetFocusCell().col >= 0 && GetFocusCell().col < n)
        SetFocusCell(-1, -1);
    m_model.SetFixedColumnCount(n);
    Refresh();
    return true;
}

int CGridView::InsertRow(const QString& heading, int index)
{
    if (index < -1 || index >= GetRowCount())
        return -1;
    SetSelectedRange(-1, -1, -1, -1);
    SetFocusCell(-1, -1);
    const int row = m_model.InsertRow(heading, index);
    if (row >= 0)
        m_model.SetRowHeight(row, MeasureText(heading, true).height());
    Refresh();
    return row;
}

bool CGridView::DeleteAllItems()
{
    EndOpenEdit();
    SetSelectedRange(-1, -1, -1, -1);
    SetFocusCell(-1, -1);
    m_model.DeleteAllItems();
    Refresh();
    return true;
}

QSize CGridView::MeasureCell(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    if (!cell)
        return {};
    QFont font = cell->font;
    if (row < GetFixedRowCount() || col < GetFixedColumnCount())
        font.setWeight(QFont::DemiBold);
    const QSize text = QFontMetrics(font).size(0, cell->text);
    const int margin = m_model.GetMargin();
    const QSize image = cell->image >= 0 ? m_model.GetImageSize() : QSize(0, 0);
    return {text.width() + 4 * margin + std::max(0, image.width()),
            std::max(text.height() + 2 * margin, image.height())};
}

QSize CGridView::MeasureText(const QString& text, bool header) const
{
    QFont font = m_model.GetDefaultFont();
    if (header)
        font.setWeight(QFont::DemiBold);
    const int margin = m_model.GetMargin();
    return QFontMetrics(font).size(0, text) + QSize(2 * margin, 2 * margin);
}

bool CGridView::FitColumnWidth(int col)
{
    if (col < 0 || col >= GetColumnCount())
        return false;
    int width = 0;
    for (int r = 0; r < GetRowCount(); ++r)
        width = std::max(width, MeasureCell(r, col).width());
    SetColumnWidth(col, width);
    UpdateScrollBars();
    return true;
}

int CGridView::ColumnContentWidth(int col, int firstRow, int lastRow) const
{
    // What the cell's text needs between its margins and grid lines, in the weight a header cell
    // takes in the focus cell's row and column.
    const int margin = m_model.GetMargin();
    int width = 0;
    for (int r = std::max(0, firstRow); r <= lastRow && r < GetRowCount(); ++r) {
        const CGridCell* cell = GetCell(r, col);
        if (!cell || cell->colSpan != 1 || cell->rowSpan <= 0)
            continue;
        QFont font = cell->font;
        if (r < GetFixedRowCount() || col < GetFixedColumnCount())
            font.setWeight(QFont::DemiBold);
        const int image = cell->image >= 0 ? m_model.GetImageSize().width() + margin : 0;
        width = std::max(width, QFontMetrics(font).size(0, cell->text).width() + 2 * margin + 2 + image);
    }
    return width;
}

bool CGridView::FitRowHeight(int row)
{
    if (row < 0 || row >= GetRowCount())
        return false;
    int height = 0;
    for (int c = 0; c < GetColumnCount(); ++c)
        height = std::max(height, MeasureCell(row, c).height());
    SetRowHeight(row, height);
    UpdateScrollBars();
    return true;
}

void CGridView::FitAllSizes()
{
    std::vector<int> widths(size_t(GetColumnCount()), 0);
    for (int r = 0; r < GetRowCount(); ++r) {
        int height = 0;
        for (int c = 0; c < GetColumnCount(); ++c) {
            const QSize size = MeasureCell(r, c);
            height = std::max(height, size.height());
            widths[size_t(c)] = std::max(widths[size_t(c)], size.width());
        }
        SetRowHeight(r, height);
    }
    for (int c = 0; c < GetColumnCount(); ++c)
        SetColumnWidth(c, widths[size_t(c)]);
    Refresh();
}

// ---- notifications

IGridListener* CGridView::Listener() const
{
    return m_owner ? m_owner : dynamic_cast<IGridListener*>(parentWidget());
}

qintptr CGridView::NotifyParent(int code, int row, int col)
{
    IGridListener* listener = Listener();
    if (!listener)
        return 0;
    return listener->OnGridNotify(GridNotify{this, m_id, code, row, col});
}

void CGridView::PostCommand()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (IGridListener* listener = Listener())
                listener->OnGridCommand(this, m_id);
        },
        Qt::QueuedConnection);
}

// ---- scrolling

void CGridView::UpdateScrollBars()
{
    if (!m_settings.allowDraw)
        return;
    m_model.SetClientSize(viewport()->size());
    m_syncingBars = true;
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        const Qt::Orientation o = bar->orientation();
        bar->setRange(0, m_model.GetScrollMax(o));
        bar->setPageStep(std::max(1, m_model.GetScrollPage(o)));
        bar->setValue(m_model.GetScrollPos(o));
    }
    m_syncingBars = false;
}

void CGridView::SetScrollPosition(Qt::Orientation bar, int pos, bool redraw)
{
    (bar == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar())->setValue(pos);
    if (redraw)
        viewport()->update();
}

void CGridView::SetScrollPositions(QPoint pos)
{
    horizontalScrollBar()->setValue(pos.x());
    verticalScrollBar()->setValue(pos.y());
}

void CGridView::OnScrollAction(Qt::Orientation bar, int action)
{
    QScrollBar* sb = bar == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
    // A line is the row or column at the top left, not a fixed number of pixels.
    if (action == QAbstractSlider::SliderSingleStepAdd)
        sb->setSliderPosition(m_model.LineStep(bar, sb->value(), 1));
    else if (action == QAbstractSlider::SliderSingleStepSub)
        sb->setSliderPosition(m_model.LineStep(bar, sb->value(), -1));
}

void CGridView::scrollContentsBy(int, int)
{
    const CCellID before = GetTopleftNonFixedCell();
    m_model.SetScrollPos(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (m_syncingBars)
        return;
    m_titleTip->Hide();
    if (!hasFocus())
        setFocus(Qt::OtherFocusReason); // ends an in-place edit
    if (GetTopleftNonFixedCell() != before)
        viewport()->update();
}

void CGridView::ScrollToCell(int row, int col)
{
    if (!IsValidCell(row, col))
        return;
    SetScrollPositions(m_model.ScrollPositionsFor(row, col));
}

void CGridView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_inResize)
        return;
    m_inResize = true;
    EndOpenEdit();
    UpdateScrollBars();
    m_inResize = false;
}

bool CGridView::InvalidateCellRect(int row, int col)
{
    QRect rect;
    if (!m_settings.allowDraw || !IsCellVisible(row, col) || !GetCellBounds(row, col, rect))
        return false;
    viewport()->update(rect.adjusted(0, 0, 1, 1));
    return true;
}

bool CGridView::RedrawCell(int row, int col)
{
    return InvalidateCellRect(row, col);
}

bool CGridView::RedrawRow(int row)
{
    QPoint pos;
    if (!m_settings.allowDraw || !GetCellPosition(row, 0, pos))
        return false;
    viewport()->update(QRect(0, pos.y(), viewport()->width(), GetRowHeight(row) + 1));
    return true;
}

void CGridView::InvalidateHeaders()
{
    if (!m_settings.allowDraw)
        return;
    viewport()->update(QRect(0, 0, viewport()->width(), GetFixedRowHeight() + 1));
    viewport()->update(QRect(0, 0, GetFixedColumnWidth() + 1, viewport()->height()));
}

void CGridView::InvalidateCells(const std::vector<CCellID>& cells)
{
    if (!m_settings.allowDraw || cells.empty())
        return;
    if (cells.size() > 64) {
        viewport()->update();
        return;
    }
    for (const CCellID& id : cells) {
        const CCellID anchor = m_model.GetAnchor(id.row, id.col);
        InvalidateCellRect(anchor.row, anchor.col);
    }
}

// ---- focus and selection

CCellID CGridView::SetFocusCell(int row, int col)
{
    const CCellID prev = m_model.SetFocusCell({row, col});
    const CCellID now = GetFocusCell();
    if (now == prev)
        return prev;
    if (prev.IsValid()) {
        NotifyParent(LVN_ITEMCHANGING, prev.row, prev.col);
        InvalidateCellRect(prev.row, prev.col);
    }
    InvalidateHeaders();
    if (now.IsValid()) {
        InvalidateCellRect(now.row, now.col);
        NotifyParent(LVN_ITEMCHANGED, now.row, now.col);
    }
    return prev;
}

void CGridView::SetSelectedRange(int minRow, int minCol, int maxRow, int maxCol, bool forceRepaint)
{
    if (!m_settings.selectionEnabled)
        return;
    InvalidateCells(m_model.SetSelectedRange({minRow, minCol, maxRow, maxCol}, !m_settings.singleRowSelection));
    if (forceRepaint)
        viewport()->repaint();
}

void CGridView::SelectAllCells()
{
    if (!m_settings.selectionEnabled)
        return;
    SetSelectedRange(GetFixedRowCount(), GetFixedColumnCount(), GetRowCount() - 1, GetColumnCount() - 1);
}

void CGridView::SelectColumnRange(CCellID cell)
{
    if (!m_settings.selectionEnabled || cell.col < GetFixedColumnCount() || !IsValidCell(cell.row, cell.col))
        return;
    const int start = m_selectionStart.col;
    SetSelectedRange(GetFixedRowCount(), std::min(start, cell.col), GetRowCount() - 1, std::max(start, cell.col));
}

void CGridView::SelectRowRange(CCellID cell)
{
    if (!m_settings.selectionEnabled || cell.row < GetFixedRowCount() || !IsValidCell(cell.row, cell.col))
        return;
    if (m_settings.listMode && m_settings.singleRowSelection) {
        SetSelectedRange(cell.row, GetFixedColumnCount(), cell.row, GetColumnCount() - 1);
        return;
    }
    const int start = m_selectionStart.row;
    SetSelectedRange(std::min(start, cell.row), GetFixedColumnCount(), std::max(start, cell.row), GetColumnCount() - 1);
}

void CGridView::SelectCellRange(CCellID cell)
{
    if (!m_settings.selectionEnabled || !IsValidCell(cell.row, cell.col) || cell.row < GetFixedRowCount()
        || cell.col < GetFixedColumnCount() || !IsValidCell(m_selectionStart.row, m_selectionStart.col))
        return;
    SetSelectedRange(std::min(m_selectionStart.row, cell.row), std::min(m_selectionStart.col, cell.col),
                     std::max(m_selectionStart.row, cell.row), std::max(m_selectionStart.col, cell.col));
}

void CGridView::ExtendSelection(CCellID cell)
{
    switch (m_mouseMode) {
    case GridMouseMode::SelectAll:
        SelectAllCells();
        break;
    case GridMouseMode::SelectColumns:
        SelectColumnRange(cell);
        break;
    case GridMouseMode::SelectRows:
        SelectRowRange(cell);
        break;
    case GridMouseMode::SelectCells:
        SelectCellRange(cell);
        break;
    default:
        break;
    }
}

void CGridView::OnRowHeaderClick(CCellID cell)
{
    if (cell.row < GetFixedRowCount()) {
        m_mouseMode = GridMouseMode::SelectAll;
        SelectAllCells();
        return;
    }
    m_mouseMode = GridMouseMode::SelectRows;
    ExtendSelection(cell);
}

void CGridView::OnFixedColumnClick(CCellID cell)
{
    if (m_settings.listMode) {
        if (!m_settings.sortOnHeaderClick)
            return;
        CWaitCursor wait;
        if (cell.col != m_sortColumn) {
            m_sortAscending = true;
            m_sortColumn = cell.col;
        } else {
            m_sortAscending = !m_sortAscending;
        }
        SortRowsByColumn(cell.col, m_sortAscending);
        viewport()->update();
        return;
    }
    if (cell.col < GetFixedColumnCount()) {
        m_mouseMode = GridMouseMode::SelectAll;
        SelectAllCells();
        return;
    }
    m_mouseMode = GridMouseMode::SelectColumns;
    ExtendSelection(cell);
}

bool CGridView::SortRowsByColumn(int col, bool ascending)
{
    if (col < 0 || col >= GetColumnCount())
        return false;
    SetSelectedRange(-1, -1, -1, -1);
    SetFocusCell(-1, -1);
    m_model.SortRowsByColumn(col, ascending);
    viewport()->update();
    return true;
}

// ---- clipboard

QMimeData* CGridView::CopySelectionToDataSource() const
{
    const QString text = m_model.CopySelectionText();
    if (text.isNull())
        return nullptr;
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

void CGridView::OnEditCopy()
{
    if (QMimeData* data = CopySelectionToDataSource())
        QApplication::clipboard()->setMimeData(data);
}

void CGridView::OnEditCut()
{
    if (!IsEditable())
        return;
    QMimeData* data = CopySelectionToDataSource();
    if (!data)
        return;
    QApplication::clipboard()->setMimeData(data);
    CutSelectedCells();
}

void CGridView::CutSelectedCells()
{
    if (!IsEditable())
        return;
    const CCellRange bounds = GetSelectionBounds();
    if (!IsValidRange(bounds))
        return;
    const CCellID focus = GetFocusCell();
    for (int r = bounds.minRow; r <= bounds.maxRow; ++r)
        for (int c = bounds.minCol; c <= bounds.maxCol; ++c) {
            CGridCell* cell = GetCell(r, c);
            if (!cell || !(cell->state & GVIS_SELECTED) || (cell->state & GVIS_READONLY))
                continue;
            cell->data1 = 0; // an earlier Escape must not read as a cancelled change
            NotifyParent(LVN_BEGINLABELEDITA, r, c);
            ClearCell(r, c);
            if (CCellID(r, c) == focus)
                cell->state |= GVIS_FOCUSED; // the focus cell keeps its frame
            SetCellModified(true, r, c);
            NotifyParent(LVN_ENDLABELEDITA, r, c);
        }
    viewport()->update();
}

bool CGridView::OnEditPaste()
{
    if (!IsEditable())
        return false;
    CCellID target = GetFocusCell();
    if (!target.IsValid())
        target = GetTopleftNonFixedCell();
    if (!IsValidCell(target.row, target.col))
        return false;
    return PasteText(target.row, target.col, QApplication::clipboard()->mimeData());
}

bool CGridView::PasteText(int row, int col, const QMimeData* data)
{
    if (!IsValidCell(row, col) || !IsEditable() || (GetItemState(row, col) & GVIS_READONLY) || !data
        || !data->hasText())
        return false;
    const auto lines = CGridModel::SplitPasteText(data->text());
    for (size_t line = 0; line < lines.size(); ++line) {
        const int r = row + int(line);
        if (r >= GetRowCount())
            break;
        for (size_t field = 0; field < lines[line].size(); ++field) {
            const int c = col + int(field);
            CGridCell* cell = GetCell(r, c);
            if (!cell)
                break;
            // Fields stay in their columns: an empty field, a read-only or a covered cell is skipped.
            if (!lines[line][field] || (cell->state & GVIS_READONLY) || cell->rowSpan == 0 || cell->colSpan == 0)
                continue;
            cell->data1 = 0;
            NotifyParent(LVN_BEGINLABELEDITA, r, c);
            SetItemText(r, c, *lines[line][field]);
            SetCellModified(true, r, c);
            NotifyParent(LVN_ENDLABELEDITA, r, c);
            SetItemState(r, c, GetItemState(r, c) & ~unsigned(GVIS_SELECTED));
        }
    }
    viewport()->update();
    return true;
}
