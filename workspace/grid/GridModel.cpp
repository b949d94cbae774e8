#include "GridModel.h"

#include "Codepage.h"

#include <algorithm>
#include <string>

// One direction of the table: rows with their heights or columns with their widths.
struct CGridModel::Axis {
    const std::vector<int>& sizes;
    int fixed;
    int pos;
    int client;

    int Count() const { return int(sizes.size()); }
    int Sum(int from, int to) const
    {
        int sum = 0;
        for (int i = std::max(from, 0); i < to && i < Count(); ++i)
            sum += sizes[size_t(i)];
        return sum;
    }
    int FixedExtent() const { return Sum(0, fixed); }

    // The first non-fixed index whose start is not before the position, at most the last one.
    int TopLeft(int position) const
    {
        int i = fixed;
        for (int sum = 0; sum < position && i < Count() - 1; ++i)
            sum += sizes[size_t(i)];
        return i;
    }

    // Client coordinate of an index's leading edge; negative offsets for a scrolled-out index.
    int Start(int index, int topLeft) const
    {
        if (index < fixed)
            return Sum(0, index);
        const int base = FixedExtent();
        return index >= topLeft ? base + Sum(topLeft, index) : base - Sum(index, topLeft);
    }

    // The last index at least partly visible and the far edge of the visible ones, capped at the client.
    void Visible(int topLeft, int& last, int& edge) const
    {
        edge = FixedExtent();
        int i = topLeft;
        for (; i < Count(); ++i) {
            edge += sizes[size_t(i)];
            if (edge >= client) {
                edge = client;
                break;
            }
        }
        last = std::min(i, Count() - 1);
    }

    int Hit(int coord, int topLeft, bool fixedAllowed) const
    {
        if (coord < 0)
            return -1;
        const int fixedExtent = FixedExtent();
        int first = topLeft;
        int edge = fixedExtent;
        if (coord < fixedExtent) {
            if (!fixedAllowed)
                return -1;
            first = 0;
            edge = 0;
        }
        for (int i = first; i < Count(); ++i) {
            edge += sizes[size_t(i)];
            if (edge > coord)
                return i;
        }
        return -1;
    }
};

CGridModel::Axis CGridModel::RowAxis() const
{
    return {m_rowHeights, m_fixedRows, m_scrollY, m_client.height()};
}

CGridModel::Axis CGridModel::ColAxis() const
{
    return {m_colWidths, m_fixedCols, m_scrollX, m_client.width()};
}

CGridModel::CGridModel() = default;

CGridModel::~CGridModel() = default;

// ---- shape

void CGridModel::SetRowCount(int n)
{
    const int old = GetRowCount();
    if (n < 0 || n == old)
        return;
    m_fixedRows = std::min(m_fixedRows, n);
    if (n <= m_focus.row)
        SetFocusCell({-1, -1});
    for (int r = n; r < old; ++r)
        for (int c = 0; c < m_cols; ++c)
            ClearCell(r, c);
    m_rows.resize(size_t(n));
    m_rowHeights.resize(size_t(n), m_defRowHeight);
    for (int r = old; r < n; ++r) {
        Row& row = m_rows[size_t(r)];
        row.reserve(size_t(m_cols));
        for (int c = 0; c < m_cols; ++c)
            row.push_back(NewCell(r, c));
    }
}

void CGridModel::SetColumnCount(int n)
{
    const int old = m_cols;
    if (n < 0 || n == old)
        return;
    m_fixedCols = std::min(m_fixedCols, n);
    if (n <= m_focus.col)
        SetFocusCell({-1, -1});
    for (int r = 0; r < GetRowCount(); ++r)
        for (int c = n; c < old; ++c)
            ClearCell(r, c);
    m_cols = n;
    m_colWidths.resize(size_t(n), m_defColWidth);
    for (int r = 0; r < GetRowCount(); ++r) {
        Row& row = m_rows[size_t(r)];
        row.resize(size_t(std::min(n, old)));
        row.reserve(size_t(n));
        for (int c = old; c < n; ++c)
            row.push_back(NewCell(r, c));
    }
}

void CGridModel::SetFixedRowCount(int n)
{
    if (n < 0)
        return;
    if (n > GetRowCount())
        SetRowCount(n);
    if (m_focus.row >= 0 && m_focus.row < n)
        SetFocusCell({-1, -1});
    m_fixedRows = n;
}

void CGridModel::SetFixedColumnCount(int n)
{
    if (n < 0)
        return;
    if (n > m_cols)
        SetColumnCount(n);
    if (m_focus.col >= 0 && m_focus.col < n)
        SetFocusCell({-1, -1});
    m_fixedCols = n;
}

int CGridModel::InsertRow(const QString& heading, int index)
{
    if (index < -1 || index >= GetRowCount())
        return -1;
    SetSelectedRange({}, false);
    m_retained.clear();
    SetFocusCell({-1, -1});
    if (m_cols == 0)
        SetColumnCount(1);
    if (index == -1)
        index = GetRowCount();
    m_rows.insert(m_rows.begin() + index, Row());
    m_rowHeights.insert(m_rowHeights.begin() + index, m_defRowHeight);
    Row& row = m_rows[size_t(index)];
    row.reserve(size_t(m_cols));
    for (int c = 0; c < m_cols; ++c)
        row.push_back(NewCell(index, c));
    row[0]->text = heading;
    return index;
}

void CGridModel::DeleteAllItems()
{
    SetSelectedRange({}, false);
    m_retained.clear();
    SetFocusCell({-1, -1});
    m_rowHeights.clear();
    m_colWidths.clear();
    for (int r = 0; r < GetRowCount(); ++r)
        for (int c = 0; c < m_cols; ++c)
            ClearCell(r, c);
    m_rows.clear();
    m_cols = m_fixedRows = m_fixedCols = 0;
    UpdateScrollMaxima();
}

std::unique_ptr<CGridCell> CGridModel::NewCell(int row, int col)
{
    auto cell = std::make_unique<CGridCell>(m_defaultFont);
    if (const CGridCell* above = row > 0 ? GetCell(row - 1, col) : nullptr)
        cell->format = above->format;
    return cell;
}

void CGridModel::ClearCell(int row, int col)
{
    SetItemState(row, col, 0);
    if (CGridCell* cell = GetCell(row, col))
        cell->text.clear();
}

// ---- cells

CGridCell* CGridModel::GetCell(int row, int col) const
{
    if (!IsValidCell(row, col))
        return nullptr;
    const Row& cells = m_rows[size_t(row)];
    return size_t(col) < cells.size() ? cells[size_t(col)].get() : nullptr;
}

bool CGridModel::IsValidRange(const CCellRange& r) const
{
    return r.IsValid() && r.maxRow < GetRowCount() && r.maxCol < m_cols;
}

bool CGridModel::SetItemText(int row, int col, const QString& text)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->text = text;
    return true;
}

QString CGridModel::GetItemText(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->text : QString();
}

unsigned CGridModel::GetItemState(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->state : 0;
}

void CGridModel::Select(int row, int col, CGridCell& cell)
{
    cell.state |= GVIS_SELECTED;
    m_selection.emplace(Key(row, col), CCellID(row, col));
}

bool CGridModel::SetItemState(int row, int col, unsigned state)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    const bool was = cell->state & GVIS_SELECTED;
    const bool now = state & GVIS_SELECTED;
    if (was && !now)
        m_selection.erase(Key(row, col));
    else if (!was && now)
        m_selection.emplace(Key(row, col), CCellID(row, col));
    cell->state = state;
    return true;
}

unsigned CGridModel::GetItemFormat(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->format : 0;
}

bool CGridModel::SetItemFormat(int row, int col, unsigned format)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->format = format;
    return true;
}

int CGridModel::GetItemImage(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->image : -1;
}

bool CGridModel::SetItemImage(int row, int col, int image)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->image = image;
    return true;
}

bool CGridModel::SetItemBkColour(int row, int col, const QColor& colour)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->bkColour = colour;
    return true;
}

bool CGridModel::SetItemFgColour(int row, int col, const QColor& colour)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->fgColour = colour;
    return true;
}

QFont CGridModel::GetItemFont(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->font : m_defaultFont;
}

bool CGridModel::SetItemData(int row, int col, quint32 data1, quint32 data2)
{
    CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->data1 = data1;
    cell->data2 = data2;
    return true;
}

quint32 CGridModel::GetItemData(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? cell->data1 : 0;
}

void CGridModel::GetItemDataPair(int row, int col, quint32& data1, quint32& data2) const
{
    const CGridCell* cell = GetCell(row, col);
    data1 = cell ? cell->data1 : 0;
    data2 = cell ? cell->data2 : 0;
}

bool CGridModel::GetItem(GridItem& item) const
{
    const CGridCell* cell = GetCell(item.row, item.col);
    if (!cell)
        return false;
    if (item.mask & GVIF_TEXT)
        item.text = cell->text;
    if (item.mask & GVIF_IMAGE)
        item.image = cell->image;
    if (item.mask & GVIF_PARAM)
        item.data1 = cell->data1;
    if (item.mask & GVIF_STATE)
        item.state = cell->state;
    if (item.mask & GVIF_FORMAT)
        item.format = cell->format;
    if (item.mask & GVIF_BKCLR)
        item.bkColour = cell->bkColour;
    if (item.mask & GVIF_FGCLR)
        item.fgColour = cell->fgColour;
    if (item.mask & GVIF_FONT)
        item.font = cell->font;
    return true;
}

int CGridModel::ColSpanOf(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? std::clamp(cell->colSpan, 0, m_cols - col) : 0;
}

int CGridModel::RowSpanOf(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    return cell ? std::clamp(cell->rowSpan, 0, GetRowCount() - row) : 0;
}

void CGridModel::ApplySpan(int row, int col, int rowSpan, int colSpan)
{
    CGridCell* anchor = GetCell(row, col);
    // The cells of the old block are free again.
    const int oldRows = std::max(1, RowSpanOf(row, col));
    const int oldCols = std::max(1, ColSpanOf(row, col));
    for (int r = row; r < row + oldRows; ++r)
        for (int c = col; c < col + oldCols; ++c)
            if (CGridCell* cell = GetCell(r, c); cell && cell != anchor)
                cell->rowSpan = cell->colSpan = 1;
    anchor->rowSpan = rowSpan;
    anchor->colSpan = colSpan;
    // Row 0 of the block is covered from the left, column 0 from above, the inner cells both ways.
    const int rows = RowSpanOf(row, col);
    const int cols = ColSpanOf(row, col);
    for (int r = row; r < row + rows; ++r)
        for (int c = col; c < col + cols; ++c)
            if (CGridCell* cell = GetCell(r, c); cell && cell != anchor) {
                cell->rowSpan = r > row ? 0 : 1;
                cell->colSpan = c > col ? 0 : 1;
            }
}

bool CGridModel::SetItemColSpan(int row, int col, int span)
{
    const CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    ApplySpan(row, col, cell->rowSpan, span);
    return true;
}

bool CGridModel::SetItemRowSpan(int row, int col, int span)
{
    const CGridCell* cell = GetCell(row, col);
    if (!cell)
        return false;
    ApplySpan(row, col, span, cell->colSpan);
    return true;
}

CCellID CGridModel::GetAnchor(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    while (cell && cell->rowSpan == 0 && row > 0)
        cell = GetCell(--row, col);
    while (cell && cell->colSpan == 0 && col > 0)
        cell = GetCell(row, --col);
    return {row, col};
}

bool CGridModel::IsCellEditable(int row, int col) const
{
    return m_editable && IsValidCell(row, col) && !(GetItemState(row, col) & GVIS_READONLY);
}

void CGridModel::ClearAllModified()
{
    for (Row& row : m_rows)
        for (auto& cell : row)
            cell->state &= ~unsigned(GVIS_MODIFIED);
}

void CGridModel::SetCellModified(bool modified, int row, int col)
{
    if (row < 1 || col < 1) {
        m_modified = modified;
    } else if (CGridCell* cell = GetCell(row, col)) {
        if (modified) {
            cell->state |= GVIS_MODIFIED;
            m_modified = true;
        } else {
            cell->state &= ~unsigned(GVIS_MODIFIED);
        }
    }
    if (!m_modified)
        ClearAllModified();
}

// ---- sizes

int CGridModel::GetRowHeight(int row) const
{
    return row >= 0 && row < GetRowCount() ? m_rowHeights[size_t(row)] : -1;
}

int CGridModel::GetColumnWidth(int col) const
{
    return col >= 0 && col < m_cols ? m_colWidths[size_t(col)] : -1;
}

bool CGridModel::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= GetRowCount() || height < 0)
        return false;
    m_rowHeights[size_t(row)] = height;
    return true;
}

bool CGridModel::SetColumnWidth(int col, int width)
{
    if (col < 0 || col >= m_cols || width < 0)
        return false;
    m_colWidths[size_t(col)] = width;
    return true;
}

int CGridModel::GetFixedRowHeight() const
{
    return RowAxis().FixedExtent();
}

int CGridModel::GetFixedColumnWidth() const
{
    return ColAxis().FixedExtent();
}

int CGridModel::GetVirtualHeight() const
{
    return RowAxis().Sum(0, GetRowCount());
}

int CGridModel::GetVirtualWidth() const
{
    return ColAxis().Sum(0, m_cols);
}

void CGridModel::SetDefaultSizes(int rowHeight, int colWidth, int margin)
{
    m_defRowHeight = rowHeight;
    m_defColWidth = colWidth;
    m_margin = margin;
}

void CGridModel::SetDefaultFont(const QFont& font, bool applyToCells)
{
    m_defaultFont = font;
    if (applyToCells)
        for (Row& row : m_rows)
            for (auto& cell : row)
                cell->font = font;
}

// ---- focus and selection

CCellID CGridModel::SetFocusCell(CCellID cell)
{
    if (!IsValidCell(cell.row, cell.col))
        cell = {-1, -1};
    const CCellID prev = m_focus;
    if (cell == prev)
        return prev;
    m_focus = cell;
    if (CGridCell* old = GetCell(prev.row, prev.col))
        old->state &= ~unsigned(GVIS_FOCUSED);
    if (CGridCell* now = GetCell(cell.row, cell.col))
        now->state |= GVIS_FOCUSED;
    return prev;
}

std::vector<CCellID> CGridModel::SetSelectedRange(const CCellRange& range, bool withRetained)
{
    std::vector<CCellID> changed;
    const CCellRange target = IsValidRange(range) ? range : CCellRange();
    const auto old = std::move(m_selection);
    m_selection.clear();
    for (const auto& [key, id] : old) {
        if (CGridCell* cell = GetCell(id.row, id.col))
            cell->state &= ~unsigned(GVIS_SELECTED);
        if (!target.InRange(id.row, id.col))
            changed.push_back(id);
    }
    if (withRetained)
        for (const auto& [key, id] : m_retained)
            if (CGridCell* cell = GetCell(id.row, id.col)) {
                Select(id.row, id.col, *cell);
                changed.push_back(id);
            }
    if (target.IsValid())
        for (int r = target.minRow; r <= target.maxRow; ++r)
            for (int c = target.minCol; c <= target.maxCol; ++c) {
                CGridCell* cell = GetCell(r, c);
                if (!cell || (cell->state & GVIS_SELECTED))
                    continue;
                Select(r, c, *cell);
                if (!old.count(Key(r, c)))
                    changed.emplace_back(r, c);
            }
    return changed;
}

CCellRange CGridModel::GetSelectionBounds() const
{
    if (m_selection.empty())
        return {GetRowCount(), m_cols, -1, -1};
    CCellRange r{GetRowCount(), m_cols, -1, -1};
    for (const auto& [key, id] : m_selection) {
        r.minRow = std::min(r.minRow, id.row);
        r.minCol = std::min(r.minCol, id.col);
        r.maxRow = std::max(r.maxRow, id.row);
        r.maxCol = std::max(r.maxCol, id.col);
    }
    return r;
}

QString CGridModel::CopySelectionText() const
{
    const CCellRange bounds = GetSelectionBounds();
    if (!IsValidRange(bounds))
        return {};
    QString text(0, QChar()); // not null: an empty selection text still is a text
    for (int r = bounds.minRow; r <= bounds.maxRow; ++r) {
        for (int c = bounds.minCol; c <= bounds.maxCol; ++c) {
            if (const CGridCell* cell = GetCell(r, c); cell && (cell->state & GVIS_SELECTED))
                text += cell->text.isEmpty() ? QStringLiteral(" ") : cell->text;
            if (c < bounds.maxCol)
                text += QLatin1Char('\t');
        }
        if (r < bounds.maxRow)
            text += QLatin1Char('\n');
    }
    return text;
}

std::vector<std::vector<std::optional<QString>>> CGridModel::SplitPasteText(const QString& text)
{
    std::vector<std::vector<std::optional<QString>>> rows;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast(); // the line feed that ends the last line
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            line = QStringLiteral(" ");
        std::vector<std::optional<QString>> fields;
        for (const QString& field : line.split(QLatin1Char('\t'))) {
            if (field.isEmpty())
                fields.emplace_back();
            else
                fields.emplace_back(field.trimmed());
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

// ---- geometry

void CGridModel::SetClientSize(QSize size)
{
    m_client = size;
    UpdateScrollMaxima();
}

void CGridModel::SetScrollPos(int horz, int vert)
{
    m_scrollX = std::clamp(horz, 0, m_maxX);
    m_scrollY = std::clamp(vert, 0, m_maxY);
}

int CGridModel::GetScrollPage(Qt::Orientation bar) const
{
    const Axis a = bar == Qt::Vertical ? RowAxis() : ColAxis();
    return std::max(0, a.client - a.FixedExtent());
}

void CGridModel::UpdateScrollMaxima()
{
    for (const Qt::Orientation bar : {Qt::Vertical, Qt::Horizontal}) {
        const Axis a = bar == Qt::Vertical ? RowAxis() : ColAxis();
        const int scrollable = a.Sum(a.fixed, a.Count());
        const int max = std::max(0, scrollable - GetScrollPage(bar));
        (bar == Qt::Vertical ? m_maxY : m_maxX) = max;
    }
    SetScrollPos(m_scrollX, m_scrollY);
}

CCellID CGridModel::GetTopleftNonFixedCell() const
{
    return {RowAxis().TopLeft(m_scrollY), ColAxis().TopLeft(m_scrollX)};
}

bool CGridModel::GetCellPosition(int row, int col, QPoint& pos) const
{
    if (!IsValidCell(row, col))
        return false;
    const CCellID tl = GetTopleftNonFixedCell();
    if ((col >= m_fixedCols && col < tl.col) || (row >= m_fixedRows && row < tl.row))
        return false;
    pos = QPoint(ColAxis().Start(col, tl.col), RowAxis().Start(row, tl.row));
    return true;
}

QRect CGridModel::GetSpanRect(int row, int col, CCellID origin, QPoint originPos) const
{
    if (!IsValidCell(row, col))
        return {};
    const Axis rows = RowAxis();
    const Axis cols = ColAxis();
    const auto offset = [](const Axis& a, int index, int from) {
        return index >= from ? a.Sum(from, index) : -a.Sum(index, from);
    };
    return QRect(originPos.x() + offset(cols, col, origin.col), originPos.y() + offset(rows, row, origin.row),
                 cols.Sum(col, col + std::max(1, ColSpanOf(row, col))),
                 rows.Sum(row, row + std::max(1, RowSpanOf(row, col))));
}

bool CGridModel::GetCellBounds(int row, int col, QRect& rect) const
{
    QPoint pos;
    if (!GetCellPosition(row, col, pos) || ColSpanOf(row, col) == 0 || RowSpanOf(row, col) == 0)
        return false;
    rect = GetSpanRect(row, col, {row, col}, pos);
    return true;
}

bool CGridModel::GetCellTextRect(int row, int col, QRect& rect) const
{
    if (!GetCellBounds(row, col, rect))
        return false;
    if (GetItemImage(row, col) >= 0 && m_imageSize.isValid())
        rect.setLeft(rect.left() + m_imageSize.width() + m_margin);
    return true;
}

CCellID CGridModel::CellAtPoint(QPoint point, bool fixedAllowed) const
{
    const CCellID tl = GetTopleftNonFixedCell();
    return {RowAxis().Hit(point.y(), tl.row, fixedAllowed), ColAxis().Hit(point.x(), tl.col, fixedAllowed)};
}

CCellID CGridModel::HitTestCell(QPoint point, bool fixedAllowed) const
{
    const CCellID cell = CellAtPoint(point, fixedAllowed);
    return cell.IsValid() ? GetAnchor(cell.row, cell.col) : cell;
}

CCellRange CGridModel::GetVisibleCellRange(QRect* rect) const
{
    const CCellID tl = GetTopleftNonFixedCell();
    int lastRow = 0, lastCol = 0, bottom = 0, right = 0;
    RowAxis().Visible(tl.row, lastRow, bottom);
    ColAxis().Visible(tl.col, lastCol, right);
    if (rect)
        *rect = QRect(0, 0, right, bottom);
    return {tl.row, tl.col, lastRow, lastCol};
}

CCellRange CGridModel::GetWhollyVisibleCellRange() const
{
    CCellRange range = GetVisibleCellRange();
    QPoint pos;
    if (range.maxRow > 0 && GetCellPosition(range.maxRow, range.minCol, pos)
        && pos.y() + GetRowHeight(range.maxRow) > m_client.height())
        --range.maxRow;
    if (range.maxCol > 0 && GetCellPosition(range.minRow, range.maxCol, pos)
        && pos.x() + GetColumnWidth(range.maxCol) > m_client.width())
        --range.maxCol;
    return range;
}

bool CGridModel::IsCellVisible(int row, int col) const
{
    QPoint pos;
    if (!GetCellPosition(row, col, pos))
        return false;
    return pos.x() < m_client.width() && pos.y() < m_client.height();
}

int CGridModel::LineStep(Qt::Orientation bar, int pos, int steps) const
{
    const Axis a = bar == Qt::Vertical ? RowAxis() : ColAxis();
    const int max = GetScrollMax(bar);
    const int n = a.Count() - a.fixed;
    if (n <= 0)
        return pos;
    // Starts of the non-fixed entries, for the top-left entry of each intermediate position.
    std::vector<int> starts(size_t(n) + 1, 0);
    for (int k = 0; k < n; ++k)
        starts[size_t(k) + 1] = starts[size_t(k)] + a.sizes[size_t(a.fixed + k)];
    const auto topLeft = [&](int p) {
        const int k = int(std::lower_bound(starts.begin(), starts.end(), p) - starts.begin());
        return a.fixed + std::min(k, n - 1);
    };
    for (int s = 0; s < std::abs(steps); ++s) {
        if (steps > 0) {
            if (pos >= max)
                break;
            pos = std::min(max, pos + a.sizes[size_t(topLeft(pos))]);
        } else {
            const int tl = topLeft(pos);
            if (pos <= 0 || tl <= a.fixed)
                break;
            pos = std::max(0, pos - a.sizes[size_t(tl - 1)]);
        }
    }
    return pos;
}

QPoint CGridModel::ScrollPositionsFor(int row, int col) const
{
    const auto show = [this](Qt::Orientation bar, int index) {
        const Axis a = bar == Qt::Vertical ? RowAxis() : ColAxis();
        if (index < a.fixed || index >= a.Count())
            return a.pos;
        int tl = a.TopLeft(a.pos);
        int last = 0, edge = 0;
        a.Visible(tl, last, edge);
        int pos = a.pos;
        if (index > last)
            pos = LineStep(bar, pos, index - last);
        else if (index < tl)
            pos = LineStep(bar, pos, index - tl);
        // Line steps until the far edge is in view too, keeping the cell itself in view.
        for (int guard = 0; guard < a.Count(); ++guard) {
            tl = a.TopLeft(pos);
            if (index <= tl || a.Start(index, tl) + a.sizes[size_t(index)] <= a.client)
                break;
            const int next = LineStep(bar, pos, 1);
            if (next == pos)
                break;
            pos = next;
        }
        return pos;
    };
    return {show(Qt::Horizontal, col), show(Qt::Vertical, row)};
}

// ---- sorting and printing

namespace {

// The quick sort of the rows by key: middle pivot, rows with equal keys are never swapped.
template <class Swap>
void SortRange(std::vector<std::string>& keys, int lo, int hi, bool ascending, Swap swapRows)
{
    if (lo >= hi)
        return;
    const std::string pivot = keys[size_t((lo + hi) / 2)];
    const auto before = [&](const std::string& a, const std::string& b) { return ascending ? a < b : a > b; };
    int i = lo, j = hi;
    while (i <= j) {
        while (i < hi && before(keys[size_t(i)], pivot))
            ++i;
        while (j > lo && before(pivot, keys[size_t(j)]))
            --j;
        if (i <= j) {
            if (keys[size_t(i)] != keys[size_t(j)]) {
                std::swap(keys[size_t(i)], keys[size_t(j)]);
                swapRows(i, j);
            }
            ++i;
            --j;
        }
    }
    if (lo < j)
        SortRange(keys, lo, j, ascending, swapRows);
    if (i < hi)
        SortRange(keys, i, hi, ascending, swapRows);
}

} // namespace

void CGridModel::SortRowsByColumn(int col, bool ascending)
{
    if (col < 0 || col >= m_cols)
        return;
    SetSelectedRange({}, false);
    SetFocusCell({-1, -1});
    std::vector<std::string> keys(m_rows.size());
    for (int r = m_fixedRows; r < GetRowCount(); ++r)
        keys[size_t(r)] = Utf16ToCodepage(m_rows[size_t(r)][size_t(col)]->text.toStdU16String());
    SortRange(keys, m_fixedRows, GetRowCount() - 1, ascending, [this](int a, int b) {
        std::swap(m_rows[size_t(a)], m_rows[size_t(b)]);
        std::swap(m_rowHeights[size_t(a)], m_rowHeights[size_t(b)]);
    });
}

std::vector<std::pair<int, int>> CGridModel::PageRows(int usableHeight) const
{
    std::vector<std::pair<int, int>> pages;
    int first = m_fixedRows;
    int running = 0;
    for (int r = m_fixedRows; r < GetRowCount(); ++r) {
        const int h = m_rowHeights[size_t(r)];
        if (running > 0 && running + h > usableHeight) {
            pages.emplace_back(first, r - 1);
            first = r;
            running = 0;
        }
        running += h;
    }
    pages.emplace_back(first, GetRowCount() - 1);
    return pages;
}
