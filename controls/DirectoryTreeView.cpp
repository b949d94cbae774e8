#include "DirectoryTreeView.h"

#include "DragSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

bool InBranch(const QTreeWidgetItem* item, const QTreeWidgetItem* branch)
{
    for (const QTreeWidgetItem* p = item; p; p = p->parent()) {
        if (p == branch)
            return true;
    }
    return false;
}

} // namespace

CTreeViewOwner::~CTreeViewOwner() = default;

int CTreeViewOwner::OnRowDropOnRow(int, int)
{
    return 0;
}

int CTreeViewOwner::OnRowDropOnTree(int, int)
{
    return 0;
}

CDirectoryTreeView::CDirectoryTreeView(QWidget* parent)
    : CTreeCtrlX(parent)
{
    SetMultiSelect(false);
    // A name longer than the pane is wide scrolls the pane instead of being cut.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // The owner shows the menu on the right button; Qt's context-menu event would reach it twice.
    setContextMenuPolicy(Qt::PreventContextMenu);
    m_timer.setInterval(kDragTimerPeriod);
    connect(&m_timer, &QTimer::timeout, this, &CDirectoryTreeView::OnTimer);
}

CDirectoryTreeView::~CDirectoryTreeView() = default;

void CDirectoryTreeView::mousePressEvent(QMouseEvent* event)
{
    if (m_dragging)
        return;
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(pos);
    if (event->button() == Qt::RightButton) {
        if (item)
            setCurrentItem(item);
        if (m_owner)
            m_owner->OnTreeContextMenu(viewport()->mapToGlobal(pos));
        event->accept();
        return;
    }
    CTreeCtrlX::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && item) {
        m_pressed = indexFromItem(item);
        m_pressPos = pos;
    }
}

void CDirectoryTreeView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragging) {
        m_lastPos = pos;
        if (m_dragImage)
            m_dragImage->move(pos - kDragHotSpot);
        UpdateDropTarget(pos);
        return;
    }
    if (!m_pressed.isValid() || !(event->buttons() & Qt::LeftButton)) {
        CTreeCtrlX::mouseMoveEvent(event);
        return;
    }
    // While the button is held over a group, the selection stays where it was pressed.
    if ((pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        QTreeWidgetItem* item = itemFromIndex(m_pressed);
        m_pressed = QPersistentModelIndex();
        BeginDrag(item, pos);
    }
}

void CDirectoryTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressed = QPersistentModelIndex();
    if (m_dragging && event->button() == Qt::LeftButton) {
        Drop();
        return;
    }
    if (!m_dragging)
        CTreeCtrlX::mouseReleaseEvent(event);
}

void CDirectoryTreeView::keyPressEvent(QKeyEvent* event)
{
    if (m_dragging) {
        if (event->key() == Qt::Key_Escape)
            EndDrag();
        event->accept();
        return;
    }
    CTreeCtrlX::keyPressEvent(event);
}

void CDirectoryTreeView::hideEvent(QHideEvent* event)
{
    EndDrag();
    CTreeCtrlX::hideEvent(event);
}

void CDirectoryTreeView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        EndDrag();
    CTreeCtrlX::changeEvent(event);
}

bool CDirectoryTreeView::viewportEvent(QEvent* event)
{
    if (m_dragging && event->type() == QEvent::ToolTip)
        return true;
    return CTreeCtrlX::viewportEvent(event);
}

void CDirectoryTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_dropTarget.isValid() && index.row() == m_dropTarget.row() && index.parent() == m_dropTarget.parent()) {
        QStyleOptionViewItem highlighted(option);
        highlighted.state |= QStyle::State_Selected;
        CTreeCtrlX::drawRow(painter, highlighted, index);
        return;
    }
    CTreeCtrlX::drawRow(painter, option, index);
}

void CDirectoryTreeView::SetDropHighlight(QTreeWidgetItem* item)
{
    if (m_dragging)
        return;
    const QPersistentModelIndex target = item ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
    if (target != m_dropTarget) {
        m_dropTarget = target;
        viewport()->update();
    }
}

void CDirectoryTreeView::BeginDrag(QTreeWidgetItem* item, const QPoint& pos)
{
    if (!item || !m_owner || item == topLevelItem(0) || !m_owner->CanStartDrag())
        return;
    m_dragItem = indexFromItem(item);
    setCurrentItem(item);

    m_dragImage = MakeDragImage(this, viewport(), item->text(0), pos);

    m_dragging = true;
    m_ticks = 0;
    m_lastPos = pos;
    m_timer.start();
    UpdateDropTarget(pos);
}

void CDirectoryTreeView::EndDrag()
{
    m_timer.stop();
    if (!m_dragging)
        return;
    m_dragging = false;
    delete m_dragImage;
    m_dropTarget = QPersistentModelIndex();
    viewport()->unsetCursor();
    viewport()->update();
}

void CDirectoryTreeView::Drop()
{
    QTreeWidgetItem* dragged = itemFromIndex(m_dragItem);
    QTreeWidgetItem* target = itemFromIndex(m_dropTarget);
    EndDrag();
    if (!dragged || !target || InBranch(target, dragged) || !m_owner)
        return;
    expandItem(target);
    const int dragData = ItemData(dragged);
    const int targetData = ItemData(target);
    if (!m_owner->OnTreeDrop(dragData, targetData))
        return;
    // The owner may have reloaded the tree meanwhile: the items are found again by their groups.
    target = FindItemByData(targetData);
    dragged = FindItemByData(dragData);
    if (!target || !dragged)
        return;
    QTreeWidgetItem* moved = CopyBranch(dragged, target);
    if (!moved)
        return;
    delete dragged;
    setCurrentItem(moved);
}

void CDirectoryTreeView::UpdateDropTarget(const QPoint& pos)
{
    QTreeWidgetItem* item = itemAt(pos);
    if (item && InBranch(item, itemFromIndex(m_dragItem)))
        item = nullptr;
    const QPersistentModelIndex target = item ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
    if (target != m_dropTarget) {
        m_dropTarget = target;
        viewport()->update();
    }
    viewport()->setCursor(item ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void CDirectoryTreeView::OnTimer()
{
    if (!m_dragging) {
        m_timer.stop();
        return;
    }
    ++m_ticks;
    const QRect area = viewport()->rect();
    if (const int distance = DragEdgeDistance(m_lastPos.y(), area.height())) {
        // The highlight goes to the edge item that the cursor points at.
        if (DragScroll(this, distance, m_ticks))
            UpdateDropTarget(QPoint(std::clamp(m_lastPos.x(), 0, std::max(0, area.width() - 1)),
                                    std::clamp(m_lastPos.y(), 0, std::max(0, area.height() - 1))));
        return;
    }
    QTreeWidgetItem* target = itemFromIndex(m_dropTarget);
    if (target && target->childCount() > 0 && !target->isExpanded())
        expandItem(target);
}
