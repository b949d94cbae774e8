#include "Products.h"

#include "db/RowStage.h"
#include "tables/Prices.h"

#include <QSet>

#include <type_traits>

namespace {

using F = XmlField<CProductRecord>;
const std::array<F, 20> kXmlFields = {{{"id", &CProductRecord::id},
                                       {"prognoz", &CProductRecord::prognoz},
                                       {"parent", &CProductRecord::parent},
                                       {"measurementNatural", &CProductRecord::measurementNatural},
                                       {"measurementPrice", &CProductRecord::measurementPrice},
                                       {"measurementNatural2", &CProductRecord::measurementNatural2},
                                       {"measurementPrice2", &CProductRecord::measurementPrice2},
                                       {"name", &CProductRecord::name},
                                       {"code", &CProductRecord::code},
                                       {"balanceTitle", &CProductRecord::balanceTitle},
                                       {"position", &CProductRecord::position},
                                       {"comment", &CProductRecord::comment},
                                       {"offsetMin", &CProductRecord::offsetMin},
                                       {"offsetMax", &CProductRecord::offsetMax},
                                       {"type", &CProductRecord::type},
                                       {"isgroup", &CProductRecord::isgroup},
                                       {"avRep", &CProductRecord::avRep},
                                       {"avCur", &CProductRecord::avCur},
                                       {"avProg", &CProductRecord::avProg},
                                       {"priceIdx", &CProductRecord::priceIdx}}};

// Every column but id and prognoz, in the order BindFields binds them.
constexpr const char* kDataColumns[] = {
    "parent",
    "measurementNatural",
    "measurementPrice",
    "measurementNatural2",
    "measurementPrice2",
    "name",
    "code",
    "position",
    "comment",
    "offsetMin",
    "offsetMax",
    "type",
    "isgroup",
    "balanceTitle",
    "avRep",
    "avCur",
    "avProg",
    "priceIdx",
};
constexpr int kDataColumnCount = int(std::size(kDataColumns));

QString Columns(const QString& alias)
{
    QString s = alias + QStringLiteral("id, ") + alias + QStringLiteral("prognoz");
    for (const char* c : kDataColumns)
        s += QStringLiteral(", ") + alias + QLatin1String(c);
    return s;
}

const QString kSelect = QStringLiteral("select ") + Columns(QString()) + QStringLiteral(" from tclsproduct");
// Products of one forecast that have a price row there; binds the forecast.
const QString kSelectPriced = QStringLiteral("select ") + Columns(QStringLiteral("p1."))
    + QStringLiteral(" from tclsproduct p1 where p1.prognoz = ? and exists "
                     "(select 1 from tfctprice pr where pr.prognoz = p1.prognoz and pr.product = p1.id)");
const QString kPositionOrder = QStringLiteral("p1.position, p1.id");

QString InsertSql()
{
    QString columns = QStringLiteral("prognoz");
    QString values = QStringLiteral("?");
    for (const char* c : kDataColumns) {
        columns += QStringLiteral(", ") + QLatin1String(c);
        values += QStringLiteral(", ?");
    }
    return QStringLiteral("insert into tclsproduct (") + columns + QStringLiteral(", id) values (") + values
        + QStringLiteral(", ?)");
}

QString UpdateSql()
{
    QString sets;
    for (const char* c : kDataColumns) {
        if (!sets.isEmpty())
            sets += QStringLiteral(", ");
        sets += QLatin1String(c) + QStringLiteral(" = ?");
    }
    return QStringLiteral("update tclsproduct set ") + sets + QStringLiteral(" where id = ? and prognoz = ?");
}

// The columns of AppendProducts' rows: id, prognoz, then the others in kDataColumns' order.
std::vector<BulkColumn> AppendColumns()
{
    std::vector<BulkColumn> columns{{"id", BulkType::Int}, {"prognoz", BulkType::Int}};
    for (const char* c : kDataColumns) {
        const QLatin1String name(c);
        const bool text = name == QLatin1String("name") || name == QLatin1String("code")
            || name == QLatin1String("comment") || name == QLatin1String("balanceTitle");
        const bool decimal = name.startsWith(QLatin1String("offset")) || name.startsWith(QLatin1String("av"))
            || name == QLatin1String("priceIdx");
        columns.push_back({c, text ? BulkType::Text : decimal ? BulkType::Decimal : BulkType::Int});
    }
    return columns;
}

// The insert of rows that `source` (a table expression named `s`) gives; a unit of 0 or below is
// stored as NULL, as bindId binds it.
QString AppendSql(const QString& source)
{
    QString values = QStringLiteral("s.id, s.prognoz");
    for (const char* c : kDataColumns) {
        const QLatin1String name(c);
        values += name.startsWith(QLatin1String("measurement"))
            ? QStringLiteral(", case when s.%1 > 0 then s.%1 end").arg(name)
            : QStringLiteral(", s.") + name;
    }
    return QStringLiteral("insert into tclsproduct (") + Columns(QString()) + QStringLiteral(") select ") + values
        + QStringLiteral(" from ") + source;
}

// A unit of the record: 0 for none.
struct UnitId {
    int id;
};

// The record's columns but id and prognoz in kDataColumns' order, each handed to `put`.
template <class Put>
void EachDataField(const CProductRecord& r, Put&& put)
{
    put(r.parent);
    for (int unit : {r.measurementNatural, r.measurementPrice, r.measurementNatural2, r.measurementPrice2})
        put(UnitId{unit});
    put(r.name);
    put(r.code);
    put(r.position);
    put(r.comment);
    put(Decimal6{r.offsetMin});
    put(Decimal6{r.offsetMax});
    put(r.type);
    put(r.isgroup);
    put(r.balanceTitle);
    for (double v : {r.avRep, r.avCur, r.avProg, r.priceIdx})
        put(Decimal6{v});
}

// Units go as they are; the statement stores 0 as NULL.
template <class Rows>
[[nodiscard]] bool AddAppendRow(Rows& rows, const CProductRecord& r)
{
    rows.add(r.id).add(r.prognoz);
    EachDataField(r, [&rows](const auto& v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, UnitId>)
            rows.add(v.id);
        else
            rows.add(v);
    });
    return rows.endRow();
}

void BindFields(CSqlQuery& q, const CProductRecord& r)
{
    EachDataField(r, [&q](const auto& v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, UnitId>)
            q.bindId(v.id);
        else
            q.bind(v);
    });
}

void SetDefaultBalanceTitle(CProductRecord& r)
{
    if (r.type != kGroupSumOfMembers && r.balanceTitle.isEmpty())
        r.balanceTitle = kDefaultBalanceTitle;
}

void ReportNullColumn(const QString& column)
{
    DbError e;
    e.message = QStringLiteral("Недопустимое значение NULL.");
    e.description = QStringLiteral("tclsproduct.") + column;
    ReportComError(e);
}

// A row that does not read is shown like a database error.
std::optional<CProductRecord> ReadOrReport(const CSqlQuery& q)
{
    QString column;
    auto rec = ReadProductRow(q, &column);
    if (!rec)
        ReportNullColumn(column);
    return rec;
}

constexpr CRowReader<CProductRecord> kRows{&ReadOrReport, UnreadableRow::FailRead};

} // namespace

template <>
const CXmlFormat<CProductRecord>& XmlFormatOf<CProductRecord>()
{
    static const CXmlFormat<CProductRecord> format{XmlNames::kProduct, XmlNames::kProducts, kXmlFields, "tclsproduct"};
    return format;
}

QString GetProductTypeName(int type)
{
    return TextOf(type,
                  {{PRODUCT_GOODS, u"Продукция"},
                   {PRODUCT_CONTRACT_WORK, u"Подрядные работы"},
                   {PRODUCT_RESEARCH, u"НИОКР"},
                   {PRODUCT_MONOPOLY_SERVICES, u"Услуги естественных и локальных монополий"},
                   {PRODUCT_TRANSPORT, u"Транспортные услуги"},
                   {PRODUCT_OTHER, u"Прочее"}});
}

QString CProductRecord::GetTypeName() const
{
    return GetProductTypeName(type);
}

QString CProductRecord::GetDisplayName() const
{
    if (code.isEmpty())
        return name;
    return QStringLiteral("[") + code + QStringLiteral("] ") + name;
}

std::optional<CProductRecord> CProductRecord::GetParent() const
{
    return GetProduct(parent, prognoz);
}

std::optional<CProductList> CProductRecord::LoadChildren(int prognozId) const
{
    if (id == -1)
        return std::nullopt;
    return LoadProductChildren(id, prognozId);
}

bool CProductRecord::Delete()
{
    if (!DeleteProduct(id, prognoz))
        return false;
    id = -1;
    return true;
}

std::optional<CProductRecord> ReadProductRow(const CSqlQuery& q, QString* nullColumn)
{
    static const char* const required[] = {"id",        "prognoz",   "parent", "position", "type",   "isgroup", "name",
                                           "offsetMin", "offsetMax", "avRep",  "avCur",    "avProg", "priceIdx"};
    for (const char* c : required) {
        if (q.isNull(c)) {
            if (nullColumn)
                *nullColumn = QLatin1String(c);
            return std::nullopt;
        }
    }
    CProductRecord r;
    r.id = q.intValue("id");
    r.prognoz = q.intValue("prognoz");
    r.parent = q.intValue("parent");
    r.measurementNatural = q.intValue("measurementNatural", 0);
    r.measurementPrice = q.intValue("measurementPrice", 0);
    r.measurementNatural2 = q.intValue("measurementNatural2", 0);
    r.measurementPrice2 = q.intValue("measurementPrice2", 0);
    r.name = q.text("name");
    r.code = q.text("code");
    r.comment = q.text("comment");
    r.position = q.intValue("position");
    r.offsetMin = q.decimal("offsetMin");
    r.offsetMax = q.decimal("offsetMax");
    r.type = q.intValue("type");
    r.isgroup = q.intValue("isgroup");
    r.balanceTitle = q.text("balanceTitle");
    r.avRep = q.decimal("avRep");
    r.avCur = q.decimal("avCur");
    r.avProg = q.decimal("avProg");
    r.priceIdx = q.decimal("priceIdx");
    return r;
}

std::optional<CProductRecord> GetProduct(int id, int prognoz)
{
    return kRows.FirstOf(OnDbError::Report, kSelect + QStringLiteral(" where id = ? and prognoz = ?"), id, prognoz);
}

std::optional<CProductRecord> GetRootProduct(int prognoz)
{
    return kRows.FirstOf(OnDbError::Report,
                         kSelectPriced + QStringLiteral(" and p1.parent = 0 order by ") + kPositionOrder, prognoz);
}

std::optional<CProductList> LoadProducts(int prognoz, const SqlFilter& filter)
{
    CSqlQuery q(filter.applyAnd(kSelect + QStringLiteral(" where prognoz = ?")));
    q.bind(prognoz);
    q.bindAll(filter.args);
    return kRows.List(q);
}

std::optional<CProductList> LoadPricedProducts(int prognoz)
{
    CSqlQuery q(kSelectPriced);
    q.bind(prognoz);
    return kRows.List(q);
}

std::optional<CProductList> LoadProductChildren(int parentId, int prognoz, const SqlFilter& filter)
{
    CSqlQuery q(filter.applyAnd(kSelectPriced + QStringLiteral(" and p1.parent = ?"), kPositionOrder));
    q.bind(prognoz).bind(parentId);
    q.bindAll(filter.args);
    return kRows.List(q);
}

std::optional<std::set<int>> LoadGroupsWithSubgroups(int parentId, int prognoz)
{
    CSqlQuery q(QStringLiteral(
        "select p1.id from tclsproduct p1 where p1.prognoz = ? and p1.parent = ? and p1.isgroup <> 0 "
        "and exists (select 1 from tfctprice pr where pr.prognoz = p1.prognoz and pr.product = p1.id) "
        "and exists (select 1 from tclsproduct c where c.prognoz = p1.prognoz and c.parent = p1.id and c.isgroup <> 0 "
        "and exists (select 1 from tfctprice cp where cp.prognoz = c.prognoz and cp.product = c.id))"));
    q.bind(prognoz).bind(parentId);
    return ReadIdSet(q);
}

namespace {

std::optional<CProductListRow> ReadProductListRow(const CSqlQuery& q)
{
    const auto offset = [&q](const char* column) {
        return q.isNull(column) ? std::nullopt : std::optional<double>(q.decimal(column));
    };
    return CProductListRow{q.intValue("id"),  q.intValue("isgroup", 0) != 0, q.text("code"),     q.text("name"),
                           q.text("comment"), offset("offsetMin"),           offset("offsetMax")};
}

constexpr CRowReader<CProductListRow> kListRows{&ReadProductListRow, UnreadableRow::Skip};

} // namespace

std::optional<std::vector<CProductListRow>> LoadProductListRows(int parentId, int prognoz, const SqlFilter& filter)
{
    return kListRows.ListOf(
        OnDbError::Report,
        filter.applyAnd(
            QStringLiteral("select p1.id, p1.code, p1.name, p1.comment, p1.isgroup, p1.offsetMin, p1.offsetMax "
                           "from tclsproduct p1 where p1.prognoz = ? and p1.parent = ? and exists "
                           "(select 1 from tfctprice pr where pr.prognoz = p1.prognoz and pr.product = p1.id)"),
            QStringLiteral("p1.position asc, p1.id asc")),
        QVariantList{prognoz, parentId} + filter.args);
}

namespace {

// The product and its ancestors, nearest first, the product at depth 0: the chain carries the rows,
// so that each step is one probe of the key (a server's generic plan would join the chain back to
// every product). The depth bound only stops a parent cycle; the caller cuts the cycle itself. Binds
// the product and the forecast twice.
QString PathChain()
{
    return QStringLiteral("with recursive chain(") + Columns(QString()) + QStringLiteral(", depth) as (select ")
        + Columns(QStringLiteral("p."))
        + QStringLiteral(", 0 from tclsproduct p where p.id = ? and p.prognoz = ? union all select ")
        + Columns(QStringLiteral("p."))
        + QStringLiteral(", chain.depth + 1 from chain join tclsproduct p on p.id = chain.parent and p.prognoz = ? "
                         "where chain.parent > 0 and chain.depth < 1000) ");
}

// Adds a row of the path read in depth order, top first; false at the first id met again.
bool AddToPath(CProductList& path, QSet<int>& seen, CProductRecord rec)
{
    if (seen.contains(rec.id))
        return false;
    seen.insert(rec.id);
    path.insert(path.begin(), std::move(rec));
    return true;
}

} // namespace

CProductList LoadProductPath(int prognoz, int id)
{
    CProductList path;
    if (id <= 0)
        return path;
    static const QString sql =
        PathChain() + QStringLiteral("select ") + Columns(QString()) + QStringLiteral(" from chain order by depth");
    CSqlQuery q(sql);
    q.bind(id).bind(prognoz).bind(prognoz);
    if (!q.execOrReport())
        return path;
    QSet<int> seen;
    while (q.next()) {
        auto rec = ReadOrReport(q);
        if (!rec)
            return {};
        if (!AddToPath(path, seen, std::move(*rec)))
            break;
    }
    return path;
}

std::optional<CProductPathChildren> LoadProductPathChildren(int prognoz, int id)
{
    CProductPathChildren out;
    out.children.emplace();
    if (id <= 0)
        return out;
    // The children first (depth -1), each price row probed; then the path.
    const QString sql = PathChain() + QStringLiteral("select ") + Columns(QString())
        + QStringLiteral(", depth from chain union all select ") + Columns(QStringLiteral("c."))
        + QStringLiteral(", -1 from tclsproduct c where c.prognoz = ? and ")
        + Dialect().InSelect(QStringLiteral("c.parent"), QStringLiteral("select id from chain"))
        + QStringLiteral(" and (select pr.product from tfctprice pr where pr.prognoz = c.prognoz and pr.product = "
                         "c.id) is not null order by depth");
    CSqlQuery q(sql);
    q.bind(id).bind(prognoz).bind(prognoz).bind(prognoz);
    if (!q.execOrReport())
        return std::nullopt;
    QSet<int> seen;
    while (q.next()) {
        const bool child = q.intValue("depth") < 0;
        auto rec = ReadOrReport(q);
        if (child) {
            if (!rec)
                out.children.reset();
            else if (out.children)
                out.children->push_back(std::move(*rec));
            continue;
        }
        if (!rec)
            return std::nullopt;
        if (!AddToPath(out.path, seen, std::move(*rec)))
            break;
    }
    return out;
}

int IsProductGroup(int id, int prognoz)
{
    CSqlQuery q(QStringLiteral("select p.isgroup from tclsproduct p where p.id = ? and p.prognoz = ? and exists "
                               "(select 1 from tfctprice pr where pr.prognoz = p.prognoz and pr.product = p.id)"));
    q.bind(id).bind(prognoz);
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.intValue("isgroup", 0);
}

bool CountProductsByMeasurement(int unit)
{
    CSqlQuery q(QStringLiteral("select count(*) from tclsproduct where measurementNatural = ? or measurementPrice = ? "
                               "or measurementNatural2 = ? or measurementPrice2 = ?"));
    q.bind(unit).bind(unit).bind(unit).bind(unit);
    if (!q.execOrReport() || !q.next())
        return true;
    return q.value(0).toLongLong() != 0;
}

bool SaveProduct(CProductRecord& rec)
{
    SetDefaultBalanceTitle(rec);
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(UpdateSql());
        BindFields(q, rec);
        q.bind(rec.id).bind(rec.prognoz);
        if (!q.execOrReport())
            return false;
        isNew = q.numRowsAffected() == 0;
    }
    std::optional<int> id = rec.id;
    // Numbered over the whole table, whatever the forecast.
    if (rec.id == -1)
        id = NextTableId(QStringLiteral("tclsproduct"));
    if (!id)
        return false;
    if (isNew) {
        CSqlQuery q(InsertSql());
        q.bind(rec.prognoz);
        BindFields(q, rec);
        q.bind(*id);
        if (!q.execOrReport())
            return false;
    }
    if (!tx.commit())
        return false;
    rec.id = *id;
    return true;
}

bool AppendProducts(CProductList& list)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    CBulkStatement insert(AppendSql(QStringLiteral("%1")), QStringLiteral("s"), AppendColumns());
    for (CProductRecord& rec : list) {
        SetDefaultBalanceTitle(rec);
        if (!AddAppendRow(insert, rec))
            return false;
    }
    return insert.finish() && tx.commit();
}

std::unique_ptr<CRowStage> StartProductStage()
{
    auto stage =
        std::make_unique<CRowStage>(QStringLiteral("products"), AppendColumns(), QStringLiteral("prognoz, id"));
    if (!stage->Start())
        return nullptr;
    return stage;
}

bool StageProduct(CRowStage& stage, CProductRecord& rec)
{
    SetDefaultBalanceTitle(rec);
    return AddAppendRow(stage, rec);
}

namespace {

// Whether the stage holds a product twice; none after a reported error.
std::optional<bool> StageRepeatsAProduct(const CRowStage& stage)
{
    CSqlQuery q(QStringLiteral("select 1 from %1 group by prognoz, id having count(*) > 1").arg(stage.table()));
    if (!q.execOrReport())
        return std::nullopt;
    return q.next();
}

// A stored product that comes again is rewritten only where it differs (NULL equal to NULL).
QString RewriteWhereChanged()
{
    QStringList sets, changed;
    for (const char* c : kDataColumns) {
        sets << QStringLiteral("%1 = excluded.%1").arg(QLatin1String(c));
        changed << QStringLiteral("not (tclsproduct.%1 = excluded.%1 or (tclsproduct.%1 is null and excluded.%1 is "
                                  "null))")
                       .arg(QLatin1String(c));
    }
    return QStringLiteral(" on conflict (prognoz, id) do update set ") + sets.join(QStringLiteral(", "))
        + QStringLiteral(" where ") + changed.join(QStringLiteral(" or "));
}

} // namespace

bool DeleteForecastProductsNotStaged(int prognoz, const CRowStage& stage)
{
    const auto repeats = StageRepeatsAProduct(stage);
    if (!repeats)
        return false;
    // The repeated product then fails the append, as it fails an append after the whole delete.
    if (*repeats)
        return DeleteForecastProducts(prognoz);
    CTransaction tx;
    if (!tx.isActive() || !DeleteForecastPrices(prognoz)
        || !ExecSql(QStringLiteral("delete from tclsproduct where prognoz = ? and not exists (select 1 from %1 s "
                                   "where s.prognoz = tclsproduct.prognoz and s.id = tclsproduct.id)")
                        .arg(stage.table()),
                    prognoz))
        return false;
    WriteProductJournal(nullptr);
    return tx.commit();
}

bool AppendStagedProducts(const CRowStage& stage, int replaced)
{
    const QString staged = stage.table() + QStringLiteral(" s");
    const auto repeats = replaced ? StageRepeatsAProduct(stage) : std::optional<bool>(true);
    if (!repeats)
        return false;
    if (*repeats)
        return ExecSql(AppendSql(staged + QStringLiteral(" order by s.ord")));
    CTransaction tx;
    return tx.isActive()
        && ExecSql(AppendSql(staged + QStringLiteral(" where s.prognoz <> ? order by s.ord")), replaced)
        && ExecSql(AppendSql(staged + QStringLiteral(" where s.prognoz = ? order by s.ord")) + RewriteWhereChanged(),
                   replaced)
        && tx.commit();
}

bool DeleteProduct(int id, int prognoz)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    std::optional<CPriceRecord> price;
    {
        CSqlQuery q(QStringLiteral("delete from tfctprice where prognoz = ? and product = ? "
                                   "returning id, prognoz, product, pricePrev, priceCur, priceNext"));
        q.bind(prognoz).bind(id);
        if (!q.execOrReport())
            return false;
        if (q.next())
            price = ReadPriceRow(q);
    }
    std::optional<CProductRecord> stored;
    {
        CSqlQuery q(QStringLiteral("delete from tclsproduct where id = ? and prognoz = ? returning ")
                    + Columns(QString()));
        q.bind(id).bind(prognoz);
        if (!q.execOrReport())
            return false;
        if (q.next())
            stored = ReadProductRow(q);
    }
    if (price)
        WritePriceJournal(&*price);
    if (stored)
        WriteProductJournal(&*stored);
    return tx.commit();
}

bool DeleteForecastProducts(int prognoz)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    if (!DeleteForecastPrices(prognoz)
        || !ExecSql(QStringLiteral("delete from tclsproduct where prognoz = ?"), prognoz))
        return false;
    WriteProductJournal(nullptr);
    return tx.commit();
}

bool MoveProductPosition(int id, int parentId, int prognoz, bool up)
{
    auto siblings = LoadProductChildren(parentId, prognoz, SqlFilter(QString(), {}, kPositionOrder));
    if (!siblings)
        return false;
    CSqlQuery q(QStringLiteral("update tclsproduct set position = ? where id = ? and prognoz = ?"));
    return MoveOnePlace(*siblings, id, up, [&](const CProductRecord& sibling) {
        q.bind(sibling.position).bind(sibling.id).bind(prognoz);
        return q.execOrReport();
    });
}

bool ProductTreeHasData(int id, int prognoz, int dataForecast)
{
    const int current = dataForecast;
    // The product and, below each group that has a price row in prognoz, the children with a price row in
    // the current forecast; UNION ends a parent cycle.
    const QString isPricedGroup = QStringLiteral(
        "(select count(*) from tclsproduct g where g.id = %1 and g.prognoz = ? and g.isgroup <> 0 and exists "
        "(select 1 from tfctprice gp where gp.prognoz = g.prognoz and gp.product = g.id))");
    CSqlQuery q(
        QStringLiteral("with recursive tree(id, grp) as ("
                       "select cast(? as integer), ")
        + isPricedGroup.arg(QStringLiteral("cast(? as integer)"))
        + QStringLiteral(" union "
                         "select c.id, ")
        + isPricedGroup.arg(QStringLiteral("c.id"))
        + QStringLiteral(" from tree t join tclsproduct c on c.parent = t.id "
                         "where t.grp > 0 and c.prognoz = ? and exists "
                         "(select 1 from tfctprice cp where cp.prognoz = c.prognoz and cp.product = c.id)) "
                         "select count(*) from tree t where exists "
                         "(select 1 from tfctprognozdata d where d.prognoz = ? and d.product = t.id) "
                         "or exists (select 1 from tfcttotalprognoz s where s.prognoz = ? and s.product = t.id)"));
    q.bind(id).bind(id).bind(prognoz).bind(prognoz).bind(current).bind(current).bind(current);
    if (!q.execOrReport() || !q.next())
        return true;
    return q.value(0).toLongLong() != 0;
}

void WriteProductJournal(const CProductRecord* stored)
{
    QueueJournal([&] {
        QString text = JournalOperationWord(JOURNAL_DELETE) + QStringLiteral("Product; ");
        if (stored)
            return text
                + QStringLiteral("Prognoz=%1; Parent=%2; Name=%3; Code=%4")
                      .arg(stored->prognoz)
                      .arg(stored->parent)
                      .arg(stored->name, stored->code);
        return text + QStringLiteral(" all records for prognoz");
    });
}

bool ImportAveragePricesXml(const xmlNode* node, int forecast)
{
    if (!node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, XmlNames::kProducts))
        return false;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    CSqlQuery q(QStringLiteral(
        "update tclsproduct set avRep = ?, avCur = ?, avProg = ? where prognoz = ? and lower(code) = lower(?)"));
    for (const xmlNode* child = node->children; child; child = child->next) {
        QString invalid;
        const auto read = ReadXml<CProductRecord>(child, &invalid);
        if (!invalid.isEmpty()) {
            // No price of the file is taken: the transaction goes back.
            ReportComError(DbError{0, invalid, QString()});
            return false;
        }
        if (!read)
            continue;
        q.bind(Decimal6{read->avRep})
            .bind(Decimal6{read->avCur})
            .bind(Decimal6{read->avProg})
            .bind(forecast)
            .bind(read->code);
        if (!q.execOrReport())
            return false;
    }
    return tx.commit();
}

bool ImportAveragePricesDocument(xmlDoc* doc, int forecast)
{
    // Every section or none: a failing one undoes those before it.
    CTransaction tx;
    if (!tx.isActive())
        return false;
    if (const xmlNode* root = xmlDocGetRootElement(doc)) {
        for (const xmlNode* child = root->children; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE && XmlNameIs(child, XmlNames::kProducts)
                && !ImportAveragePricesXml(child, forecast))
                return false;
        }
    }
    return tx.commit();
}
