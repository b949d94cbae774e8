#include "TreeCtrlX.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

namespace {

// Keys below the printable range, and keys that only modify others: they leave the selection be.
bool KeepsSelection(int key)
{
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

} // namespace

CTreeCtrlX::CTreeCtrlX(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    SetMultiSelect(true);
}

int CTreeCtrlX::ItemData(const QTreeWidgetItem* item)
{
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

void CTreeCtrlX::SetItemData(QTreeWidgetItem* item, int data)
{
    item->setData(0, Qt::UserRole, data);
}

bool CTreeCtrlX::IsChecked(const QTreeWidgetItem* item)
{
    return item && item->checkState(0) == Qt::Checked;
}

void CTreeCtrlX::SetMultiSelect(bool on)
{
    m_multiSelect = on;
    m_anchor = QPersistentModelIndex();
    // Multi-selection is ours alone: Qt's own rules would let it cross parents.
    setSelectionMode(on ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
}

void CTreeCtrlX::SetAnchor(QTreeWidgetItem* item)
{
    m_anchor = item ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
}

QTreeWidgetItem* CTreeCtrlX::GetNextItemDeep(const QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    if (item->childCount() > 0)
        return item->child(0);
    for (auto* i = const_cast<QTreeWidgetItem*>(item); i; i = i->parent()) {
        QTreeWidgetItem* parent = i->parent();
        QTreeWidgetItem* next =
            parent ? parent->child(parent->indexOfChild(i) + 1) : topLevelItem(indexOfTopLevelItem(i) + 1);
        if (next)
            return next;
    }
    return nullptr;
}

QTreeWidgetItem* CTreeCtrlX::FindItemByData(int data) const
{
    for (QTreeWidgetItemIterator it(const_cast<CTreeCtrlX*>(this)); *it; ++it) {
        if (ItemData(*it) == data)
            return *it;
    }
    return nullptr;
}

void CTreeCtrlX::ClearSelection(QTreeWidgetItem* item)
{
    if (!item) {
        clearSelection(); // the whole tree
        return;
    }
    QTreeWidgetItem* parent = item->parent();
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = parent ? parent->indexOfChild(item) : indexOfTopLevelItem(item); i < count; ++i) {
        QTreeWidgetItem* sibling = parent ? parent->child(i) : topLevelItem(i);
        if (sibling->isSelected())
            sibling->setSelected(false);
        if (sibling->childCount() > 0)
            ClearSelection(sibling->child(0));
    }
}

void CTreeCtrlX::SelectRange(QTreeWidgetItem* anchor, QTreeWidgetItem* item)
{
    if (!anchor || !item)
        return;
    ClearSelection();
    QTreeWidgetItem* group = anchor->parent();
    if (item->parent() == group)
        setCurrentItem(item);
    // Either end may come first.
    QTreeWidgetItem* first = nullptr;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        QTreeWidgetItem* i = *it;
        const bool end = i == anchor || i == item;
        if (end && !first)
            first = i;
        if (first && i->parent() == group && i->childCount() == 0)
            i->setSelected(true);
        if (end && (i != first || anchor == item))
            break;
    }
}

QTreeWidgetItem* CTreeCtrlX::GetFirstSelectedItem(QTreeWidgetItem* item) const
{
    if (!item)
        item = topLevelItem(0);
    if (!item)
        return nullptr;
    QTreeWidgetItem* parent = item->parent();
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = parent ? parent->indexOfChild(item) : indexOfTopLevelItem(item); i < count; ++i) {
        QTreeWidgetItem* sibling = parent ? parent->child(i) : topLevelItem(i);
        if (sibling->isSelected())
            return sibling;
        if (sibling->childCount() > 0) {
            if (QTreeWidgetItem* found = GetFirstSelectedItem(sibling->child(0)))
                return found;
        }
    }
    return nullptr;
}

QTreeWidgetItem* CTreeCtrlX::GetNextSelectedItem(const QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    auto* i = const_cast<QTreeWidgetItem*>(item);
    QTreeWidgetItem* parent = i->parent();
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int k = (parent ? parent->indexOfChild(i) : indexOfTopLevelItem(i)) + 1; k < count; ++k) {
        QTreeWidgetItem* sibling = parent ? parent->child(k) : topLevelItem(k);
        if (sibling->isSelected())
            return sibling;
    }
    return nullptr;
}

QTreeWidgetItem* CTreeCtrlX::GetFirstCheckedItem() const
{
    for (QTreeWidgetItemIterator it(const_cast<CTreeCtrlX*>(this)); *it; ++it) {
        if (IsChecked(*it))
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem* CTreeCtrlX::GetNextCheckedItem(const QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    QTreeWidgetItemIterator it(const_cast<QTreeWidgetItem*>(item));
    for (++it; *it; ++it) {
        if (IsChecked(*it))
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem* CTreeCtrlX::CopyItem(const QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                      QTreeWidgetItem* insertAfter)
{
    auto* copy = new QTreeWidgetItem;
    copy->setText(0, item->text(0));
    copy->setFlags(item->flags());
    copy->setData(0, Qt::UserRole, item->data(0, Qt::UserRole));
    if (item->data(0, Qt::CheckStateRole).isValid())
        copy->setCheckState(0, item->checkState(0));
    if (newParent) {
        const int at = insertAfter ? newParent->indexOfChild(insertAfter) + 1 : newParent->childCount();
        newParent->insertChild(at, copy);
    } else {
        insertTopLevelItem(insertAfter ? indexOfTopLevelItem(insertAfter) + 1 : topLevelItemCount(), copy);
    }
    return copy;
}

QTreeWidgetItem* CTreeCtrlX::CopyBranch(const QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                        QTreeWidgetItem* insertAfter)
{
    for (const QTreeWidgetItem* p = newParent; p; p = p->parent()) {
        if (p == item)
            return nullptr; // a branch does not fit inside itself
    }
    QTreeWidgetItem* copy = CopyItem(item, newParent, insertAfter);
    for (int i = 0; i < item->childCount(); ++i)
        CopyBranch(item->child(i), copy);
    return copy;
}

// ---------------------------------------------------------------------------------------------

void CTreeCtrlX::MoveCaret(QTreeWidgetItem* to)
{
    QTreeWidgetItem* from = currentItem();
    if (from && from != to)
        from->setSelected(false);
    if (from != to)
        setCurrentItem(to);
    if (to)
        to->setSelected(true);
}

void CTreeCtrlX::ClearCaret()
{
    if (QTreeWidgetItem* caret = currentItem())
        caret->setSelected(false);
    setCurrentItem(nullptr);
}

void CTreeCtrlX::SystemClick(QMouseEvent* event, QTreeWidgetItem* item)
{
    QTreeWidgetItem* from = currentItem();
    QTreeWidget::mousePressEvent(event);
    // A click on the expand button moves no caret.
    if (item && currentItem() == item) {
        if (from && from != item)
            from->setSelected(false);
        item->setSelected(true);
    }
}

void CTreeCtrlX::SystemKey(QKeyEvent* event)
{
    QTreeWidgetItem* from = currentItem();
    QTreeWidget::keyPressEvent(event);
    if (currentItem() != from) {
        if (from)
            from->setSelected(false);
        if (currentItem())
            currentItem()->setSelected(true);
    }
}

void CTreeCtrlX::OnCtrlClick(QMouseEvent* event, QTreeWidgetItem* item)
{
    if (item->childCount() > 0)
        return;
    SetAnchor(nullptr);
    // The selection stays within one parent.
    for (const QTreeWidgetItem* selected : selectedItems()) {
        if (selected != item && selected->parent() != item->parent())
            return;
    }
    const bool select = !item->isSelected();
    QTreeWidgetItem* caret = currentItem();
    const bool caretSelected = caret && caret->isSelected();
    if (caret == item)
        ClearCaret();
    SystemClick(event, item);
    item->setSelected(select);
    if (caret && caret != item && caret->childCount() == 0)
        caret->setSelected(caretSelected);
}

void CTreeCtrlX::OnShiftArrow(bool down)
{
    QTreeWidgetItem* caret = currentItem();
    if (!caret)
        return;
    if (!anchor()) {
        SetAnchor(caret);
        ClearSelection();
        caret->setSelected(true);
    }
    QTreeWidgetItem* next = down ? itemBelow(caret) : itemAbove(caret);
    if (!next || next->parent() != anchor()->parent())
        return;
    // Moving away from the anchor extends the range, moving back towards it shrinks it.
    const bool wasSelected = next->isSelected();
    setCurrentItem(next);
    next->setSelected(true);
    if (wasSelected)
        caret->setSelected(false);
}

void CTreeCtrlX::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (!m_multiSelect || event->button() != Qt::LeftButton || !item) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::ControlModifier) {
        OnCtrlClick(event, item);
    } else if (modifiers & Qt::ShiftModifier) {
        if (!anchor())
            SetAnchor(currentItem() ? currentItem() : item);
        if (currentItem() == item)
            ClearCaret();
        SystemClick(event, item);
        SelectRange(anchor(), item);
    } else {
        ClearSelection();
        SetAnchor(nullptr);
        SystemClick(event, item);
    }
}

void CTreeCtrlX::keyPressEvent(QKeyEvent* event)
{
    if (!m_multiSelect) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if ((event->modifiers() & Qt::ShiftModifier) && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        OnShiftArrow(key == Qt::Key_Down);
        event->accept();
        return;
    }
    if (!KeepsSelection(key)) {
        ClearSelection();
        SetAnchor(nullptr);
    }
    SystemKey(event);
}
