// Mouse, keys and in-place editing of the grid.
#include "GridView.h"

#include "GridInPlaceEdit.h"
#include "TitleTip.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimerEvent>
#include <QWheelEvent>

namespace {

unsigned KeyNumber(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

} // namespace

// ---- dividers

bool CGridView::OverColumnDivider(QPoint point) const
{
    if (point.y() >= GetFixedRowHeight())
        return false;
    const CCellID cell = m_model.CellAtPoint(point, true);
    QPoint pos;
    if (!cell.IsValid() || !GetCellPosition(cell.row, cell.col, pos))
        return false;
    const int range = m_settings.resizeCaptureRange;
    return (point.x() - pos.x() <= range && cell.col != 0) || (pos.x() + GetColumnWidth(cell.col) - point.x() <= range);
}

bool CGridView::OverRowDivider(QPoint point) const
{
    if (point.x() >= GetFixedColumnWidth())
        return false;
    const CCellID cell = m_model.CellAtPoint(point, true);
    QPoint pos;
    if (!cell.IsValid() || !GetCellPosition(cell.row, cell.col, pos))
        return false;
    const int range = m_settings.resizeCaptureRange;
    return (point.y() - pos.y() <= range && cell.row != 0) || (pos.y() + GetRowHeight(cell.row) - point.y() <= range);
}

void CGridView::UpdateDividerMode(QPoint point)
{
    if (m_settings.allowColumnResize && OverColumnDivider(point)) {
        viewport()->setCursor(Qt::SizeHorCursor);
        m_mouseMode = GridMouseMode::OverColumnDivider;
    } else if (m_settings.allowRowResize && OverRowDivider(point)) {
        viewport()->setCursor(Qt::SizeVerCursor);
        m_mouseMode = GridMouseMode::OverRowDivider;
    } else if (m_mouseMode != GridMouseMode::Nothing) {
        viewport()->setCursor(Qt::ArrowCursor);
        m_mouseMode = GridMouseMode::Nothing;
    }
}

void CGridView::ShowSizingLine(QPoint point)
{
    if (m_mouseMode == GridMouseMode::SizingColumn)
        m_sizingLine->setGeometry(point.x(), 0, 2, viewport()->height());
    else
        m_sizingLine->setGeometry(0, point.y(), viewport()->width(), 2);
    m_sizingLine->show();
    m_sizingLine->raise();
}

// ---- mouse

void CGridView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_titleTip->Hide();
    const QPoint point = event->position().toPoint();
    m_mouseDownPoint = point;
    m_mouseDownCell = HitTestCell(point, true);
    if (!IsValidCell(m_mouseDownCell.row, m_mouseDownCell.col))
        return;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    m_selectionStart = shift ? GetFocusCell() : m_mouseDownCell;
    setFocus(Qt::MouseFocusReason); // ends an in-place edit
    if (m_mouseMode == GridMouseMode::Nothing)
        UpdateDividerMode(point);
    const bool divider =
        m_mouseMode == GridMouseMode::OverColumnDivider || m_mouseMode == GridMouseMode::OverRowDivider;
    if (!divider && m_mouseDownCell == GetFocusCell()) {
        m_mouseMode = GridMouseMode::PrepareEdit;
        return;
    }
    if (!divider) {
        SetFocusCell(-1, -1);
        SetFocusCell(std::max(m_mouseDownCell.row, GetFixedRowCount()),
                     std::max(m_mouseDownCell.col, GetFixedColumnCount()));
    }
    m_lastMousePoint = point;
    if (m_mouseMode == GridMouseMode::OverColumnDivider || m_mouseMode == GridMouseMode::OverRowDivider) {
        const bool column = m_mouseMode == GridMouseMode::OverColumnDivider;
        const CCellID under = m_model.CellAtPoint(point, true);
        QPoint pos;
        GetCellPosition(under.row, under.col, pos);
        const int index = column ? under.col : under.row;
        const int offset = column ? point.x() - pos.x() : point.y() - pos.y();
        // Near the cell's start the divider is that of the one before.
        m_sizedIndex = offset <= m_settings.resizeCaptureRange && index > 0 ? index - 1 : index;
        m_mouseMode = column ? GridMouseMode::SizingColumn : GridMouseMode::SizingRow;
        ShowSizingLine(point);
        return;
    }
    m_model.ClearRetainedSelection();
    if (event->modifiers() & Qt::ControlModifier)
        m_model.RetainSelection();
    if (m_mouseDownCell.row < GetFixedRowCount()) {
        OnFixedColumnClick(m_mouseDownCell);
    } else if (m_mouseDownCell.col < GetFixedColumnCount()) {
        OnRowHeaderClick(m_mouseDownCell);
    } else {
        m_mouseMode = m_settings.listMode ? GridMouseMode::SelectRows : GridMouseMode::SelectCells;
        ExtendSelection(m_mouseDownCell);
    }
    m_autoScroll.start(m_settings.autoScrollInterval, this);
}

void CGridView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (m_titleTip->isVisible() && !m_titleTip->hoverRect().contains(point))
        m_titleTip->Hide();
    if ((event->buttons() & Qt::LeftButton) && m_mouseMode != GridMouseMode::Nothing
        && IsValidCell(m_mouseDownCell.row, m_mouseDownCell.col)) {
        switch (m_mouseMode) {
        case GridMouseMode::SelectColumns:
        case GridMouseMode::SelectRows:
        case GridMouseMode::SelectCells: {
            const CCellID cell = HitTestCell(point, true);
            if (!IsValidCell(cell.row, cell.col))
                return;
            if (cell != GetFocusCell()) {
                ExtendSelection(cell);
                if (cell.row >= GetFixedRowCount() && cell.col >= GetFixedColumnCount())
                    SetFocusCell(cell.row, cell.col);
            }
            break;
        }
        case GridMouseMode::SizingColumn:
        case GridMouseMode::SizingRow:
            ShowSizingLine(point);
            break;
        default:
            break;
        }
        m_lastMousePoint = point;
        return;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        UpdateDividerMode(point);
        if (m_mouseMode != GridMouseMode::Nothing)
            return;
        const CCellID cell = HitTestCell(point, true);
        QRect text, bounds;
        if (m_settings.titleTips && GetCellTextRect(cell.row, cell.col, text)
            && GetCellBounds(cell.row, cell.col, bounds)) {
            const QFont font = GetItemFont(cell.row, cell.col);
            const QString whole = GetItemText(cell.row, cell.col);
            m_titleTip->Show(text, whole, 0, &bounds, &font, GetShownText(cell.row, cell.col) != whole);
        }
    }
    m_lastMousePoint = point;
}

void CGridView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_autoScroll.stop();
    const QPoint point = event->position().toPoint();
    const GridMouseMode mode = m_mouseMode;
    m_mouseMode = GridMouseMode::Nothing;
    viewport()->setCursor(Qt::ArrowCursor);
    if (mode == GridMouseMode::SizingColumn || mode == GridMouseMode::SizingRow) {
        m_sizingLine->hide();
        if (point != m_mouseDownPoint) {
            // The divider follows the mouse; dragged past the cell's start the size is 0.
            if (mode == GridMouseMode::SizingColumn) {
                SetColumnWidth(m_sizedIndex,
                               std::max(0, GetColumnWidth(m_sizedIndex) + point.x() - m_mouseDownPoint.x()));
                emit columnSizedByUser(m_sizedIndex);
            } else
                SetRowHeight(m_sizedIndex, std::max(0, GetRowHeight(m_sizedIndex) + point.y() - m_mouseDownPoint.y()));
            UpdateScrollBars();
            viewport()->update();
        }
    } else if (mode == GridMouseMode::PrepareEdit) {
        const CCellID focus = GetFocusCell();
        BeginCellEdit(focus.row, focus.col, VK_LBUTTON);
    }
    if (IsValidCell(m_mouseDownCell.row, m_mouseDownCell.col))
        PostCommand();
}

void CGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    const GridMouseMode mode = m_mouseMode;
    m_mouseMode = GridMouseMode::Nothing;
    if (mode == GridMouseMode::OverColumnDivider || mode == GridMouseMode::SizingColumn
        || mode == GridMouseMode::OverRowDivider || mode == GridMouseMode::SizingRow) {
        m_sizingLine->hide();
        const bool column = mode == GridMouseMode::OverColumnDivider || mode == GridMouseMode::SizingColumn;
        const CCellID cell = m_model.CellAtPoint(point, true);
        QPoint pos;
        GetCellPosition(cell.row, cell.col, pos);
        const int index = column ? cell.col : cell.row;
        const int offset = column ? point.x() - pos.x() : point.y() - pos.y();
        const int fitted = offset <= m_settings.resizeCaptureRange && index > 0 ? index - 1 : index;
        if (column) {
            FitColumnWidth(fitted);
            emit columnSizedByUser(fitted);
        } else
            FitRowHeight(fitted);
        viewport()->update();
        return;
    }
    const CCellID down = m_mouseDownCell;
    if (down.row >= GetFixedRowCount() && down.col >= GetFixedColumnCount() && IsValidCell(down.row, down.col)) {
        const CCellID focus = GetFocusCell();
        BeginCellEdit(focus.row, focus.col, VK_LBUTTON);
    } else if (m_settings.listMode && down.row >= GetFixedRowCount() && down.col >= 0
               && down.col < GetFixedColumnCount()) {
        BeginCellEdit(down.row, down.col, VK_LBUTTON);
    }
}

void CGridView::wheelEvent(QWheelEvent* event)
{
    m_titleTip->Hide();
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    // Small deltas (touchpads) add up to whole lines; a turn the other way starts afresh.
    if ((delta > 0) != (m_wheelRemainder > 0))
        m_wheelRemainder = 0;
    m_wheelRemainder += delta * m_wheelLines;
    const int lines = m_wheelRemainder / 120;
    m_wheelRemainder -= lines * 120;
    if (lines != 0)
        SetScrollPosition(Qt::Vertical, m_model.LineStep(Qt::Vertical, GetScrollPosition(Qt::Vertical), -lines), false);
    event->accept();
}

void CGridView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_autoScroll.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    if (!(QApplication::mouseButtons() & Qt::LeftButton)) {
        m_autoScroll.stop(); // the button went up elsewhere
        return;
    }
    const QPoint point = viewport()->mapFromGlobal(QCursor::pos());
    const QRect client = viewport()->rect();
    const int x = std::clamp(point.x(), 0, client.right());
    const int y = std::clamp(point.y(), 0, client.bottom());
    if (point.y() > client.bottom()) {
        HandleKey(VK_DOWN, {});
        ExtendSelection(HitTestCell({x, client.bottom()}, true));
    } else if (point.y() < GetFixedRowHeight()) {
        HandleKey(VK_UP, {});
        ExtendSelection(HitTestCell({x, GetFixedRowHeight() + 1}, true));
    }
    if (point.x() > client.right()) {
        HandleKey(VK_RIGHT, {});
        ExtendSelection(HitTestCell({client.right(), y}, true));
    } else if (point.x() < GetFixedColumnWidth()) {
        HandleKey(VK_LEFT, {});
        ExtendSelection(HitTestCell({GetFixedColumnWidth() + 1, y}, true));
    }
}

// ---- keys

bool CGridView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Ctrl+A, C, V and X are the grid's own keys, also where the window has them as shortcuts.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & Qt::ControlModifier)
            && (key->key() == Qt::Key_A || key->key() == Qt::Key_C || key->key() == Qt::Key_V
                || key->key() == Qt::Key_X)) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::Hide:
        m_titleTip->Hide();
        break;
    default:
        break;
    }
    return QAbstractScrollArea::event(event);
}

bool CGridView::focusNextPrevChild(bool next)
{
    // With Tab handled, Tab moves the focus cell and never leaves the grid.
    return m_settings.handleTab ? false : QAbstractScrollArea::focusNextPrevChild(next);
}

void CGridView::keyPressEvent(QKeyEvent* event)
{
    m_titleTip->Hide();
    const CCellID focus = GetFocusCell();
    if (!IsValidCell(focus.row, focus.col)) {
        event->ignore();
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    if (ctrl) {
        switch (event->key()) {
        case Qt::Key_A:
            SelectAllCells();
            return;
        case Qt::Key_C:
            OnEditCopy();
            return;
        case Qt::Key_V:
            OnEditPaste();
            return;
        case Qt::Key_X:
            OnEditCut();
            return;
        default:
            break;
        }
    }
    if (const unsigned key = KeyNumber(event)) {
        if (key == VK_TAB && (!m_settings.handleTab || ctrl)) { // Ctrl+Tab belongs to the window
            event->ignore();
            return;
        }
        HandleKey(key, event->key() == Qt::Key_Backtab ? mods | Qt::ShiftModifier : mods);
        return;
    }
    // A typed character starts an edit with it.
    const QString text = event->text();
    if (!ctrl && !(mods & Qt::AltModifier) && m_mouseMode == GridMouseMode::Nothing && !text.isEmpty()) {
        const char32_t ch = text.toUcs4().value(0);
        if (ch >= 32 || ch == VK_BACK || ch == VK_RETURN) {
            unsigned key = ch;
            if (ch >= VK_PRIOR && ch <= VK_DOWN)
                key |= kTypedChar;
            BeginCellEdit(focus.row, focus.col, key);
            return;
        }
    }
    event->ignore();
}

bool CGridView::HandleKey(unsigned key, Qt::KeyboardModifiers modifiers)
{
    const CCellID focus = GetFocusCell();
    if (!IsValidCell(focus.row, focus.col))
        return false;
    const bool shift = modifiers & Qt::ShiftModifier;
    const int fr = GetFixedRowCount();
    const int fc = GetFixedColumnCount();
    const int rows = GetRowCount();
    const int cols = GetColumnCount();
    CCellID next = focus;
    switch (key) {
    case VK_TAB:
        if (shift) {
            if (next.col > fc) {
                --next.col;
            } else if (next.row > fr) {
                --next.row;
                next.col = cols - 1;
            }
        } else if (next.col < cols - 1) {
            // The card's quantity and sum rows pair up: Tab goes from a quantity row's last
            // but one column on to the sum row.
            if (next.col == cols - 2 && next.row % 2 == 1 && next.row > 2 && next.row < rows - 1) {
                ++next.row;
                next.col = fc;
            } else {
                ++next.col;
            }
        } else if (next.row < rows - 1) {
            ++next.row;
            next.col = fc;
        }
        break;
    case VK_PRIOR:
    case VK_NEXT: {
        const int before = GetTopleftNonFixedCell().row;
        const int page = m_model.GetScrollPage(Qt::Vertical);
        const int pos = GetScrollPosition(Qt::Vertical);
        SetScrollPosition(Qt::Vertical, key == VK_PRIOR ? pos - page : pos + page, false);
        const int moved = GetTopleftNonFixedCell().row - before;
        if (moved != 0)
            next.row = std::clamp(next.row + moved, fr, rows - 1);
        else
            next.row = key == VK_PRIOR ? fr : rows - 1;
        break;
    }
    case VK_HOME:
        SetScrollPosition(Qt::Vertical, 0);
        next.row = fr;
        break;
    case VK_END:
        SetScrollPosition(Qt::Vertical, GetScrollMax(Qt::Vertical));
        next.row = rows - 1;
        break;
    case VK_LEFT:
        if (next.col > fc)
            --next.col;
        break;
    case VK_RIGHT:
        if (next.col < cols - 1)
            ++next.col;
        break;
    case VK_UP:
        if (next.row > fr)
            --next.row;
        break;
    case VK_DOWN:
        if (next.row < rows - 1)
            ++next.row;
        break;
    case VK_DELETE:
        if (IsCellEditable(focus.row, focus.col)) {
            GetCell(focus.row, focus.col)->data1 = 0; // an earlier Escape must not read as a cancelled change
            NotifyParent(LVN_BEGINLABELEDITA, focus.row, focus.col);
            SetItemText(focus.row, focus.col, QString());
            SetCellModified(true, focus.row, focus.col);
            NotifyParent(LVN_ENDLABELEDITA, focus.row, focus.col);
            RedrawCell(focus.row, focus.col);
        }
        return true;
    default:
        return false;
    }
    if (!IsValidCell(next.row, next.col))
        return true;

    // Covered cells are passed over in the key's direction, back from the table's end.
    const bool backwards = key == VK_LEFT || (key == VK_TAB && shift);
    int dr = key == VK_UP ? -1 : 1;
    for (const CGridCell* cell = GetCell(next.row, next.col); cell && cell->rowSpan == 0;
         cell = GetCell(next.row, next.col)) {
        if (next.row + dr >= rows)
            dr = -1;
        if (next.row + dr < 0)
            break;
        next.row += dr;
    }
    int dc = backwards ? -1 : 1;
    for (const CGridCell* cell = GetCell(next.row, next.col); cell && cell->colSpan == 0;
         cell = GetCell(next.row, next.col)) {
        if (next.col + dc >= cols)
            dc = -1;
        if (next.col + dc < 0)
            break;
        next.col += dc;
    }
    if (next == focus)
        return true;

    if (m_mouseMode == GridMouseMode::Nothing) {
        m_model.ClearRetainedSelection();
        m_mouseMode = m_settings.listMode ? GridMouseMode::SelectRows : GridMouseMode::SelectCells;
        if (!shift || key == VK_TAB)
            m_selectionStart = next;
        ExtendSelection(next);
        m_mouseMode = GridMouseMode::Nothing;
    }
    SetFocusCell(next.row, next.col);
    if (!IsCellVisible(next.row, next.col)) {
        // Into view, then one line further in the key's direction, in one move.
        QPoint pos = m_model.ScrollPositionsFor(next.row, next.col);
        const bool rowChanged = next.row != focus.row;
        switch (key) {
        case VK_LEFT:
            pos.rx() = m_model.LineStep(Qt::Horizontal, pos.x(), -1);
            break;
        case VK_RIGHT:
            pos.rx() = m_model.LineStep(Qt::Horizontal, pos.x(), 1);
            break;
        case VK_UP:
            pos.ry() = m_model.LineStep(Qt::Vertical, pos.y(), -1);
            break;
        case VK_DOWN:
            pos.ry() = m_model.LineStep(Qt::Vertical, pos.y(), 1);
            break;
        case VK_TAB:
            if (rowChanged) {
                pos.ry() = m_model.LineStep(Qt::Vertical, pos.y(), shift ? -1 : 1);
                pos.rx() = shift ? GetScrollMax(Qt::Horizontal) : 0;
            } else {
                pos.rx() = m_model.LineStep(Qt::Horizontal, pos.x(), shift ? -1 : 1);
            }
            break;
        default:
            break;
        }
        SetScrollPositions(pos);
        viewport()->update();
    }
    return true;
}

// ---- in-place editing

void CGridView::EndOpenEdit()
{
    QPointer<QWidget> editor = m_editor;
    if (!editor)
        return;
    if (editor->hasFocus())
        setFocus(Qt::OtherFocusReason); // its focus loss ends the edit
    if (auto* end = dynamic_cast<CInPlaceEditorEnd*>(editor.data()))
        end->EndNow();
}

void CGridView::BeginCellEdit(int row, int col, unsigned key)
{
    EndOpenEdit();
    ScrollToCell(row, col);
    QRect rect;
    if (!IsValidCell(row, col) || !IsEditable() || (GetItemState(row, col) & GVIS_READONLY) || !IsCellVisible(row, col)
        || !GetCellBounds(row, col, rect))
        return;
    const qintptr reply = NotifyParent(LVN_BEGINLABELEDITA, row, col);
    const QString text = GetItemText(row, col);
    const unsigned format = GetItemFormat(row, col);
    if (reply == 0) {
        const Qt::Alignment style = (format & DT_RIGHT) ? Qt::AlignRight
            : (format & DT_CENTER)                      ? Qt::AlignHCenter
                                                        : Qt::AlignLeft;
        m_editor = CreateCellEditor(rect, style, kInPlaceEditId, row, col, text, key);
    } else if (!m_optionTexts.isEmpty()) {
        const qsizetype index = std::max<qsizetype>(0, m_optionTexts.indexOf(text));
        m_editor = new GridInPlaceList(viewport(), rect, kInPlaceEditId, row, col, m_optionTexts, m_optionTexts[index],
                                       m_optionData, key);
    }
}

QWidget* CGridView::CreateCellEditor(const QRect& rect, Qt::Alignment style, int id, int row, int col,
                                     const QString& text, unsigned key)
{
    return new GridInPlaceEdit(viewport(), rect, style, id, row, col, text, key, true);
}

void CGridView::ApplyEditedText(int row, int col, const QString& text)
{
    if (text == GetItemText(row, col))
        return;
    SetItemText(row, col, text);
    SetCellModified(true, row, col);
}

void CGridView::OnEndInPlaceEdit(const GridDispInfo& info)
{
    if (info.idFrom != kInPlaceEditId)
        return;
    m_editor = nullptr;
    const GridItem& item = info.item;
    ApplyEditedText(item.row, item.col, item.text);
    InvalidateCellRect(item.row, item.col);
    if (item.mask & GVIF_PARAM) {
        quint32 data1 = 0, data2 = 0;
        GetItemDataPair(item.row, item.col, data1, data2);
        // The edit box leaves data 2 as it was; the list stores its choice's data word.
        SetItemData(item.row, item.col, item.data1, (item.mask & GVIF_PARAM2) ? item.data2 : data2);
    }
    NotifyParent(LVN_ENDLABELEDITA, item.row, item.col);
    const unsigned key = item.data1;
    if (key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN)) {
        HandleKey(key, info.modifiers);
        const CCellID focus = GetFocusCell();
        BeginCellEdit(focus.row, focus.col, key);
    }
}
