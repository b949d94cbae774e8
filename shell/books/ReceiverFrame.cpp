// The receivers book: the forecast's tree of receiver groups under its one top receiver, the
// children of a group in the list, and the editing rules (one root, imported receivers not to be
// touched, groups with data not to be deleted).
#include "BookFrames.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "ReportView.h"
#include "Session.h"
#include "TreeCtrlX.h"
#include "WorkspaceRefresh.h"
#include "tables/ReceiverMap.h"
#include "tables/ReceiverTree.h"
#include "tables/Receivers.h"
#include "tables/SystemUsers.h"

#include <set>

using namespace BookTexts;

namespace {

void AddPlaceholder(QTreeWidgetItem* item)
{
    CTreeCtrlX::SetItemData(new QTreeWidgetItem(item), -1);
}

} // namespace

CReceiverFrame::CReceiverFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kReceivers, parent)
{
}

void CReceiverFrame::FillTree(CDirectoryTreeView* tree)
{
    const auto top = LoadReceiverChildren(0, m_session.currentForecastId);
    if (!top || top->empty())
        return;
    InsertRootItem(tree, top->front().name, top->front().id);
}

void CReceiverFrame::FillChildren(CDirectoryTreeView*, QTreeWidgetItem* item, int groupId)
{
    const int forecast = m_session.currentForecastId;
    const auto children = LoadReceiverChildren(groupId, forecast, SqlFilter(QStringLiteral("r1.isgroup = 1")));
    if (!children)
        return;
    const std::set<int> withGroups = LoadReceiverGroupsWithSubgroups(forecast, groupId).value_or(std::set<int>());
    for (const CReceiverRecord& r : *children) {
        auto* child = new QTreeWidgetItem(item, QStringList{r.name});
        CTreeCtrlX::SetItemData(child, r.id);
        if (withGroups.count(r.id))
            AddPlaceholder(child);
    }
}

void CReceiverFrame::FillList(CReportView* list, int groupId, const SqlFilter& filter)
{
    const auto rows = LoadReceiverChildren(groupId, m_session.currentForecastId, filter);
    if (!rows)
        return;
    for (const CReceiverRecord& r : *rows) {
        const int row = list->InsertItem(list->GetItemCount(), r.name, r.isgroup ? 0 : 1);
        list->SetItemText(row, 1, r.email);
        const int data = r.isgroup ? -r.id : r.id;
        list->SetItemData(row, data);
        m_searchIndex.push_back({r.id, r.name.toUpper()});
    }
}

void CReceiverFrame::ViewItem(int id, int, bool isGroup, QString*)
{
    auto rec = GetForecastReceiver(id, m_session.currentForecastId);
    if (!rec)
        return;
    if (rec->category != 0)
        rec->isgroup = isGroup ? 1 : 0;
    CReceiverDlg dlg(*rec, true, this);
    dlg.showAsReceiver = !isGroup;
    dlg.DoModal();
}

void CReceiverFrame::EditItem(int id, int groupId, bool isGroup, QString* name, int* newId)
{
    if (id < 1 && groupId == 0) {
        AppMessageBox(kOneRoot, MB_ICONEXCLAMATION, this);
        return;
    }
    const int forecast = m_session.currentForecastId;
    CReceiverRecord rec;
    if (id >= 1) {
        auto stored = GetForecastReceiver(id, forecast);
        if (!stored)
            return;
        rec = *stored;
    }
    const bool stored = rec.id >= 1;
    if (stored && rec.importedId >= 1) {
        AppMessageBox(kNoEditRights, MB_ICONEXCLAMATION, this);
        return;
    }
    const bool top = stored && rec.category == 0;
    if (!top)
        rec.isgroup = isGroup ? 1 : 0;
    CReceiverDlg dlg(rec, false, this);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    // The top receiver keeps its place (0) and stays an element.
    if (!top) {
        rec.category = groupId;
        rec.isgroup = isGroup ? 1 : 0;
    }
    rec.name = dlg.name;
    rec.email = dlg.email;
    rec.type = dlg.type;
    if (!SaveForecastReceiver(rec, forecast, top ? 0 : groupId))
        return;
    m_session.changeFlags |= CHANGE_RECEIVERS;
    if (name)
        *name = rec.name;
    if (newId)
        *newId = rec.id;
    if (top) {
        if (QTreeWidgetItem* item = tree() ? tree()->topLevelItem(0) : nullptr)
            item->setText(0, rec.name);
        if (IWorkspaceRefresh* refresh = WorkspaceRefresh())
            refresh->UpdateTitle();
    } else {
        Refresh();
    }
}

void CReceiverFrame::DeleteItem(int id)
{
    if (ReceiverTreeHasData(id, m_session.currentForecastId)) {
        AppMessageBox(kElementInUse, MB_ICONEXCLAMATION, this);
        return;
    }
    if (RemoveReceiverFromForecast(id, m_session.currentForecastId))
        m_session.changeFlags |= CHANGE_RECEIVERS;
    Refresh();
}

bool CReceiverFrame::DeleteGroup(int groupId)
{
    const int forecast = m_session.currentForecastId;
    const auto rec = GetForecastReceiver(groupId, forecast);
    if (!rec)
        return false;
    if (rec->importedId >= 1) {
        AppMessageBox(kNoDeleteRights, MB_ICONEXCLAMATION, this);
        return false;
    }
    if (ReceiverTreeHasData(groupId, forecast)) {
        AppMessageBox(kGroupInUse, MB_ICONEXCLAMATION, this);
        return false;
    }
    if (!RemoveReceiverGroup(groupId, forecast))
        return false;
    m_session.changeFlags |= CHANGE_RECEIVERS;
    if (rec->category == 0) {
        if (IWorkspaceRefresh* refresh = WorkspaceRefresh())
            refresh->SelectForecast(m_session.currentForecastId);
    }
    return true;
}

bool CReceiverFrame::MoveToGroup(int id, int groupId)
{
    auto rec = GetForecastReceiver(id, m_session.currentForecastId);
    if (!rec)
        return false;
    rec->category = groupId;
    if (!SaveReceiver(*rec))
        return false;
    m_session.changeFlags |= CHANGE_RECEIVERS;
    return true;
}

bool CReceiverFrame::CanEditTreeItem(QTreeWidgetItem* item)
{
    if (!item || CTreeCtrlX::ItemData(item) < 0)
        return false;
    const auto rec = GetForecastReceiver(CTreeCtrlX::ItemData(item), m_session.currentForecastId);
    if (!rec || rec->importedId >= 1)
        return false;
    return IsCurrentForecastOpen() || IsEditableWhenClosed();
}

int CReceiverFrame::EditRoles() const
{
    return ROLE_EXPERT;
}

bool CReceiverFrame::IsEditableWhenClosed()
{
    return m_session.currentForecastId > 0 && m_session.currentForecastStatus == 1;
}

QTreeWidgetItem* CReceiverFrame::FindInTree(const QString& text, const std::vector<int>& excluded, int* foundId)
{
    const int forecast = m_session.currentForecastId;
    const CSqlDialect& dialect = Dialect();
    QString where = dialect.CaseInsensitiveLike(QStringLiteral("tclsreceiver.name"));
    QVariantList args{LikeArgument(text, LikeMatch::Contains)};
    if (!excluded.empty()) {
        where += QStringLiteral(" and not (") + dialect.IdSetCondition(QStringLiteral("tclsreceiver.id"))
            + QStringLiteral(")");
        args << IdSetArgument(excluded);
    }
    // Below the top receiver only: the top one has no group to be shown in.
    where += QStringLiteral(" and tclsreceiver.category > 0");
    const auto found = LoadForecastReceivers(forecast, SqlFilter(where, args, QStringLiteral("tclsreceiver.id")));
    if (!found || found->empty() || !tree())
        return nullptr;
    const CReceiverRecord& match = found->front();
    if (foundId)
        *foundId = match.id;
    // The groups from the top down to the match's group are loaded on the way.
    const auto path = LoadReceiverAncestors(forecast, match.category);
    if (!path)
        return nullptr;
    QTreeWidgetItem* item = nullptr;
    for (auto it = path->rbegin(); it != path->rend(); ++it) {
        item = tree()->FindItemByData(it->id);
        if (!item)
            return nullptr;
        ExpandItem(item);
    }
    return item;
}
