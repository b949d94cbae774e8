#include "ReceiverSelectDlg.h"

#include "ErrorSink.h"
#include "ProgressBar.h"
#include "TreeCtrlX.h"
#include "WaitCursor.h"
#include "tables/ProductTree.h"
#include "tables/Receivers.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QThread>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <unordered_set>

using namespace ReceiverSelectTexts;

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 420;

} // namespace

ReceiverSelectDlg::ReceiverSelectDlg(int forecastId, bool groupsSelectable, bool elementsSelectable, int checkMode,
                                     QWidget* parent)
    : CResizableDlg(IDD, parent)
    , forecastId(forecastId)
    , groupsSelectable(groupsSelectable)
    , elementsSelectable(elementsSelectable)
    , checkMode(checkMode)
{
    setWindowTitle(kCaption);
    m_tree = new CTreeCtrlX(this);
    // A name longer than the tree is wide scrolls the tree instead of being cut.
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("id1"));
    m_ok->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("id2"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
    resize(kWidth, kHeight);

    connect(buttons, &QDialogButtonBox::accepted, this, &ReceiverSelectDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReceiverSelectDlg::reject);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &ReceiverSelectDlg::OnSelectionChange);
    connect(m_tree, &QTreeWidget::itemClicked, this, &ReceiverSelectDlg::OnSelectionChange);
    connect(m_tree, &QTreeWidget::itemChanged, this, &ReceiverSelectDlg::OnItemChanged);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &ReceiverSelectDlg::OnDoubleClick);
}

ReceiverSelectDlg::~ReceiverSelectDlg() = default;

void ReceiverSelectDlg::SetCheckBoxes(int mode)
{
    checkMode = mode;
    m_quiet = true;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (mode != 0 && Checkable(CTreeCtrlX::ItemData(item))) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            if (!item->data(0, Qt::CheckStateRole).isValid())
                item->setCheckState(0, Qt::Unchecked);
        } else {
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
            item->setData(0, Qt::CheckStateRole, QVariant());
        }
    }
    m_quiet = false;
}

int ReceiverSelectDlg::DoModal()
{
    OnInitDialog();
    return ExecModal(*this);
}

void ReceiverSelectDlg::OnInitDialog()
{
    setWindowTitle(groupsSelectable && !elementsSelectable ? kCategoryCaption : kCaption);
    m_quiet = true;
    m_tree->clear();
    m_items.clear();
    FillTree();
    for (int id : resultIds) {
        if (QTreeWidgetItem* item = itemOf(id); item && checkMode != 0 && Checkable(id))
            item->setCheckState(0, Qt::Checked);
    }
    m_quiet = false;
    if (QTreeWidgetItem* first = m_tree->topLevelItem(0))
        first->setExpanded(true);
    selectedId = 0;
    UpdateOk();
}

QSize ReceiverSelectDlg::FirstSize(const QSize& creation) const
{
    // The widest item, collapsed branches included, at its depth.
    int widest = 0;
    const int decoration = m_tree->rootIsDecorated() ? 1 : 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        int depth = decoration;
        for (const QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        widest = std::max(widest,
                          depth * m_tree->indentation() + m_tree->sizeHintForIndex(m_tree->indexFromItem(*it)).width());
    }
    const QMargins margins = layout()->contentsMargins();
    const int frame = margins.left() + margins.right() + 2 * m_tree->frameWidth();
    int room = creation.width();
    if (const QScreen* s = screen())
        room = std::max(room, s->availableGeometry().width());
    const int scrollBar = m_tree->verticalScrollBar()->sizeHint().width();
    return {std::clamp(widest + frame + scrollBar, creation.width(), room), creation.height()};
}

bool ReceiverSelectDlg::Checkable(int id) const
{
    // The own receiver that may not be chosen has no check box: no tick reaches it.
    return rootSelectable || rootReceiverId <= 0 || id != rootReceiverId;
}

bool ReceiverSelectDlg::ClickPassesOn(const QTreeWidgetItem* item) const
{
    return checkMode == 1 && item != m_tree->topLevelItem(0);
}

bool ReportReceiverSelectDlg::ClickPassesOn(const QTreeWidgetItem*) const
{
    // A ticked category stands for everything in it: its members are ticked with it.
    return true;
}

QTreeWidgetItem* ReceiverSelectDlg::itemOf(int id) const
{
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

QTreeWidgetItem* ReceiverSelectDlg::AddItem(QTreeWidgetItem* parent, const QString& text, int id, bool bold)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, text);
    CTreeCtrlX::SetItemData(item, id);
    if (bold) {
        QFont font = item->font(0);
        font.setBold(true);
        item->setFont(0, font);
    }
    // Items are user-checkable from birth: only those that may be ticked stay so.
    if (checkMode != 0 && Checkable(id)) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
    m_items[id] = item;
    return item;
}

void ReceiverSelectDlg::FillTree()
{
    const auto all = LoadForecastTreeReceivers(forecastId);
    if (!all)
        return;
    // The levels of the tree, each in position order.
    std::unordered_map<int, std::vector<const CReceiverRecord*>> levels;
    for (const CReceiverRecord& r : *all)
        levels[r.category].push_back(&r);
    for (auto& [category, members] : levels) {
        std::sort(members.begin(), members.end(), [](const CReceiverRecord* a, const CReceiverRecord* b) {
            return a->position != b->position ? a->position < b->position : a->id < b->id;
        });
    }
    int root = rootReceiverId;
    if (root == 0 || root == -1) {
        root = -1;
        for (const CReceiverRecord* r : levels[0])
            root = root < 0 ? r->id : std::min(root, r->id);
    }
    int start = 0;
    for (const CReceiverRecord& r : *all) {
        if (r.id == root)
            start = r.category;
    }

    // A damaged tree may lead back to a level already shown: each level and receiver comes once.
    std::unordered_set<int> shownLevels;
    std::function<void(QTreeWidgetItem*, int)> addLevel = [&](QTreeWidgetItem* parent, int category) {
        if (!shownLevels.insert(category).second)
            return;
        const auto found = levels.find(category);
        if (found == levels.end())
            return;
        for (const CReceiverRecord* r : found->second) {
            if (m_items.count(r->id))
                continue;
            const bool branch = r->isgroup != 0 || category == 0;
            QTreeWidgetItem* item = AddItem(parent, r->name, r->id, branch);
            if (branch)
                addLevel(item, r->id);
            if (category == 0)
                break; // one top receiver
        }
    };
    addLevel(nullptr, start);
}

int ReceiverSelectDlg::ChoiceOf(const QTreeWidgetItem* item) const
{
    if (!item)
        return 0;
    const int data = CTreeCtrlX::ItemData(item);
    int choice = 0;
    if (item->childCount() == 0)
        choice = elementsSelectable ? data : 0;
    else if (groupsSelectable || (rootGroupSelectable && !item->parent()))
        choice = data;
    if (choice == rootReceiverId && !rootSelectable)
        choice = 0;
    return choice;
}

int ReceiverSelectDlgEx::ChoiceOf(const QTreeWidgetItem* item) const
{
    if (!item)
        return 0;
    const int data = CTreeCtrlX::ItemData(item);
    if (item->childCount() == 0)
        return elementsSelectable ? data : 0;
    return groupsSelectable || (rootGroupSelectable && !item->parent()) ? data : 0;
}

void ReceiverSelectDlg::OnSelectionChange()
{
    if (checkMode != 0 || m_quiet)
        return;
    selectedId = ChoiceOf(m_tree->currentItem());
    UpdateOk();
}

void ReceiverSelectDlg::OnItemChanged(QTreeWidgetItem* item)
{
    if (m_quiet || checkMode == 0 || !item)
        return;
    // Only the user's toggle gets here; the state passes on once the click is over.
    const int id = CTreeCtrlX::ItemData(item);
    const bool subtree = ClickPassesOn(item);
    QMetaObject::invokeMethod(
        this, [this, id, subtree] { PassCheckState(id, subtree); }, Qt::QueuedConnection);
}

void ReceiverSelectDlg::OnDoubleClick(QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (checkMode == 0) {
        if (ConfirmsOnDoubleClick() && m_ok->isEnabled())
            accept();
    } else if (checkMode == 2 || item == m_tree->topLevelItem(0)) {
        PassCheckState(CTreeCtrlX::ItemData(item), true);
    }
}

void ReceiverSelectDlg::PassCheckState(int id, bool subtree)
{
    QTreeWidgetItem* item = itemOf(id);
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const Qt::CheckState state = item->checkState(0);
    m_quiet = true;
    if (subtree) {
        std::vector<QTreeWidgetItem*> stack{item};
        while (!stack.empty()) {
            QTreeWidgetItem* i = stack.back();
            stack.pop_back();
            for (int c = 0; c < i->childCount(); ++c) {
                if (i->child(c)->flags() & Qt::ItemIsUserCheckable)
                    i->child(c)->setCheckState(0, state);
                stack.push_back(i->child(c));
            }
        }
    }
    for (QTreeWidgetItem* p = item->parent(); p && (p->flags() & Qt::ItemIsUserCheckable); p = p->parent()) {
        if (state == Qt::Checked) {
            bool all = true;
            for (int c = 0; c < p->childCount() && all; ++c)
                all = p->child(c)->checkState(0) == Qt::Checked;
            if (!all)
                break;
        }
        p->setCheckState(0, state);
    }
    m_quiet = false;
    UpdateOk();
}

void ReceiverSelectDlg::UpdateOk()
{
    if (checkMode != 0)
        m_ok->setEnabled(m_tree->GetFirstCheckedItem() != nullptr);
    else
        m_ok->setEnabled(selectedId != 0);
}

void ReceiverSelectDlg::accept()
{
    if (!m_ok->isEnabled())
        return;
    resultIds.clear();
    if (checkMode != 0) {
        for (QTreeWidgetItem* i = m_tree->GetFirstCheckedItem(); i; i = m_tree->GetNextCheckedItem(i))
            resultIds.push_back(CTreeCtrlX::ItemData(i));
    } else if (QTreeWidgetItem* first = m_tree->GetFirstSelectedItem()) {
        resultIds.push_back(CTreeCtrlX::ItemData(first));
        if (first->childCount() == 0) {
            for (QTreeWidgetItem* i = m_tree->GetNextSelectedItem(first); i; i = m_tree->GetNextSelectedItem(i))
                resultIds.push_back(CTreeCtrlX::ItemData(i));
        }
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

ReceiverSelectDlgEx::ReceiverSelectDlgEx(int forecastId, QWidget* parent)
    : ReceiverSelectDlg(forecastId, true, true, 0, parent)
{
}

ReportReceiverSelectDlg::ReportReceiverSelectDlg(int forecastId, QWidget* parent, int checkMode)
    : ReceiverSelectDlg(forecastId, true, true, checkMode, parent)
{
}

namespace {

// Collects the classifier on its own connection, below the user-interface thread's priority.
class CCategoryWorker : public QThread {
public:
    explicit CCategoryWorker(int forecastId)
        : m_forecastId(forecastId)
    {
    }
    CProductList records;
    std::vector<DbError> errors;

protected:
    void run() override
    {
        CErrorCollector collector;
        CProductDepthMap depths;
        static_cast<void>(CollectProductTree(m_forecastId, depths, nullptr, &records));
        errors = collector.take();
    }

private:
    int m_forecastId;
};

} // namespace

void ReportReceiverSelectDlg::FillTree()
{
    CTreeCtrlX* view = tree();
    view->setUpdatesEnabled(false);
    CCategoryWorker worker(forecastId);
    {
        CWaitCursor wait;
        RunWithProgress(worker, QEventLoop::ExcludeUserInputEvents);
    }
    for (const DbError& e : worker.errors)
        ReportComError(e);
    for (const CProductRecord& p : worker.records) {
        const QString text = p.code.isEmpty() ? p.name : QStringLiteral("[%1] %2").arg(p.code, p.name);
        AddItem(itemOf(p.parent), text, p.id, p.IsGroup());
    }
    view->setUpdatesEnabled(true);
    setWindowTitle(kReportCaption);
}

std::optional<std::vector<int>> RunReceiverSelection(QWidget* parent, const CReceiverChoice& choice)
{
    ReceiverSelectDlg dlg(choice.forecastId, true, true, choice.multiple ? 1 : 0, parent);
    dlg.rootReceiverId = choice.ownReceiverId > 0 ? choice.ownReceiverId : 0;
    dlg.rootGroupSelectable = true;
    dlg.rootSelectable = choice.ownSelectable;
    dlg.resultIds = choice.preset;
    if (dlg.DoModal() != QDialog::Accepted)
        return std::nullopt;
    return dlg.resultIds;
}
