// The books that are only viewed here: units, conversions, products, documents and event types,
// and the factories through which the navigation panel creates every book.
#include "BookFrames.h"

#include "ProductCards.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "CommandIds.h"
#include "ModalHook.h"
#include "Money.h"
#include "ReportView.h"
#include "Session.h"
#include "TableNotices.h"
#include "TreeCtrlX.h"
#include "tables/Documentation.h"
#include "tables/ImportEventTypes.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"

#include <QFileInfo>

using namespace BookTexts;

namespace {

// The caller's condition after the frame's own: "own and (filter)", the filter's values after its.
SqlFilter CombinedFilter(const QString& own, QVariantList ownArgs, const SqlFilter& filter)
{
    SqlFilter out(own, std::move(ownArgs), filter.orderBy);
    if (filter.hasCondition()) {
        out.where = out.where.isEmpty() ? filter.where : out.where + QStringLiteral(" and (") + filter.where + u')';
        out.args += filter.args;
    }
    return out;
}

QString ProductItemText(const QString& code, const QString& name)
{
    return code.isEmpty() ? name : u'[' + code + u']' + name;
}

// The product cards open view-only through this one call.
void ShowProductCard(const CProductRecord& product, const std::optional<CPriceRecord>& price, QWidget* parent)
{
    if (product.IsGroup()) {
        CProductGroupDlg(product, true, parent).DoModal();
        return;
    }
    CProductDlg(product, price.value_or(CPriceRecord{}), true, parent).DoModal();
}

} // namespace

void FillUnitKinds(CDirectoryTreeView* tree)
{
    auto* natural = new QTreeWidgetItem(tree, QStringList{kNatural});
    CTreeCtrlX::SetItemData(natural, 1);
    auto* price = new QTreeWidgetItem(tree, QStringList{kPrice});
    CTreeCtrlX::SetItemData(price, 2);
    tree->setCurrentItem(natural);
}

// ---- units

CMeasurementFrame::CMeasurementFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kUnits, parent)
{
}

void CMeasurementFrame::FillList(CReportView* list, int kind, const SqlFilter& filter)
{
    const auto units = LoadMeasurements(CombinedFilter(QStringLiteral("m.type = ?"), {kind}, filter));
    if (!units)
        return;
    for (const CMeasurementRecord& u : *units) {
        const int row = list->InsertItem(list->GetItemCount(), u.code, 1);
        list->SetItemText(row, 1, u.name);
        list->SetItemText(row, 2, u.oboznachenie);
        list->SetItemData(row, u.id);
        m_searchIndex.push_back({u.id, (u.name + u';' + u.code).toUpper()});
    }
}

void CMeasurementFrame::ViewItem(int id, int kind, bool, QString*)
{
    if (kind != 1 && kind != 2)
        return;
    const auto unit = id >= 0 ? GetMeasurement(id) : std::optional<CMeasurementRecord>(CMeasurementRecord{});
    if (!unit)
        return;
    CMeasurementDlg dlg(*unit, true, this);
    dlg.DoModal();
}

// ---- conversions

CConvertFrame::CConvertFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kConversions, parent)
{
}

void CConvertFrame::FillList(CReportView* list, int kind, const SqlFilter& filter)
{
    const auto rows = LoadMConvertListRows(kind, CombinedFilter(QString(), {}, filter));
    if (!rows)
        return;
    for (const CMConvertListRow& c : *rows) {
        const int row = list->InsertItem(list->GetItemCount(), c.baseName, 1);
        list->SetItemText(row, 1, c.produceName);
        list->SetItemText(row, 2, Decimal6Text(c.koef));
        list->SetItemData(row, c.id);
        m_searchIndex.push_back({c.id, (c.baseName + u';' + c.produceName).toUpper()});
    }
}

void CConvertFrame::ViewItem(int id, int kind, bool, QString*)
{
    const auto conversion = GetMConvert(id);
    if (!conversion)
        return;
    MConvertDlg dlg(*conversion, true, this);
    dlg.unitType = kind;
    dlg.DoModal();
}

// ---- products

CProductFrame::CProductFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kProducts, parent)
{
}

void CProductFrame::FillTree(CDirectoryTreeView* tree)
{
    const auto top = LoadProductChildren(0, m_session.currentForecastId);
    if (!top || top->empty())
        return;
    const CProductRecord& root = top->front();
    InsertRootItem(tree, ProductItemText(root.code, root.name), root.id);
}

void CProductFrame::FillChildren(CDirectoryTreeView*, QTreeWidgetItem* item, int groupId)
{
    const int forecast = m_session.currentForecastId;
    const auto children = LoadProductChildren(groupId, forecast, SqlFilter(QStringLiteral("p1.isgroup <> 0")));
    const auto withGroups = LoadGroupsWithSubgroups(groupId, forecast);
    if (!children || !withGroups)
        return;
    for (const CProductRecord& p : *children) {
        auto* child = new QTreeWidgetItem(item, QStringList{ProductItemText(p.code, p.name)});
        CTreeCtrlX::SetItemData(child, p.id);
        if (withGroups->count(p.id))
            CTreeCtrlX::SetItemData(new QTreeWidgetItem(child), -1);
    }
}

void CProductFrame::FillList(CReportView* list, int groupId, const SqlFilter& filter)
{
    const auto rows = LoadProductListRows(groupId, m_session.currentForecastId, CombinedFilter(QString(), {}, filter));
    if (!rows)
        return;
    for (const CProductListRow& p : *rows) {
        const int row = list->InsertItem(list->GetItemCount(), p.code, p.isGroup ? 0 : 1);
        list->SetItemText(row, 1, p.name);
        list->SetItemText(row, 2, p.comment);
        // "Минимальное" and "Максимальное": the permitted deviations from the price.
        list->SetItemText(row, 3, p.offsetMin ? Decimal6Text(*p.offsetMin) : QString());
        list->SetItemText(row, 4, p.offsetMax ? Decimal6Text(*p.offsetMax) : QString());
        list->SetItemData(row, p.isGroup ? -p.id : p.id);
        m_searchIndex.push_back({p.id, (p.name + u';' + p.code).toUpper()});
    }
}

void CProductFrame::ViewItem(int id, int, bool, QString*)
{
    const auto product = GetProduct(id, m_session.currentForecastId);
    if (!product)
        return;
    ShowProductCard(*product, GetPrice(id, m_session.currentForecastId), this);
}

QTreeWidgetItem* CProductFrame::FindInTree(const QString& text, const std::vector<int>& excluded, int* foundId)
{
    const int forecast = m_session.currentForecastId;
    const CSqlDialect& dialect = Dialect();
    const QString pattern = LikeArgument(text, LikeMatch::Contains);
    QString where = u'(' + dialect.CaseInsensitiveLike(QStringLiteral("code")) + QStringLiteral(" or ")
        + dialect.CaseInsensitiveLike(QStringLiteral("name"))
        + QStringLiteral(") and parent > 0 and exists (select 1 from tfctprice pr where pr.prognoz = "
                         "tclsproduct.prognoz and pr.product = tclsproduct.id)");
    QVariantList args{pattern, pattern};
    if (!excluded.empty()) {
        where += QStringLiteral(" and not (") + dialect.IdSetCondition(QStringLiteral("id")) + u')';
        args << IdSetArgument(excluded);
    }
    const auto found = LoadProducts(forecast, SqlFilter(where, args, QStringLiteral("id")));
    if (!found || found->empty() || !tree())
        return nullptr;
    const CProductRecord& match = found->front();
    if (foundId)
        *foundId = match.id;
    const CProductList path = LoadProductPath(forecast, match.parent);
    QTreeWidgetItem* item = nullptr;
    for (const CProductRecord& step : path) {
        item = tree()->FindItemByData(step.id);
        if (!item)
            return nullptr;
        ExpandItem(item);
    }
    return item;
}

// ---- documents

CDocumentationFrame::CDocumentationFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kDocuments, parent)
{
    OnCommand(ID_BOOK_SAVE_DOCUMENT, [this] { SaveDocument(); });
}

void CDocumentationFrame::FillList(CReportView* list, int, const SqlFilter& filter)
{
    SqlFilter f = CombinedFilter(QStringLiteral("prognoz = ?"), {m_session.currentForecastId}, filter);
    if (f.orderBy.isEmpty())
        f.orderBy = QStringLiteral("position asc, id asc");
    const auto documents = LoadDocumentation(f);
    if (!documents)
        return;
    for (const CDocumentationRecord& d : *documents) {
        const int row = list->InsertItem(list->GetItemCount(), d.name, 1);
        list->SetItemText(row, 1, d.filename);
        list->SetItemData(row, d.id);
        m_searchIndex.push_back({d.id, d.name.toUpper()});
    }
}

void CDocumentationFrame::ViewItem(int id, int, bool, QString*)
{
    const auto document = GetDocumentation(id, m_session.currentForecastId);
    if (!document)
        return;
    CDocumentationDlg dlg(*document, true, this);
    dlg.DoModal();
}

void CDocumentationFrame::SaveDocument()
{
    const int row = list()->GetSelectedRow();
    if (row < 0)
        return;
    const auto document = GetDocumentation(list()->GetItemData(row), m_session.currentForecastId);
    if (!document)
        return;
    const QString target = ModalHook().getSaveFileName(this, QString(), document->filename, QString());
    if (target.isEmpty())
        return;
    if (ShowResult(SaveDocumentAs(*document, target)))
        AppMessageBox(kDocumentSavedText, MB_ICONINFORMATION, this);
    else
        AppMessageBox(kDocumentSaveFailedText, MB_ICONSTOP, this);
}

// ---- event types

CEventTypeFrame::CEventTypeFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kEventTypes, parent)
{
}

void CEventTypeFrame::FillList(CReportView* list, int, const SqlFilter& filter)
{
    const auto types = LoadImportEventTypes(filter);
    if (!types)
        return;
    for (const CImportEventType& t : *types) {
        const int row = list->InsertItem(list->GetItemCount(), t.name, 1);
        list->SetItemData(row, t.id);
        m_searchIndex.push_back({t.id, t.name.toUpper()});
    }
}

void CEventTypeFrame::ViewItem(int id, int, bool, QString*)
{
    const auto type = LoadImportEventType(id);
    if (!type)
        return;
    CEventPropDlg dlg(true, this);
    dlg.name = type->name;
    dlg.DoModal();
}

// ---- the panel's slots

void RegisterBookFrames()
{
    CPanelFrameFactories& f = PanelFrameFactories();
    f.books[BOOK_RECEIVERS] = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CReceiverFrame(s, p); };
    f.books[BOOK_PRODUCTS] = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CProductFrame(s, p); };
    f.books[BOOK_MEASUREMENTS] = [](QWidget* p, CSessionState& s) -> CPanelFrame* {
        return new CMeasurementFrame(s, p);
    };
    f.books[BOOK_CONVERSIONS] = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CConvertFrame(s, p); };
    f.books[BOOK_DOCUMENTATION] = [](QWidget* p, CSessionState& s) -> CPanelFrame* {
        return new CDocumentationFrame(s, p);
    };
    f.books[BOOK_MAILINGS] = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CMailingFrame(s, p); };
    f.books[BOOK_EVENT_TYPES] = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CEventTypeFrame(s, p); };
    f.journal = [](QWidget* p, CSessionState& s) -> CPanelFrame* { return new CEventJrnFrame(s, p); };
}
