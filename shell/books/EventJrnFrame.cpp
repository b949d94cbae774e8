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
#include <memory>

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
    // Any number of rows: the list reads the screen it shows.
    if (node == NODE_EXCHANGE) {
        InsertFieldColumns(list);
        // Every forecast's records; the organisation is named as the current forecast knows it.
        CPagedSource source = ImportStatusLines(m_session.currentForecastId, kUnknownOrganisation);
        source.cells = [](const QVariantList& v) {
            return QStringList{v[ISC_ORGANISATION].toString(), v[ISC_EVENT].toString(), ListDateText(v[ISC_SEND]),
                               ListDateText(v[ISC_RECEIVED]), v[ISC_COMMENT].toString()};
        };
        list->SetRowSource(std::make_unique<CPagedRows>(std::move(source), filter));
    } else {
        list->InsertColumn(0, kDateColumn, std::max(150, DateColumnWidth(list)), Qt::AlignLeft);
        list->InsertColumn(1, kMessageColumn, 400, Qt::AlignLeft);
        // The filter is the exchange journal's.
        CPagedSource source = OpJournalLines(node);
        source.cells = [](const QVariantList& v) {
            return QStringList{ListDateText(v[OJC_DATE]), v[OJC_TEXT].toString()};
        };
        list->SetRowSource(std::make_unique<CPagedRows>(std::move(source), SqlFilter()));
    }
    list->setUpdatesEnabled(true);
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
