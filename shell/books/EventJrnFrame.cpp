// The event journal: the exchange journal with the organisation and event of each record, and the
// operation journals of the program (system events and trace) as date and message.
#include "BookFrames.h"

#include "DateFields.h"
#include "JournalItemDlg.h"
#include "ReportView.h"
#include "Session.h"
#include "TreeCtrlX.h"
#include "tables/ImportStatus.h"
#include "tables/OpJournal.h"

#include <algorithm>

using namespace BookTexts;

namespace {

enum JournalNode { NODE_TRACE = 0, NODE_SYSTEM = 1, NODE_EXCHANGE = 2 };

} // namespace

CEventJrnFrame::CEventJrnFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kEventJournal, parent)
{
}

void CEventJrnFrame::FillTree(CDirectoryTreeView* tree)
{
    const struct {
        const QString* text;
        int node;
    } nodes[] = {{&kAppJournal, NODE_EXCHANGE}, {&kSystemJournal, NODE_SYSTEM}, {&kTraceJournal, NODE_TRACE}};
    for (const auto& n : nodes) {
        auto* item = new QTreeWidgetItem(tree, QStringList{*n.text});
        CTreeCtrlX::SetItemData(item, n.node);
    }
    tree->setCurrentItem(tree->topLevelItem(0));
}

void CEventJrnFrame::FillList(CReportView* list, int node, const SqlFilter& filter)
{
    list->setUpdatesEnabled(false);
    list->DeleteAllItems();
    list->DeleteAllColumns();
    if (node == NODE_EXCHANGE) {
        InsertFieldColumns(list);
        FillExchangeJournal(list, filter);
    } else {
        list->InsertColumn(0, kDateColumn, std::max(150, DateColumnWidth(list)), Qt::AlignLeft);
        list->InsertColumn(1, kMessageColumn, 400, Qt::AlignLeft);
        FillOperationJournal(list, node);
    }
    list->setUpdatesEnabled(true);
}

void CEventJrnFrame::FillExchangeJournal(CReportView* list, const SqlFilter& filter)
{
    // Every forecast's records; the organisation is named as the current forecast knows it.
    static_cast<void>(ReadImportStatusLines(m_session.currentForecastId, filter, [&](const CImportStatusLine& line) {
        const QString organisation = line.organisation.value_or(kUnknownOrganisation);
        const QString send = ListDateText(line.send);
        const int row = list->InsertItem(list->GetItemCount(), organisation, 1);
        list->SetItemText(row, 1, line.event);
        list->SetItemText(row, 2, send);
        list->SetItemText(row, 3, ListDateText(line.received));
        list->SetItemText(row, 4, line.comment);
        list->SetItemData(row, line.id);
        m_searchIndex.push_back({line.id, (line.event + u';' + organisation + u';' + send).toUpper()});
    }));
}

void CEventJrnFrame::FillOperationJournal(CReportView* list, int type)
{
    static_cast<void>(ReadOpJournalOfType(type, [&](const COpJournalLine& line) {
        const int row = list->InsertItem(list->GetItemCount(), ListDateText(line.date), 1);
        list->SetItemText(row, 1, line.text);
        list->SetItemData(row, line.id);
        m_searchIndex.push_back({line.id, line.text.toUpper()});
        return true;
    }));
}

void CEventJrnFrame::ViewItem(int id, int node, bool, QString*)
{
    if (node != NODE_EXCHANGE)
        return;
    const auto record = GetImportStatus(id, m_session.currentForecastId);
    if (!record)
        return;
    CJournalItemDlg dlg(*record, true, m_session, this);
    dlg.DoModal();
}
