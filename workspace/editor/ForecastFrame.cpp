// The editor frame: its panes, the group tree, the commands and the recalculation entries. The list
// is in ForecastFrameList.cpp, the card in ForecastFrameCard.cpp, filter and search in
// ForecastFrameSearch.cpp.
#include "ForecastFrame.h"
#include "ForecastCommands.h"

#include "AppMessage.h"
#include "ColumnWidths.h"
#include "CommandIds.h"
#include "DirectoryTreeView.h"
#include "EditorColumns.h"
#include "ModalHook.h"
#include "RecalcRunner.h"
#include "Session.h"
#include "Settings.h"
#include "SplitterWndEx.h"
#include "WaitCursor.h"
#include "tables/PriceChecks.h"
#include "tables/ReceiverMap.h"
#include "tables/SystemUsers.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kFirstPaneId = 59648;     // the frame's first pane, and the list in the nested splitter
constexpr int kSecondRowPaneId = 59664; // the card
constexpr int kOuterSplitterNumber = 3;
constexpr int kNestedSplitterNumber = 4;
constexpr int kTreeWidth = 300;
constexpr int kTreeMinWidth = 100;
constexpr int kCardMargin = 12;

QString TreeItemText(const CProductRecord& group)
{
    return group.code.isEmpty() ? group.name : QStringLiteral("[") + group.code + QStringLiteral("]") + group.name;
}

} // namespace

void RegisterForecastEditor()
{
    PanelFrameFactories().forecast = [](QWidget* parent, CSessionState& session) -> CForecastFrameBase* {
        return new CForecastFrame(session, parent);
    };
}

CForecastFrame::CForecastFrame(CSessionState& session, QWidget* parent)
    : CForecastFrameBase(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("CForecastFrame"));
    m_tree = new CDirectoryTreeView;
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_list = new CForecastGridView;
    m_card = new CForecastGridView;
    m_list->SetDlgCtrlID(kFirstPaneId);
    m_card->SetDlgCtrlID(kSecondRowPaneId);

    m_splitter = new CSplitterWndEx(kOuterSplitterNumber);
    m_splitter->CreateTwoPanes(this, m_tree, nullptr, true, kFirstPaneId);
    m_nested = m_splitter->CreateNestedSplitter(1, kNestedSplitterNumber, m_list, m_card, false);
    m_tree->setMinimumWidth(kTreeMinWidth);
    // The card keeps its height when the frame is resized; the list takes the rest.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_nested->setStretchFactor(0, 1);
    m_nested->setStretchFactor(1, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    for (CForecastGridView* grid : {m_list, m_card}) {
        grid->SetOwner(this);
        grid->SetMenuOwner(this);
        grid->installEventFilter(this);
        connect(grid, &CGridView::columnSizedByUser, this, [this, grid](int column) { NoteUserWidth(grid, column); });
    }
    m_list->SetEditable(false);
    m_activeGrid = m_list;

    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ExpandGroupItem(item); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] {
        if (!m_fillingTree)
            ReloadList();
    });

    RegisterCommands();
    BuildCardGrid();
    ClearList();
    Refresh(false, false);
}

CForecastFrame::~CForecastFrame()
{
    // Nothing the panes report while they go may reach the frame.
    disconnect(m_tree, nullptr, this, nullptr);
    for (CForecastGridView* grid : {m_list, m_card}) {
        grid->removeEventFilter(this);
        grid->SetOwner(nullptr);
        grid->SetMenuOwner(nullptr);
    }
    // The column widths the user set come back at the next start; so do the splitters' sizes, which
    // they write while the panes are still there.
    for (const auto& [widths, name] : {std::pair{&m_listWidths, EditorColumns::kListColumnsValue},
                                       std::pair{&m_cardWidths, EditorColumns::kCardColumnsValue}})
        if (!widths->empty())
            WriteProfileNumbers(m_nested->ProfilePath(name), *widths);
    delete m_splitter;
}

std::vector<int> CForecastFrame::UserWidths(const QString& path, const int* usual, int count)
{
    std::vector<int> widths = StoredColumnWidths(path, count);
    widths.resize(size_t(count), -1);
    for (int c = 0; c < count; ++c)
        if (widths[size_t(c)] == usual[c])
            widths[size_t(c)] = -1;
    return widths;
}

void CForecastFrame::NoteUserWidth(CGridView* grid, int column)
{
    std::vector<int>& widths = grid == m_list ? m_listWidths : m_cardWidths;
    if (column >= 0 && size_t(column) < widths.size())
        widths[size_t(column)] = grid->GetColumnWidth(column);
    if (grid == m_list)
        FitListColumns();
    else
        FitCardColumns();
}

int CForecastFrame::FitGridColumns(CGridView& grid, const std::vector<int>& userWidths, int first, int last, int room,
                                   const std::function<CColumnFit(int column)>& fit)
{
    std::vector<CColumnFit> fits;
    std::vector<int> fitted;
    for (int c = first; c <= last; ++c) {
        if (const int user = userWidths[size_t(c)]; user >= 0) {
            grid.SetColumnWidth(c, user);
            room -= user;
        } else {
            fits.push_back(fit(c));
            fitted.push_back(c);
        }
    }
    const std::vector<int> widths = FitColumnWidths(fits, room);
    for (size_t i = 0; i < fitted.size(); ++i) {
        grid.SetColumnWidth(fitted[i], widths[i]);
        room -= widths[i];
    }
    return room;
}

int CForecastFrame::CardHeight() const
{
    int height = kCardMargin + 2 * m_card->frameWidth() + m_card->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int r = 0; r < m_card->GetRowCount(); ++r)
        height += m_card->GetRowHeight(r);
    return height;
}

void CForecastFrame::RegisterCommands()
{
    const CSessionState& s = m_session;

    OnCommand(ID_GROUP_TOTALS, [this] { OnRecalcGroups(); });
    OnUpdateCommand(ID_GROUP_TOTALS, [this](CCmdUI& ui) { OnUpdateRecalcGroups(ui); });
    OnCommand(ID_RECALC_NODE, [this] { OnRecalcNode(); });
    OnCommand(ID_RECALC_FORECAST, [this] { OnRecalcForecast(); });
    OnCommand(ID_RECALC_BALANCE, [] {});

    OnCommand(ID_FILTER_WRONG,
              [this] { ToggleFilter(&CForecastFilterValues::onlyWrong, &CForecastFilterValues::onlyCommented); });
    OnCommand(ID_FILTER_COMMENTED,
              [this] { ToggleFilter(&CForecastFilterValues::onlyCommented, &CForecastFilterValues::onlyWrong); });
    OnCommand(ID_FILTER_FILLED, [this] { ToggleFilter(&CForecastFilterValues::onlyFilled, nullptr); });
    for (int id : {ID_FILTER_WRONG, ID_FILTER_COMMENTED, ID_FILTER_FILLED, ID_BOOK_FILTER})
        OnUpdateCommand(id, [this, id](CCmdUI& ui) {
            ui.Enable(true);
            ui.SetCheck(IsFilterOn(id));
        });
    OnCommand(ID_BOOK_FILTER, [this] { OnFilter(); });

    // The data check and the consolidation open their own windows over the frame.
    OnCommand(ID_FORECAST_CHECK, [this] { OnForecastCheck(m_session, this); });
    OnUpdateCommand(ID_FORECAST_CHECK, [&s](CCmdUI& ui) { ui.Enable(IsForecastCheckEnabled(s)); });
    OnCommand(ID_TOTAL_GENERATE, [this] {
        if (OnTotalForecast(m_session, this) && m_receiverId == 0)
            LoadTotalList();
    });
    OnUpdateCommand(ID_TOTAL_GENERATE,
                    [&s](CCmdUI& ui) { ui.Enable(ui.HasRights(s, ROLE_EXPERT) && IsTotalForecastEnabled(s)); });

    OnCommand(ID_SEARCH_BUTTON, [this] { OnSearch(); });
    OnUpdateCommand(ID_SEARCH_BUTTON, [](CCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_SEARCH, [this] { OnSearchFocus(); });
    OnCommand(ID_SEARCH_NEXT, [this] { OnFindNext(); });
    for (int id : {ID_SEARCH, ID_SEARCH_NEXT})
        OnUpdateCommand(id, [&s](CCmdUI& ui) { ui.Enable(ui.HasRights(s, ROLE_EXPERT | ROLE_USER)); });
}

bool CForecastFrame::OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui)
{
    CForecastGridView* first = m_activeGrid;
    for (CForecastGridView* grid : {m_list, m_card})
        if (grid->hasFocus() || grid->isAncestorOf(QApplication::focusWidget()))
            first = grid;
    if (first && first->OnCmdMsg(id, msg, ui))
        return true;
    return CForecastFrameBase::OnCmdMsg(id, msg, ui);
}

bool CForecastFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* grid = qobject_cast<CForecastGridView*>(watched))
            m_activeGrid = grid;
    }
    // A pane of another width fits its columns again.
    if (event->type() == QEvent::Resize && !m_layoutPending) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->size().width() != resize->oldSize().width()) {
            if (watched == m_list)
                FitListColumns();
            else if (watched == m_card)
                FitCardColumns();
        }
    }
    return CForecastFrameBase::eventFilter(watched, event);
}

// ---- showing and layout

void CForecastFrame::showEvent(QShowEvent* event)
{
    CForecastFrameBase::showEvent(event);
    if (m_session.changeFlags & CHANGE_PRODUCTS) {
        m_session.changeFlags &= ~CHANGE_PRODUCTS;
        Refresh(true, true);
    } else if (m_stale) {
        Refresh(true, true);
    }
    // The panes get their sizes once the frame has its own: after the layouts have run.
    if (m_layoutPending)
        QTimer::singleShot(0, this, [this] { ApplyFirstLayout(); });
}

void CForecastFrame::ApplyFirstLayout()
{
    if (!m_layoutPending || !isVisible())
        return;
    m_layoutPending = false;
    // The sizes the user left at the last run, else the tree's width and the card's full height.
    const auto tree = m_splitter->StoredSizes();
    const auto rows = m_nested->StoredSizes();
    const int width = m_splitter->width() - m_splitter->handleWidth();
    const int treeWidth = std::min(tree ? tree->first : kTreeWidth, std::max(kTreeMinWidth, width - kTreeMinWidth));
    m_splitter->setSizes({treeWidth, std::max(0, width - treeWidth)});
    // The whole card: each of its rows and the scroll bar below them.
    const int card = rows ? rows->second : CardHeight();
    const int height = m_nested->height() - m_nested->handleWidth();
    m_nested->setSizes({std::max(0, height - card), std::min(card, std::max(0, height))});
    // A frame still too low for the whole card (the window not yet at its size) places it again
    // when it grows.
    m_cardPending = height < card + kTreeMinWidth;
    FitListColumns();
    FitCardColumns();
}

void CForecastFrame::resizeEvent(QResizeEvent* event)
{
    CForecastFrameBase::resizeEvent(event);
    if (m_cardPending && isVisible()) {
        m_layoutPending = true;
        QTimer::singleShot(0, this, [this] { ApplyFirstLayout(); });
    }
}

// ---- forecast, receiver, refresh

void CForecastFrame::OnForecastChanged(int)
{
    m_receiverId = GetEditedReceiverId(m_session.currentForecastId);
    if (isVisible())
        Refresh(false, false);
    else
        m_stale = true;
}

void CForecastFrame::SetReceiver(int receiverId)
{
    m_receiverId = receiverId;
    if (isVisible())
        ReloadList();
    else
        m_stale = true;
}

void CForecastFrame::Refresh(bool restoreSelection, bool force)
{
    if (!isVisible() && !force) {
        m_stale = true;
        return;
    }
    m_stale = false;
    CWaitCursor wait;
    const QTreeWidgetItem* selected = m_tree->currentItem();
    const int remembered = selected ? CTreeCtrlX::ItemData(selected) : 0;
    m_fillingTree = true;
    m_tree->clear();
    if (m_session.currentForecastId >= 1) {
        if (const auto root = GetRootProduct(m_session.currentForecastId)) {
            auto* item = new QTreeWidgetItem(m_tree, {root->name});
            CTreeCtrlX::SetItemData(item, root->id);
            FillGroupItems(item, root->id);
            m_tree->expandItem(item);
        }
    }
    if (restoreSelection && remembered > 0)
        SelectGroup(remembered);
    if (!m_tree->currentItem() && m_tree->topLevelItemCount() > 0)
        m_tree->setCurrentItem(m_tree->topLevelItem(0));
    m_fillingTree = false;
    ReloadList();
    BuildCardGrid();
}

// ---- the tree

void CForecastFrame::FillGroupItems(QTreeWidgetItem* parent, int groupId)
{
    CWaitCursor wait;
    const int forecast = m_session.currentForecastId;
    const auto children = LoadProductChildren(groupId, forecast);
    if (!children)
        return;
    const auto withSubgroups = LoadGroupsWithSubgroups(groupId, forecast);
    for (const CProductRecord& child : *children) {
        if (!child.IsGroup())
            continue;
        auto* item = new QTreeWidgetItem(parent, {TreeItemText(child)});
        CTreeCtrlX::SetItemData(item, child.id);
        // Until the group is first expanded, one placeholder stands for its subgroups.
        if (withSubgroups && withSubgroups->count(child.id))
            CTreeCtrlX::SetItemData(new QTreeWidgetItem(item), -1);
    }
}

void CForecastFrame::ExpandGroupItem(QTreeWidgetItem* item)
{
    if (!item || item->childCount() == 0 || CTreeCtrlX::ItemData(item->child(0)) != -1)
        return;
    QTreeWidgetItem* placeholder = item->child(0);
    FillGroupItems(item, CTreeCtrlX::ItemData(item));
    delete placeholder;
}

int CForecastFrame::GetSelectedGroupId() const
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    return item ? CTreeCtrlX::ItemData(item) : 0;
}

bool CForecastFrame::SelectGroup(int groupId)
{
    QTreeWidgetItem* item = m_tree->FindItemByData(groupId);
    if (!item) {
        // A branch never expanded: each level loads the next one.
        for (const CProductRecord& ancestor : LoadProductPath(m_session.currentForecastId, groupId))
            if (QTreeWidgetItem* level = m_tree->FindItemByData(ancestor.id))
                m_tree->expandItem(level);
        item = m_tree->FindItemByData(groupId);
    }
    if (!item)
        return false;
    m_tree->expandItem(item);
    m_tree->setCurrentItem(item);
    return true;
}

// ---- grid notifications

qintptr CForecastFrame::OnGridNotify(const GridNotify& notify)
{
    if (notify.grid == m_list && notify.code == LVN_ITEMCHANGED)
        OnListSelChanged(notify.row, notify.col);
    else if (notify.grid == m_card && notify.code == LVN_BEGINLABELEDITA)
        return OnCardBeginEdit(notify.row, notify.col);
    else if (notify.grid == m_card && notify.code == LVN_ENDLABELEDITA)
        return OnCardEndEdit(notify.row, notify.col);
    return 0;
}

void CForecastFrame::OnGridCommand(CGridView*, int)
{
}

// ---- recalculation

void CForecastFrame::AutoRecalc(int groupId, const CForecastRowFields& row)
{
    if (m_data && m_data->group.id == groupId)
        m_data->groupRow = row;
    ShowTotalRowValues(&row);
}

void CForecastFrame::OnRecalcNode()
{
    CForecastRowFields row;
    switch (RecalcNode(m_session.currentForecastId, m_receiverId, GetSelectedGroupId(), this, &row)) {
    case NodeRecalcResult::ShowGroupRows:
        ShowTotalRowValues(&row);
        RefitListForRows({m_totalRow, m_balanceRow});
        break;
    case NodeRecalcResult::ReloadList:
        ReloadList();
        break;
    case NodeRecalcResult::Failed:
        break;
    }
}

void CForecastFrame::OnRecalcForecast()
{
    RunRecalcWorker(RecalcCommand::WholeForecast, m_session.currentForecastId, m_receiverId, this);
    Refresh(true, false);
}

void CForecastFrame::OnRecalcGroups()
{
    if (RunRecalcWorker(RecalcCommand::GroupRows, m_session.currentForecastId, m_receiverId, this) == RECALC_NOTHING)
        return;
    Refresh(true, false);
}

void CForecastFrame::OnUpdateRecalcGroups(CCmdUI& ui) const
{
    const CSessionState& s = m_session;
    ui.Enable(ui.HasRights(s, ROLE_EXPERT) && s.IsForecastSet() && s.currentForecastStatus == 1
              && !Settings().EnableAutoRecalc);
}
