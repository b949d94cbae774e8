#include "ReportView.h"

#include "ColumnWidths.h"
#include "DirectoryTreeView.h"
#include "DragSupport.h"
#include "ReportSort.h"
#include "db/PagedRows.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <numeric>

namespace {

// Room in a header cell beside its caption: the margins and the sort marker.
constexpr int kCaptionPadding = 28;
// The rows whose texts a fitted column holds: of rows read a page at a time, the first page.
constexpr int kFitRows = 1000;
constexpr int kPagedFitRows = 128;

bool InBranch(const QTreeWidgetItem* item, const QTreeWidgetItem* branch)
{
    for (const QTreeWidgetItem* p = item; p; p = p->parent()) {
        if (p == branch)
            return true;
    }
    return false;
}

} // namespace

// The rows as the view keeps them: the model is the one copy of the texts. Rows read from the
// database a page at a time (paged) come from their source instead, which keeps the pages.
class CReportModel : public QAbstractTableModel {
public:
    struct Row {
        QStringList cells;
        int data = 0;
        int image = -1;
    };
    // A row as shown, inserted or read.
    struct RowRef {
        const QStringList* cells;
        int data;
        int image;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid())
            return 0;
        return paged ? paged->count() : int(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(columns.size());
    }

    // A row of the inserted ones; none when the rows are paged.
    Row* Inserted(int row)
    {
        if (paged || row < 0 || size_t(row) >= rows.size())
            return nullptr;
        return &rows[size_t(row)];
    }

    std::optional<RowRef> RowAt(int row) const
    {
        if (!paged) {
            if (row < 0 || size_t(row) >= rows.size())
                return std::nullopt;
            const Row& r = rows[size_t(row)];
            return RowRef{&r.cells, r.data, r.image};
        }
        const CPagedRow* r = paged->At(row);
        if (!r) {
            NoteFailure();
            return std::nullopt;
        }
        return RowRef{&r->cells, r->key, 1};
    }

    // A failed read is told once, after the paint or command that ran into it.
    void NoteFailure() const
    {
        if (!paged || !paged->failed() || failureTold)
            return;
        failureTold = true;
        QTimer::singleShot(0, this, [error = paged->error()] { ReportComError(error); });
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(columns[size_t(index.column())].alignment | Qt::AlignVCenter);
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::DecorationRole
            && role != CReportView::DataRole && role != CReportView::ImageRole)
            return {};
        const auto r = RowAt(index.row());
        if (!r)
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return index.column() < r->cells->size() ? r->cells->at(index.column()) : QString();
        case Qt::DecorationRole:
            if (index.column() == 0 && r->image >= 0 && size_t(r->image) < images.size())
                return images[size_t(r->image)];
            return {};
        case CReportView::DataRole:
            return r->data;
        default:
            return r->image;
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || size_t(section) >= columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return columns[size_t(section)].caption;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(columns[size_t(section)].alignment | Qt::AlignVCenter);
        return {};
    }

    void ChangedRow(int row) { emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1))); }

    void InsertRow(int row, Row r)
    {
        beginInsertRows({}, row, row);
        rows.insert(rows.begin() + row, std::move(r));
        endInsertRows();
    }
    void RemoveRow(int row)
    {
        beginRemoveRows({}, row, row);
        rows.erase(rows.begin() + row);
        endRemoveRows();
    }
    void Clear()
    {
        if (rows.empty() && !paged)
            return;
        beginResetModel();
        rows.clear();
        Retire();
        endResetModel();
    }
    void SetPaged(std::unique_ptr<CPagedRows> source)
    {
        beginResetModel();
        rows.clear();
        Retire();
        paged = std::move(source);
        failureTold = false;
        if (paged && !paged->Open())
            NoteFailure();
        endResetModel();
    }
    // A source whose read waits for the database (the window repaints meanwhile) goes once the read
    // has ended.
    void Retire()
    {
        if (!paged || !paged->busy()) {
            paged.reset();
            return;
        }
        retired.push_back(std::move(paged));
        QTimer::singleShot(0, this, [this] {
            std::erase_if(retired, [](const std::unique_ptr<CPagedRows>& r) { return !r->busy(); });
        });
    }
    void Reordered()
    {
        beginResetModel();
        endResetModel();
    }

    void InsertColumn(int column, const QString& caption, Qt::Alignment alignment)
    {
        beginInsertColumns({}, column, column);
        columns.insert(columns.begin() + column, {caption, alignment});
        for (Row& r : rows) {
            if (column <= r.cells.size())
                r.cells.insert(column, QString());
        }
        endInsertColumns();
    }
    void RemoveColumn(int column)
    {
        beginRemoveColumns({}, column, column);
        columns.erase(columns.begin() + column);
        for (Row& r : rows) {
            if (column < r.cells.size())
                r.cells.removeAt(column);
        }
        endRemoveColumns();
    }
    // Puts the rows into the order of `order` (new position -> old row); selections follow their rows.
    void Reorder(const std::vector<int>& order)
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newRowOf(order.size());
        std::vector<Row> sorted;
        sorted.reserve(rows.size());
        for (size_t i = 0; i < order.size(); ++i) {
            newRowOf[size_t(order[i])] = int(i);
            sorted.push_back(std::move(rows[size_t(order[i])]));
        }
        rows = std::move(sorted);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& i : from)
            to << index(newRowOf[size_t(i.row())], i.column());
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    struct Column {
        QString caption;
        Qt::Alignment alignment;
        int usual = 0; // the width the column has as a rule
    };
    std::vector<Row> rows;
    std::vector<Column> columns;
    std::vector<QIcon> images;
    std::unique_ptr<CPagedRows> paged;
    std::vector<std::unique_ptr<CPagedRows>> retired;
    mutable bool failureTold = false;
};

CReportView::CReportView(QWidget* parent)
    : QTreeView(parent)
    , m_model(new CReportModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setContextMenuPolicy(Qt::PreventContextMenu); // the owner shows the menu
    setIconSize(QSize(16, 16));
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CReportView::OnHeaderClicked);
    m_timer.setInterval(kDragTimerPeriod);
    connect(&m_timer, &QTimer::timeout, this, &CReportView::OnTimer);
    m_fitTimer.setSingleShot(true);
    m_fitTimer.setInterval(0);
    connect(&m_fitTimer, &QTimer::timeout, this, &CReportView::FitColumns);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CReportView::ScheduleFit);
    connect(m_model, &QAbstractItemModel::columnsInserted, this, &CReportView::ScheduleFit);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &CReportView::ScheduleFit);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &CReportView::ScheduleFit);
}

CReportView::~CReportView()
{
    EndDrag();
}

void CReportView::SetImageList(std::vector<QIcon> images)
{
    m_model->images = std::move(images);
    viewport()->update();
}

void CReportView::SetSingleSelection(bool single)
{
    setSelectionMode(single ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
}

// ---------------------------------------------------------------------------------------------

int CReportView::GetItemCount() const
{
    return m_model->rowCount();
}

void CReportView::SetRowSource(std::unique_ptr<CPagedRows> rows)
{
    m_model->SetPaged(std::move(rows));
}

bool CReportView::IsPaged() const
{
    return m_model->paged != nullptr;
}

int CReportView::FindText(const QString& text, int from)
{
    if (!m_model->paged)
        return -1;
    const auto row = m_model->paged->Find(text, from);
    m_model->NoteFailure();
    return row ? *row : m_model->paged->failed() ? -2 : -1;
}

void CReportView::keyboardSearch(const QString& search)
{
    // Matching typed letters row by row would read every row.
    if (!m_model->paged)
        QTreeView::keyboardSearch(search);
}

QModelIndex CReportView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // End goes to the last row also before any row is current (the view would take the first).
    if (action == MoveEnd && !currentIndex().isValid() && GetItemCount() > 0)
        return m_model->index(GetItemCount() - 1, 0);
    return QTreeView::moveCursor(action, modifiers);
}

int CReportView::InsertItem(int row, const QString& text, int image)
{
    if (m_model->paged)
        m_model->Clear();
    row = std::clamp(row, 0, GetItemCount());
    CReportModel::Row r;
    r.cells.resize(std::max<qsizetype>(1, qsizetype(m_model->columns.size())));
    r.cells[0] = text;
    r.image = image;
    m_model->InsertRow(row, std::move(r));
    return row;
}

bool CReportView::SetItemText(int row, int column, const QString& text)
{
    CReportModel::Row* r = m_model->Inserted(row);
    if (!r || column < 0 || size_t(column) >= std::max<size_t>(1, m_model->columns.size()))
        return false;
    QStringList& cells = r->cells;
    if (column >= cells.size())
        cells.resize(column + 1);
    cells[column] = text;
    const QModelIndex i = m_model->index(row, column);
    emit m_model->dataChanged(i, i, {Qt::DisplayRole});
    return true;
}

QString CReportView::GetItemText(int row, int column) const
{
    const auto r = m_model->RowAt(row);
    if (!r)
        return QString();
    return column >= 0 && column < r->cells->size() ? r->cells->at(column) : QString();
}

bool CReportView::SetItemData(int row, int data)
{
    CReportModel::Row* r = m_model->Inserted(row);
    if (!r)
        return false;
    r->data = data;
    return true;
}

int CReportView::GetItemData(int row) const
{
    const auto r = m_model->RowAt(row);
    return r ? r->data : 0;
}

int CReportView::GetItemImage(int row) const
{
    const auto r = m_model->RowAt(row);
    return r ? r->image : -1;
}

void CReportView::DeleteAllItems()
{
    m_model->Clear();
}

bool CReportView::DeleteRow(int row, bool selectNext, const RowPredicate& accept)
{
    if (!m_model->Inserted(row) || (accept && !accept(GetItemData(row))))
        return false;
    m_model->RemoveRow(row);
    if (selectNext)
        SelectRow(std::min(row, GetItemCount() - 1), true);
    return true;
}

int CReportView::DeleteRows(const RowPredicate& accept)
{
    int count = 0;
    if (m_model->paged)
        return 0;
    if (!accept) {
        count = GetItemCount();
        DeleteAllItems();
        return count;
    }
    while (GetItemCount() > 0 && accept(GetItemData(0))) {
        m_model->RemoveRow(0);
        ++count;
    }
    return count;
}

bool CReportView::SwapRows(int a, int b)
{
    if (!m_model->Inserted(a) || !m_model->Inserted(b))
        return false;
    if (a == b)
        return true;
    const bool selectedA = IsRowSelected(a);
    const bool selectedB = IsRowSelected(b);
    std::swap(m_model->rows[size_t(a)], m_model->rows[size_t(b)]);
    m_model->ChangedRow(a);
    m_model->ChangedRow(b);
    auto select = [this](int row, bool on) {
        selectionModel()->select(m_model->index(row, 0),
                                 (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                     | QItemSelectionModel::Rows);
    };
    if (selectedA != selectedB) {
        select(a, selectedB);
        select(b, selectedA);
    }
    return true;
}

int CReportView::MoveItemUp(int row, int n)
{
    const int step = n >= 0 ? -1 : 1;
    for (int i = 0; i < std::abs(n); ++i) {
        if (!SwapRows(row, row + step))
            break;
        row += step;
    }
    return row;
}

int CReportView::MoveItemDown(int row, int n)
{
    return MoveItemUp(row, -n);
}

int CReportView::FindRowByData(int data) const
{
    if (m_model->paged) {
        const auto row = m_model->paged->RowOf(data);
        m_model->NoteFailure();
        return row.value_or(-1);
    }
    for (size_t i = 0; i < m_model->rows.size(); ++i) {
        if (m_model->rows[i].data == data)
            return int(i);
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------

void CReportView::SelectRow(int row, bool clamp)
{
    const int count = GetItemCount();
    if (clamp && count > 0)
        row = std::clamp(row, 0, count - 1);
    if (row < 0 || row >= count) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

bool CReportView::IsRowSelected(int row) const
{
    return row >= 0 && row < GetItemCount() && selectionModel()->isRowSelected(row, {});
}

int CReportView::GetSelectedCount() const
{
    return int(selectionModel()->selectedRows().size());
}

int CReportView::GetSelectedRow() const
{
    int first = -1;
    for (const QModelIndex& i : selectionModel()->selectedRows()) {
        if (first < 0 || i.row() < first)
            first = i.row();
    }
    return first;
}

// ---------------------------------------------------------------------------------------------

int CReportView::GetColumnCount() const
{
    return int(m_model->columns.size());
}

void CReportView::KeepColumnWidths(const QString& path)
{
    delete m_widths;
    m_widths = new CColumnWidths(header(), path);
    m_widths->Apply();
}

int CReportView::InsertColumn(int column, const QString& caption, int width, Qt::Alignment alignment)
{
    column = std::clamp(column, 0, GetColumnCount());
    m_model->InsertColumn(column, caption, alignment);
    // Never narrower than its caption (with the sort marker), unless the user made it so.
    const int least = header()->fontMetrics().horizontalAdvance(caption) + kCaptionPadding;
    const int fallback = std::max(width, least);
    m_model->columns[size_t(column)].usual = fallback;
    ResizeColumn(column, m_widths ? m_widths->Width(caption, fallback) : fallback);
    return column;
}

void CReportView::ResizeColumn(int column, int width)
{
    if (m_widths)
        m_widths->Resize(column, width);
    else
        header()->resizeSection(column, width);
}

bool CReportView::SizedByUser(int column) const
{
    if (!m_widths)
        return false;
    const CReportModel::Column& c = m_model->columns[size_t(column)];
    // A width equal to the usual one was written by an earlier run, not set by the user.
    const int kept = m_widths->Width(c.caption, -1);
    return kept >= 0 && kept != c.usual;
}

void CReportView::ScheduleFit()
{
    m_fitTimer.start();
}

void CReportView::FitColumns()
{
    m_fitTimer.stop();
    const int count = GetColumnCount();
    if (count == 0 || !isVisible())
        return;
    int room = viewport()->width();
    std::vector<CColumnFit> fits;
    std::vector<int> fitted;
    const int rows = std::min(GetItemCount(), m_model->paged ? kPagedFitRows : kFitRows);
    for (int c = 0; c < count; ++c) {
        if (SizedByUser(c)) {
            room -= header()->sectionSize(c);
            continue;
        }
        const CReportModel::Column& column = m_model->columns[size_t(c)];
        CColumnFit fit{header()->fontMetrics().horizontalAdvance(column.caption) + kCaptionPadding, 0, column.usual};
        // The grid line right of the cell.
        for (int r = 0; r < rows; ++r)
            fit.need = std::max(fit.need, sizeHintForIndex(m_model->index(r, c)).width() + 1);
        fits.push_back(fit);
        fitted.push_back(c);
    }
    const std::vector<int> widths = FitColumnWidths(fits, room);
    for (size_t i = 0; i < fitted.size(); ++i)
        if (header()->sectionSize(fitted[i]) != widths[i])
            ResizeColumn(fitted[i], widths[i]);
}

bool CReportView::DeleteColumn(int column)
{
    if (column < 0 || column >= GetColumnCount())
        return false;
    m_model->RemoveColumn(column);
    if (m_sortColumn == column)
        SetSortColumn(-1);
    return true;
}

void CReportView::DeleteAllColumns()
{
    while (GetColumnCount() > 0)
        DeleteColumn(GetColumnCount() - 1);
}

// ---------------------------------------------------------------------------------------------

void CReportView::SortByColumn(int column, bool ascending)
{
    // Rows that are being read wait for the read.
    if (column < 0 || column >= GetColumnCount() || (m_model->paged && m_model->paged->busy()))
        return;
    m_sortColumn = column;
    m_ascending = ascending;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);

    if (m_model->paged) {
        // The database orders the rows; the selected row stays selected where it comes now.
        const int selected = GetSelectedRow();
        const std::optional<int> key = selected >= 0 ? std::optional<int>(GetItemData(selected)) : std::nullopt;
        const int count = GetItemCount();
        if (!m_model->paged->SetOrder(column, ascending))
            m_model->NoteFailure();
        // The same number of rows in another order: the view reads again what it shows, without a
        // new layout of all the rows.
        if (GetItemCount() == count)
            viewport()->update();
        else
            m_model->Reordered();
        if (key)
            SelectRow(FindRowByData(*key));
        return;
    }
    std::vector<QString> texts;
    texts.reserve(m_model->rows.size());
    for (const CReportModel::Row& r : m_model->rows)
        texts.push_back(column < r.cells.size() ? r.cells[column] : QString());
    m_model->Reorder(SortedOrder(texts, ascending));
}

void CReportView::SetSortColumn(int column)
{
    m_sortColumn = column;
    if (column < 0) {
        header()->setSortIndicatorShown(false);
        m_ascending = true;
        return;
    }
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CReportView::OnHeaderClicked(int column)
{
    SortByColumn(column, column == m_sortColumn ? !m_ascending : true);
}

// ---------------------------------------------------------------------------------------------

void CReportView::mousePressEvent(QMouseEvent* event)
{
    if (m_dragging)
        return;
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() == Qt::RightButton) {
        // The row under the cursor is selected first, as a left click would.
        if (index.isValid() && !IsRowSelected(index.row()))
            SelectRow(index.row());
        setFocus(Qt::MouseFocusReason);
        if (m_owner)
            m_owner->OnTreeContextMenu(viewport()->mapToGlobal(pos));
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid()) {
        m_pressedRow = index.row();
        m_pressPos = pos;
    }
}

void CReportView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragging) {
        m_lastPos = pos;
        if (m_dragImage)
            m_dragImage->move(m_dragImage->parentWidget()->mapFromGlobal(viewport()->mapToGlobal(pos)) - kDragHotSpot);
        UpdateTargets(pos);
        return;
    }
    if (m_pressedRow < 0 || !(event->buttons() & Qt::LeftButton)) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    // While the button is held the selection stays on the pressed row.
    if ((pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        const int row = m_pressedRow;
        m_pressedRow = -1;
        BeginDrag(row, pos);
    }
}

void CReportView::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressedRow = -1;
    if (m_dragging) {
        if (event->button() == Qt::LeftButton)
            Drop();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void CReportView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_dragging)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid())
        emit rowDoubleClicked(index.row());
    event->accept();
}

void CReportView::keyPressEvent(QKeyEvent* event)
{
    if (m_dragging) {
        if (event->key() == Qt::Key_Escape)
            EndDrag();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CReportView::hideEvent(QHideEvent* event)
{
    EndDrag();
    QTreeView::hideEvent(event);
}

void CReportView::showEvent(QShowEvent* event)
{
    QTreeView::showEvent(event);
    ScheduleFit();
}

bool CReportView::viewportEvent(QEvent* event)
{
    // The list's width changes with the window, the panes and the vertical scroll bar.
    if (event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->size().width() != resize->oldSize().width())
            ScheduleFit();
    }
    return QTreeView::viewportEvent(event);
}

void CReportView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem o(option);
    if (m_dragging && index.row() == m_dropRow)
        o.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, o, index);
    // Grid lines: below the row and right of every column.
    painter->save();
    painter->setPen(palette().color(QPalette::Midlight));
    const QRect r = o.rect;
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    for (int c = 0; c < header()->count(); ++c) {
        const int x = columnViewportPosition(c) + columnWidth(c) - 1;
        painter->drawLine(x, r.top(), x, r.bottom());
    }
    painter->restore();
}

// ---------------------------------------------------------------------------------------------

QTreeWidgetItem* CReportView::treeTarget() const
{
    return m_hasTreeTarget && m_tree ? m_tree->FindItemByData(m_treeTargetData) : nullptr;
}

void CReportView::BeginDrag(int row, const QPoint& pos)
{
    if (!m_owner || !m_owner->CanStartDrag())
        return;
    SelectRow(row);
    m_dragRow = row;
    m_dropRow = -1;
    m_hasTreeTarget = false;

    // The image goes above list and tree alike.
    QWidget* layer = window();
    m_dragImage = MakeDragImage(this, layer, GetItemText(row, 0), layer->mapFromGlobal(viewport()->mapToGlobal(pos)));

    m_dragging = true;
    m_ticks = 0;
    m_lastPos = pos;
    QApplication::setOverrideCursor(Qt::ForbiddenCursor);
    m_timer.start();
    UpdateTargets(pos);
}

void CReportView::EndDrag()
{
    m_timer.stop();
    if (!m_dragging)
        return;
    m_dragging = false;
    delete m_dragImage;
    m_dropRow = -1;
    m_hasTreeTarget = false;
    if (m_tree)
        m_tree->SetDropHighlight(nullptr);
    QApplication::restoreOverrideCursor();
    viewport()->update();
}

bool CReportView::TreeTargetAllowed(QTreeWidgetItem* item) const
{
    if (!item)
        return false;
    const int data = GetItemData(m_dragRow);
    QTreeWidgetItem* group = data < 0 ? m_tree->FindItemByData(-data) : nullptr;
    if (group)
        return item != group->parent() && !InBranch(item, group);
    return item != m_tree->currentItem();
}

void CReportView::UpdateTargets(const QPoint& pos)
{
    int dropRow = -1;
    QTreeWidgetItem* target = nullptr;
    if (viewport()->rect().contains(pos)) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid() && index.row() != m_dragRow && GetItemImage(index.row()) == 0)
            dropRow = index.row();
    } else if (m_tree && m_tree->isVisible()) {
        const QPoint p = m_tree->viewport()->mapFromGlobal(viewport()->mapToGlobal(pos));
        if (m_tree->viewport()->rect().contains(p)) {
            QTreeWidgetItem* item = m_tree->itemAt(p);
            if (TreeTargetAllowed(item))
                target = item;
        }
    }
    if (dropRow != m_dropRow) {
        m_dropRow = dropRow;
        viewport()->update();
    }
    m_hasTreeTarget = target != nullptr;
    m_treeTargetData = target ? CTreeCtrlX::ItemData(target) : 0;
    if (m_tree)
        m_tree->SetDropHighlight(target);
    QApplication::changeOverrideCursor(dropRow >= 0 || target ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void CReportView::OnTimer()
{
    if (!m_dragging) {
        m_timer.stop();
        return;
    }
    ++m_ticks;
    const QRect list = viewport()->rect();
    if (m_lastPos.x() >= 0 && m_lastPos.x() < list.width()) {
        if (const int distance = DragEdgeDistance(m_lastPos.y(), list.height())) {
            if (DragScroll(this, distance, m_ticks))
                UpdateTargets(QPoint(m_lastPos.x(), std::clamp(m_lastPos.y(), 0, std::max(0, list.height() - 1))));
            return;
        }
    }
    if (m_tree && m_tree->isVisible()) {
        const QPoint p = m_tree->viewport()->mapFromGlobal(viewport()->mapToGlobal(m_lastPos));
        const QRect tree = m_tree->viewport()->rect();
        if (p.x() >= 0 && p.x() < tree.width()) {
            if (const int distance = DragEdgeDistance(p.y(), tree.height())) {
                DragScroll(m_tree, distance, m_ticks);
                return;
            }
        }
    }
    QTreeWidgetItem* target = treeTarget();
    if (target && target->childCount() > 0 && !target->isExpanded())
        m_tree->expandItem(target);
}

void CReportView::MoveTreeBranch(int group, int target)
{
    if (!m_tree)
        return;
    QTreeWidgetItem* item = m_tree->FindItemByData(group);
    QTreeWidgetItem* under = m_tree->FindItemByData(target);
    if (!item || !under || InBranch(under, item))
        return;
    if (m_tree->CopyBranch(item, under))
        delete item;
}

void CReportView::Drop()
{
    const int dragRow = m_dragRow;
    const int dropRow = m_dropRow;
    const bool onTree = m_hasTreeTarget;
    const int treeData = m_treeTargetData;
    EndDrag();
    if (!m_owner || dropRow == dragRow || dragRow < 0 || dragRow >= GetItemCount())
        return;
    const int dragData = GetItemData(dragRow);
    if (dropRow < 0 && onTree) {
        if (!m_owner->OnRowDropOnTree(dragRow, treeData))
            return;
        // The owner may have reloaded the list meanwhile: the row is found again by its data.
        DeleteRow(GetItemData(dragRow) == dragData ? dragRow : FindRowByData(dragData));
        if (dragData < 0)
            MoveTreeBranch(-dragData, treeData);
    } else if (dropRow >= 0) {
        const int dropData = GetItemData(dropRow);
        if (!m_owner->OnRowDropOnRow(dragRow, dropRow))
            return;
        DeleteRow(GetItemData(dragRow) == dragData ? dragRow : FindRowByData(dragData));
        if (dragData < 0)
            MoveTreeBranch(-dragData, -dropData);
    }
}
