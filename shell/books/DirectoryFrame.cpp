#include "DirectoryFrame.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "CommandIds.h"
#include "DirectoryDialogs.h"
#include "DirectoryFilterDlg.h"
#include "ReportView.h"
#include "Session.h"
#include "SplitterWndEx.h"
#include "tables/Forecasts.h"
#include "tables/SystemUsers.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QSplitter>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace DirectoryTexts;

namespace {

constexpr int kTreeWidth = 200;
constexpr int kCellPadding = 16; // the margins of a list cell
constexpr int kListPaneId = 1000;

struct MenuEntry {
    int id; // 0: separator
    const char16_t* caption;
};
constexpr MenuEntry kContextMenu[] = {
    {ID_BOOK_ADD_GROUP, u"Добавить &группу..."},
    {ID_BOOK_ADD_ELEMENT, u"Добавить &элемент..."},
    {ID_BOOK_EDIT, u"&Редактировать..."},
    {ID_BOOK_VIEW, u"&Просмотреть..."},
    {ID_BOOK_SAVE_DOCUMENT, u"Сохранить документ..."},
    {0, nullptr},
    {ID_BOOK_DELETE, u"У&далить"},
    {0, nullptr},
    {ID_BOOK_FILTER, u"Фильтр..."},
    {0, nullptr},
    {ID_BOOK_DEFAULT_SORT, u"Сортировать по умолчанию..."},
    {0, nullptr},
    {ID_BOOK_REFRESH, u"Обновить"},
};

int DataOf(const QTreeWidgetItem* item)
{
    return CTreeCtrlX::ItemData(item);
}

} // namespace

CDirectoryFrame::CDirectoryFrame(CSessionState& session, const CDirectoryFlags& flags, QWidget* parent)
    : CPanelFrame(parent)
    , m_session(session)
    , m_flags(flags)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new CReportView;
    m_list->SetOwner(this);
    m_list->SetImageList({QIcon(LoadBitmapRes(IDI_BOOK_GROUP)), QIcon(LoadBitmapRes(IDI_BOOK_ELEMENT))});
    // The user's column widths and tree width come back at the next start.
    m_list->KeepColumnWidths(QStringLiteral("SplitterWnd/Columns_%1").arg(m_flags.number));
    if (m_flags.hasTree) {
        auto* splitter = new CSplitterWndEx(m_flags.number, this);
        m_splitter = splitter;
        m_tree = new CDirectoryTreeView(m_splitter);
        m_tree->SetOwner(this);
        m_splitter->addWidget(m_list);
        m_splitter->setStretchFactor(0, 0);
        m_splitter->setStretchFactor(1, 1);
        m_splitter->setSizes({kTreeWidth, 100});
        m_list->SetTree(m_tree);
        layout->addWidget(m_splitter);
        connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { OnTreeSelChange(); });
        connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ExpandItem(item); });
        m_tree->installEventFilter(this);
    } else {
        m_list->setParent(this);
        m_list->setObjectName(QStringLiteral("id%1").arg(kListPaneId));
        m_list->setFrameShape(QFrame::StyledPanel);
        layout->addWidget(m_list);
        m_active = PaneList;
    }
    m_list->installEventFilter(this);
    connect(m_list, &CReportView::rowDoubleClicked, this, [this] { OnOpenRow(false); });
    RegisterCommands();
}

CDirectoryFrame::~CDirectoryFrame() = default;

void CDirectoryFrame::showEvent(QShowEvent* event)
{
    CPanelFrame::showEvent(event);
    if (!m_layoutPending || !m_splitter)
        return;
    // Once the frame has its size (the layouts have run): the tree as the user left it, else its
    // usual width or, for longer names, as wide as they are (up to a third); the list takes the rest.
    QTimer::singleShot(0, this, [this] {
        if (!m_layoutPending || !isVisible())
            return;
        m_layoutPending = false;
        auto* splitter = static_cast<CSplitterWndEx*>(m_splitter);
        const auto stored = splitter->StoredSizes();
        const int width = std::max(0, m_splitter->width() - m_splitter->handleWidth());
        const int names = m_tree->header()->sectionSize(0) + 2 * m_tree->frameWidth();
        const int tree = stored ? std::min(stored->first, width / 2) : std::max(kTreeWidth, std::min(names, width / 3));
        m_splitter->setSizes({tree, width - tree});
    });
}

// ---- the base operations

void CDirectoryFrame::FillChildren(CDirectoryTreeView*, QTreeWidgetItem*, int)
{
}

void CDirectoryFrame::FillList(CReportView*, int, const SqlFilter&)
{
}

void CDirectoryFrame::EditItem(int, int, bool, QString*, int*)
{
}

void CDirectoryFrame::ViewItem(int, int, bool, QString*)
{
}

void CDirectoryFrame::MoveItem(int, int, bool)
{
}

bool CDirectoryFrame::CanEditTreeItem(QTreeWidgetItem*)
{
    return true;
}

int CDirectoryFrame::EditRoles() const
{
    return ROLE_EXPERT | ROLE_USER;
}

bool CDirectoryFrame::HasEditRights(CCmdUI* ui)
{
    const int roles = EditRoles();
    if (roles == 0)
        return true;
    return ui ? ui->HasRights(m_session, roles) : m_session.HasRights(roles);
}

void CDirectoryFrame::ExpandItem(QTreeWidgetItem* item)
{
    if (!item || item->childCount() == 0 || DataOf(item->child(0)) != -1)
        return;
    QTreeWidgetItem* placeholder = item->child(0);
    FillChildren(m_tree, item, DataOf(item));
    delete placeholder;
}

bool CDirectoryFrame::MoveToGroup(int, int)
{
    return false;
}

bool CDirectoryFrame::CanModify()
{
    if (!m_flags.groupsEditable || m_flags.readOnly || m_session.currentForecastId < 1)
        return false;
    return MayChange();
}

QTreeWidgetItem* CDirectoryFrame::FindInTree(const QString&, const std::vector<int>&, int*)
{
    return nullptr;
}

int CDirectoryFrame::AddGroup(const QString&, int)
{
    return -1;
}

bool CDirectoryFrame::RenameGroup(int, const QString&)
{
    return false;
}

bool CDirectoryFrame::DeleteGroup(int)
{
    return false;
}

bool CDirectoryFrame::IsEditableWhenClosed()
{
    return false;
}

bool CDirectoryFrame::RunGroupDialog(QString* name, bool viewOnly)
{
    CDirectoryGroupDlg dlg(viewOnly, this);
    dlg.name = *name;
    if (dlg.DoModal() != QDialog::Accepted)
        return false;
    *name = dlg.name;
    return true;
}

void CDirectoryFrame::InsertRootItem(CDirectoryTreeView* tree, const QString& text, int id)
{
    auto* item = new QTreeWidgetItem(tree, QStringList{text});
    CTreeCtrlX::SetItemData(item, id);
    FillChildren(tree, item, id);
    item->setExpanded(true);
    if (!tree->currentItem())
        tree->setCurrentItem(item);
}

bool CDirectoryFrame::IsCurrentForecastOpen() const
{
    if (m_session.currentForecastId < 1)
        return false;
    // Asked at every command update: a failed read counts as "not open" and shows nothing.
    CErrorCollector quiet;
    const auto forecast = GetForecast(m_session.currentForecastId);
    quiet.take();
    return forecast && forecast->status == 0;
}

bool CDirectoryFrame::MayChange(CCmdUI* ui)
{
    return HasEditRights(ui) && (IsCurrentForecastOpen() || IsEditableWhenClosed());
}

// ---- commands

void CDirectoryFrame::RegisterCommands()
{
    const auto viewRights = [this](CCmdUI& ui) { ui.Enable(ui.HasRights(m_session, ROLE_EXPERT | ROLE_USER)); };

    OnCommand(ID_BOOK_ADD_GROUP, [this] { OnAddGroup(); });
    OnUpdateCommand(ID_BOOK_ADD_GROUP, [this](CCmdUI& ui) {
        ui.Enable(m_flags.groupsEditable && !m_flags.readOnly && m_session.currentForecastId > 0 && m_tree
                  && m_tree->currentItem() && MayChange(&ui));
    });
    OnCommand(ID_BOOK_ADD_ELEMENT, [this] {
        QString name;
        int id = -1;
        EditItem(-1, SelectedGroup(), false, &name, &id);
    });
    OnUpdateCommand(ID_BOOK_ADD_ELEMENT, [this](CCmdUI& ui) {
        ui.Enable(!m_flags.readOnly && m_session.currentForecastId > 0 && MayChange(&ui));
    });
    OnCommand(ID_BOOK_EDIT, [this] { OnEditOrView(true); });
    OnUpdateCommand(ID_BOOK_EDIT, [this](CCmdUI& ui) { ui.Enable(EditEnabled(&ui)); });
    OnCommand(ID_BOOK_VIEW, [this] { OnEditOrView(false); });
    OnUpdateCommand(ID_BOOK_VIEW, viewRights);
    OnCommand(ID_BOOK_DELETE, [this] { OnDelete(); });
    OnUpdateCommand(ID_BOOK_DELETE, [this](CCmdUI& ui) { ui.Enable(DeleteEnabled(&ui)); });
    // Moving rows is offered, never enabled.
    for (int id : {ID_BOOK_MOVE_UP, ID_BOOK_MOVE_DOWN}) {
        OnCommand(id, [] {});
        OnUpdateCommand(id, [](CCmdUI& ui) { ui.Enable(false); });
    }
    OnCommand(ID_BOOK_FILTER, [this] { OnFilter(); });
    OnUpdateCommand(ID_BOOK_FILTER, [this, viewRights](CCmdUI& ui) {
        viewRights(ui);
        ui.SetCheck(m_filter.hasCondition());
    });
    OnCommand(ID_BOOK_DEFAULT_SORT, [this] { Refresh(); });
    OnUpdateCommand(ID_BOOK_DEFAULT_SORT, viewRights);
    OnCommand(ID_BOOK_REFRESH, [this] { Refresh(); });
    OnUpdateCommand(ID_BOOK_REFRESH, [](CCmdUI& ui) { ui.Enable(true); });
    // The document book runs the command itself; the rule is the frame's.
    OnUpdateCommand(ID_BOOK_SAVE_DOCUMENT, [this](CCmdUI& ui) {
        ui.Enable(m_list->GetSelectedCount() > 0 && IsCurrentForecastOpen() && HasEditRights(&ui));
    });
    OnCommand(ID_SEARCH_BUTTON, [this] { OnSearch(); });
    OnUpdateCommand(ID_SEARCH_BUTTON, [](CCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_SEARCH_NEXT, [this] { OnFindNext(); });
    OnUpdateCommand(ID_SEARCH_NEXT, [](CCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_SEARCH, [this] {
        if (auto* box = window()->findChild<QComboBox*>(QStringLiteral("id%1").arg(ID_SEARCH_TEXT)))
            box->setFocus(Qt::ShortcutFocusReason);
    });
    OnUpdateCommand(ID_SEARCH, [](CCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_OPEN_ROW, [this] { OnOpenRow(true); });
    OnCommand(ID_GROUP_UP, [this] { OnGroupUp(); });
    OnCommand(ID_FRAME_CLOSE, [this] { close(); });
}

bool CDirectoryFrame::EditEnabled(CCmdUI* ui)
{
    if (m_flags.readOnly)
        return false;
    if (m_tree && m_active == PaneTree) {
        QTreeWidgetItem* item = m_tree->currentItem();
        return m_flags.groupsEditable && item && CanEditTreeItem(item) && MayChange(ui);
    }
    if (!m_tree || m_active == PaneList)
        return m_list->GetSelectedCount() > 0 && MayChange(ui);
    return false;
}

bool CDirectoryFrame::DeleteEnabled(CCmdUI* ui)
{
    if (!EditEnabled(ui))
        return false;
    if (m_tree && m_active == PaneTree) {
        const QTreeWidgetItem* item = m_tree->currentItem();
        return m_flags.groupsEditable && item && item->parent();
    }
    return true;
}

int CDirectoryFrame::SelectedGroup() const
{
    return m_tree ? DataOf(m_tree->currentItem()) : 0;
}

void CDirectoryFrame::LoadList(int groupId)
{
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllItems();
    m_list->SetSortColumn(-1);
    m_searchIndex.clear();
    SqlFilter filter = m_filter;
    filter.orderBy = m_order;
    FillList(m_list, groupId, filter);
    m_list->setUpdatesEnabled(true);
}

void CDirectoryFrame::ReloadTree()
{
    if (!m_tree)
        return;
    m_reloadingTree = true;
    m_tree->clear();
    FillTree(m_tree);
    m_reloadingTree = false;
}

void CDirectoryFrame::Refresh()
{
    if (m_tree) {
        if (QTreeWidgetItem* top = m_tree->topLevelItem(0)) {
            m_reloadingTree = true;
            top->sortChildren(0, Qt::AscendingOrder);
            m_reloadingTree = false;
        }
    }
    LoadList(SelectedGroup());
}

void CDirectoryFrame::OnTreeSelChange()
{
    if (!m_reloadingTree)
        LoadList(SelectedGroup());
}

void CDirectoryFrame::OnForecastChanged(int wParam)
{
    if (m_loadedForecast == m_session.currentForecastId)
        return;
    if (isHidden()) {
        // The fields come again, without conditions, when the frame is shown; so does its filter.
        filterFields().clear();
        m_filter = SqlFilter();
        return;
    }
    if ((m_flags.forecastBound && HasFilterFields()) || wParam == 1) {
        ReloadTree();
        Refresh();
    }
}

void CDirectoryFrame::InsertFieldColumns(CReportView* list) const
{
    int column = 0;
    for (const CFilterField& field : filterFields()) {
        if (!field.visible)
            continue;
        // A date column holds a whole date and time.
        const int width = field.kind == FF_DATE ? std::max(field.width, DateColumnWidth(list)) : field.width;
        list->InsertColumn(column++, field.caption, width, Qt::AlignLeft);
    }
}

int CDirectoryFrame::DateColumnWidth(const CReportView* list)
{
    return list->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + kCellPadding;
}

void CDirectoryFrame::InitListColumns()
{
    m_list->DeleteAllItems();
    m_list->DeleteAllColumns();
    InsertFieldColumns(m_list);
    ReloadTree();
    Refresh();
}

void CDirectoryFrame::OnAddGroup()
{
    QTreeWidgetItem* parent = m_tree ? m_tree->currentItem() : nullptr;
    if (!parent)
        return;
    if (!m_flags.groupsAreRecords) {
        RenameOrCreateGroup(nullptr, false);
        return;
    }
    // The parent's own children come first, so that the new one is not taken for them.
    ExpandItem(parent);
    QString name;
    int id = -1;
    EditItem(-1, DataOf(parent), true, &name, &id);
    if (id < 0)
        return;
    auto* item = new QTreeWidgetItem;
    item->setText(0, name);
    CTreeCtrlX::SetItemData(item, id);
    parent->insertChild(0, item);
    parent->sortChildren(0, Qt::AscendingOrder);
    m_tree->setCurrentItem(item);
    Refresh();
}

void CDirectoryFrame::RenameOrCreateGroup(QTreeWidgetItem* item, bool viewOnly)
{
    QString name = item ? item->text(0) : QString();
    if (!RunGroupDialog(&name, viewOnly) || viewOnly)
        return;
    if (item) {
        if (RenameGroup(DataOf(item), name))
            item->setText(0, name);
        return;
    }
    QTreeWidgetItem* parent = m_tree->currentItem();
    const int id = AddGroup(name, parent ? DataOf(parent) : 0);
    if (id < 0)
        return;
    ExpandItem(parent);
    auto* created = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    created->setText(0, name);
    CTreeCtrlX::SetItemData(created, id);
    m_tree->setCurrentItem(created);
    Refresh();
}

void CDirectoryFrame::EditGroupItem(QTreeWidgetItem* item, bool edit)
{
    if (!m_flags.groupsAreRecords) {
        RenameOrCreateGroup(item, !edit);
        return;
    }
    const int parentId = item->parent() ? DataOf(item->parent()) : 0;
    QString name;
    int id = DataOf(item);
    if (edit)
        EditItem(id, parentId, true, &name, &id);
    else
        ViewItem(id, parentId, true, &name);
    if (!name.isEmpty())
        item->setText(0, name);
}

void CDirectoryFrame::OnEditOrView(bool edit)
{
    if (m_tree && m_active == PaneTree) {
        QTreeWidgetItem* item = m_tree->currentItem();
        if (item && (m_flags.groupsAreRecords || m_flags.groupsEditable))
            EditGroupItem(item, edit);
        return;
    }
    const auto selected = SelectedRowData();
    if ((edit && m_tree && m_active != PaneList) || !selected)
        return;
    const int data = *selected;
    if (data >= 0) {
        QString name;
        int id = data;
        if (edit)
            EditItem(data, SelectedGroup(), false, &name, &id);
        else
            ViewItem(data, SelectedGroup(), false, &name);
        m_list->setFocus();
        return;
    }
    if (QTreeWidgetItem* item = m_tree ? m_tree->FindItemByData(-data) : nullptr)
        EditGroupItem(item, edit);
}

void CDirectoryFrame::OnDelete()
{
    if (m_tree && m_active == PaneTree) {
        QTreeWidgetItem* item = m_tree->currentItem();
        if (!m_flags.groupsEditable || !item || !item->parent())
            return;
        if (AppMessageBox(kDeleteGroup, MB_YESNO | MB_ICONQUESTION, this) != IDYES || !DeleteGroup(DataOf(item)))
            return;
        m_reloadingTree = true;
        delete item;
        m_reloadingTree = false;
        Refresh();
        return;
    }
    const auto selected = SelectedRowData();
    if ((m_tree && m_active != PaneList) || !selected)
        return;
    const int data = *selected;
    if (data >= 0) {
        if (AppMessageBox(kDeleteElement, MB_YESNO | MB_ICONQUESTION, this) == IDYES)
            DeleteItem(data);
        return;
    }
    if (AppMessageBox(kDeleteGroup, MB_YESNO | MB_ICONQUESTION, this) != IDYES || !DeleteGroup(-data))
        return;
    if (QTreeWidgetItem* item = m_tree ? m_tree->FindItemByData(-data) : nullptr) {
        m_reloadingTree = true;
        delete item;
        m_reloadingTree = false;
    }
    Refresh();
}

std::optional<int> CDirectoryFrame::SelectedRowData() const
{
    const int row = m_list->GetSelectedRow();
    if (row < 0)
        return std::nullopt;
    return m_list->GetItemData(row);
}

void CDirectoryFrame::OnOpenRow(bool selectFirstRow)
{
    const auto selected = SelectedRowData();
    if (!selected)
        return;
    const int data = *selected;
    if (data < 0) {
        if (!m_tree)
            return;
        QTreeWidgetItem* item = m_tree->FindItemByData(-data);
        if (!item) {
            // The group's own tree item may not be loaded yet.
            ExpandItem(m_tree->currentItem());
            item = m_tree->FindItemByData(-data);
        }
        if (!item)
            return;
        m_tree->setCurrentItem(item);
        m_tree->scrollToItem(item);
        if (selectFirstRow)
            m_list->SelectRow(0);
    } else if (data > 0 && HasEditRights()) {
        QString name;
        ViewItem(data, SelectedGroup(), false, &name);
        m_list->setFocus();
    }
}

void CDirectoryFrame::OnGroupUp()
{
    QTreeWidgetItem* item = m_tree ? m_tree->currentItem() : nullptr;
    if (!item || !item->parent())
        return;
    const int left = DataOf(item);
    m_reloadingTree = true;
    m_tree->setCurrentItem(item->parent());
    m_reloadingTree = false;
    LoadList(SelectedGroup());
    m_list->SelectRow(0);
    const int row = m_list->FindRowByData(-left);
    if (row >= 0) {
        m_list->SelectRow(row);
        m_list->setFocus();
    }
}

void CDirectoryFrame::OnFilter()
{
    CDirectoryFilterDlg dlg(filterFields(), this);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    filterFields() = dlg.fields();
    m_filter = FilterCondition(filterFields());
    Refresh();
}

// ---- the search

bool CDirectoryFrame::SearchRows(int start, const QString& text)
{
    if (m_list->IsPaged()) {
        // The database looks through the rows the list has not read.
        const int row = m_list->FindText(text, std::max(start, 0));
        if (row < 0)
            return row == -2; // a failure ends the search (it is shown)
        m_list->SelectRow(row);
        m_foundIds.push_back(m_list->GetItemData(row));
        return true;
    }
    for (int row = std::max(start, 0); row < m_list->GetItemCount(); ++row) {
        const int data = m_list->GetItemData(row);
        for (const CIdName& entry : m_searchIndex) {
            if ((entry.id != data && entry.id != -data) || !entry.text.contains(text))
                continue;
            m_list->SelectRow(row);
            m_list->scrollTo(m_list->model()->index(row, 0));
            m_foundIds.push_back(entry.id);
            return true;
        }
    }
    return false;
}

void CDirectoryFrame::OnSearch()
{
    auto* box = window()->findChild<QComboBox*>(QStringLiteral("id%1").arg(ID_SEARCH_TEXT));
    const QString typed = box ? box->currentText() : QString();
    if (typed.isEmpty())
        return;
    const QString text = typed.toUpper();
    if (text != m_searchText) {
        m_foundIds.clear();
        m_searchText = text;
    }
    if (box->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        box->addItem(typed);
        box->setEditText(typed);
    }
    const int selected = m_list->GetSelectedRow();
    int start = selected + 1;
    bool wrap = selected > 0;
    for (;;) {
        if (SearchRows(start, text))
            return;
        if (m_tree) {
            int foundId = -1;
            if (QTreeWidgetItem* item = FindInTree(text, m_foundIds, &foundId)) {
                // Counted as found at once: an element the list does not show is not sought again.
                m_foundIds.push_back(foundId);
                m_reloadingTree = true;
                m_tree->setCurrentItem(item);
                m_tree->scrollToItem(item);
                item->setExpanded(true);
                m_reloadingTree = false;
                LoadList(DataOf(item));
                start = 0;
                wrap = false;
                continue;
            }
        }
        if (!wrap)
            return;
        if (AppMessageBoxCaption(BookSearchTexts::kWrap, BookSearchTexts::kCaption, MB_YESNO | MB_ICONQUESTION, this)
            != IDYES)
            return;
        m_foundIds.clear();
        wrap = false;
        start = 0;
    }
}

void CDirectoryFrame::OnFindNext()
{
    OnSearch();
    m_list->setFocus(Qt::OtherFocusReason);
}

// ---- the context menu, keys and drops

QMenu* CDirectoryFrame::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("id139"));
    const bool offerDocument = !m_tree && !m_flags.groupsEditable && m_flags.hasDocument;
    for (const MenuEntry& e : kContextMenu) {
        if (e.id == 0) {
            menu->addSeparator();
            continue;
        }
        if ((e.id == ID_BOOK_SAVE_DOCUMENT && !offerDocument) || (e.id == ID_BOOK_EDIT && !m_flags.editable))
            continue;
        QAction* action = menu->addAction(QString::fromUtf16(e.caption));
        action->setObjectName(QStringLiteral("id%1").arg(e.id));
        const CCmdUI ui = UpdateCommand(*this, e.id);
        action->setEnabled(ui.enabled());
        if (ui.checkChanged()) {
            action->setCheckable(true);
            action->setChecked(ui.checked());
        }
        // The main window's action of the command, when there is one, runs it through the routing.
        const int id = e.id;
        QPointer<QAction> shared = window() != this
            ? window()->findChild<QAction*>(QStringLiteral("id%1").arg(id), Qt::FindDirectChildrenOnly)
            : nullptr;
        if (shared)
            action->setIcon(shared->icon());
        connect(action, &QAction::triggered, this, [this, id, shared] {
            if (shared)
                shared->trigger();
            else
                OnCmdMsg(id, CmdMsg::Execute, nullptr);
        });
    }
    return menu;
}

void CDirectoryFrame::OnTreeContextMenu(const QPoint& globalPos)
{
    std::unique_ptr<QMenu> menu(CreateContextMenu());
    menu->exec(globalPos);
}

bool CDirectoryFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_tree && watched != m_list)
        return CPanelFrame::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        m_active = watched == m_tree ? PaneTree : PaneList;
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        int command = 0;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier)
            command = ID_OPEN_ROW;
        else if (key->key() == Qt::Key_Backspace && mods == Qt::ControlModifier)
            command = ID_GROUP_UP;
        else if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier)
            command = ID_BOOK_DELETE;
        if (command) {
            m_active = watched == m_tree ? PaneTree : PaneList;
            if (UpdateCommand(*this, command).enabled())
                OnCmdMsg(command, CmdMsg::Execute, nullptr);
            return true;
        }
    }
    return CPanelFrame::eventFilter(watched, event);
}

bool CDirectoryFrame::CanStartDrag()
{
    return CanModify();
}

int CDirectoryFrame::AskMove()
{
    return AppMessageBox(kMoveQuestion, MB_YESNO | MB_ICONQUESTION, this);
}

int CDirectoryFrame::OnTreeDrop(int dragData, int targetData)
{
    if (AskMove() != IDYES)
        return 0;
    return MoveToGroup(dragData, targetData) ? 1 : 0;
}

int CDirectoryFrame::OnRowDropOnRow(int dragRow, int dropRow)
{
    if (AskMove() != IDYES)
        return 0;
    return MoveToGroup(std::abs(m_list->GetItemData(dragRow)), std::abs(m_list->GetItemData(dropRow))) ? 1 : 0;
}

int CDirectoryFrame::OnRowDropOnTree(int dragRow, int treeData)
{
    if (AskMove() != IDYES)
        return 0;
    return MoveToGroup(std::abs(m_list->GetItemData(dragRow)), treeData) ? 1 : 0;
}
