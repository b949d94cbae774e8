// The event journal: the exchange journal with the organisation and event of each record, and the
// operation journals of the program (system events and trace) as date and message.
#include "BookFrames.h"

#include "DateFields.h"
#include "JournalItemDlg.h"
#include "ReportView.h"
#include "Session.h"
#include "TreeCtrlX.h"

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
        int column = 0;
        for (const CFilterField& field : filterFields())
            if (field.visible)
                list->InsertColumn(column++, field.caption, field.width, Qt::AlignLeft);
        FillExchangeJournal(list, filter);
    } else {
        list->InsertColumn(0, kDateColumn, 150, Qt::AlignLeft);
        list->InsertColumn(1, kMessageColumn, 400, Qt::AlignLeft);
        FillOperationJournal(list, node);
    }
    list->setUpdatesEnabled(true);
}

void CEventJrnFrame::FillExchangeJournal(CReportView* list, const SqlFilter& filter)
{
    // Every forecast's records; the organisation is named as the current forecast knows it.
    CSqlQuery q(filter.applyAnd(QStringLiteral("select i.id, i.send, i.received, i.comment, t.name as tname, "
                                               "r.name as rname, r.id as rid from tfctimportstatus i "
                                               "left join tclsimporteventtype t on t.id = i.event "
                                               "left join tclsreceivermap m on m.receiver = i.receiver and m.prognoz = ? "
                                               "left join tclsreceiver r on r.id = m.receiver where 1=1"),
                                QStringLiteral("i.send desc, i.id desc")));
    q.bind(m_session.currentForecastId).bindAll(filter.args);
    if (!q.execOrReport())
        return;
    // Columns by position: the list may hold 100,000 rows.
    enum { ID, SEND, RECEIVED, COMMENT, EVENT, NAME, RECEIVER };
    while (q.next()) {
        const int id = q.value(ID).toInt();
        const QString organisation = q.value(RECEIVER).isNull() ? kUnknownOrganisation : q.value(NAME).toString();
        const QString event = q.value(EVENT).toString();
        const QString send = ListDateText(q.value(SEND));
        const int row = list->InsertItem(list->GetItemCount(), organisation, 1);
        list->SetItemText(row, 1, event);
        list->SetItemText(row, 2, send);
        list->SetItemText(row, 3, ListDateText(q.value(RECEIVED)));
        list->SetItemText(row, 4, q.value(COMMENT).toString());
        list->SetItemData(row, id);
        m_searchIndex.push_back({id, (event + u';' + organisation + u';' + send).toUpper()});
    }
}

void CEventJrnFrame::FillOperationJournal(CReportView* list, int type)
{
    CSqlQuery q(QStringLiteral("select id, Date, Text from tfctopjournal where Type = ? order by id"));
    q.bind(type);
    if (!q.execOrReport())
        return;
    while (q.next()) {
        const int id = q.intValue("id");
        const QString text = q.text("Text");
        const int row = list->InsertItem(list->GetItemCount(), ListDateText(q.value("Date")), 1);
        list->SetItemText(row, 1, text);
        list->SetItemData(row, id);
        m_searchIndex.push_back({id, text.toUpper()});
    }
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
