#include "RecalcRun.h"

#include "CalcTexts.h"
#include "UiThread.h"
#include "tables/TableCommon.h"

#include <algorithm>
#include <tuple>
#include <unordered_set>

CProductTree::CProductTree(CProductList products)
    : m_products(std::move(products))
{
    for (const CProductRecord& p : m_products) {
        m_byId.emplace(p.id, &p);
        m_children[p.parent].push_back(&p);
    }
    for (auto& [parent, children] : m_children)
        std::sort(children.begin(), children.end(), [](const CProductRecord* a, const CProductRecord* b) {
            return std::tie(a->position, a->id) < std::tie(b->position, b->id);
        });
}

const CProductRecord* CProductTree::Find(int id) const
{
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

const std::vector<const CProductRecord*>& CProductTree::Children(int id) const
{
    static const std::vector<const CProductRecord*> none;
    const auto it = m_children.find(id);
    return it == m_children.end() ? none : it->second;
}

std::vector<int> CProductTree::ChildIds(const std::vector<const CProductRecord*>& parents) const
{
    std::vector<int> ids;
    for (const CProductRecord* parent : parents)
        for (const CProductRecord* child : Children(parent->id))
            ids.push_back(child->id);
    return ids;
}

CRecalcRun::CRecalcRun(int forecast, RecalcProgressHolder& holder)
    : m_forecast(forecast)
    , m_holder(holder)
{
}

CCalcResult<const CProductTree*> CRecalcRun::products()
{
    if (!m_products) {
        auto list = LoadPricedProducts(m_forecast);
        if (!list)
            return CCalcStatus::Failed(CalcTexts::kProductsBroken);
        m_products = std::make_unique<CProductTree>(std::move(*list));
    }
    return m_products.get();
}

void CRecalcRun::CheckCancel() const
{
    if (ThreadStopRequested())
        throw CRecalcCancelled();
}

CCalcStatus CRecalcRun::CheckDb() const
{
    return m_errors.empty() ? CCalcStatus() : CCalcStatus::DbFailed();
}

CCalcResult<CForecastDataRecord> CRecalcRun::DataRow(int receiver, int product)
{
    CForecastDataRecord row = GetOrNewForecastData({m_forecast, receiver, product});
    if (CCalcStatus db = CheckDb(); !db)
        return db;
    return row;
}

CCalcResult<CTotalForecastRecord> CRecalcRun::TotalRow(int product)
{
    CTotalForecastRecord row = GetOrCreateTotalForecast(m_forecast, product);
    if (CCalcStatus db = CheckDb(); !db)
        return db;
    return row;
}

namespace {

// A sum of no rows (NULL) counts as 0.
Money SumOf(const CSqlQuery& q, const char* column)
{
    const Money m = q.money(column);
    return m.isValid() ? m : Money();
}

// A few products are sought one by one; for many, reading all the rows of the receiver (or of the
// group's members) costs less than as many index seeks, and the rows not asked for go unused.
bool FewProducts(const std::vector<int>& products)
{
    return products.size() <= 64;
}

QString ProductCondition(const std::vector<int>& products, const QString& column)
{
    return FewProducts(products) ? QStringLiteral(" and ") + Dialect().FewIdsCondition(column) : QString();
}

// A member's sum as ReadSumsOf reads it: one beyond the money range reads as invalid and fails
// nothing.
Money MemberSum(const CSqlQuery& q, const char* column)
{
    bool overflow = false;
    return DialectOf(q.dialect()).MoneyFromValue(q.value(column), &overflow);
}

CCalcResult<std::unordered_map<int, CMemberSums>> ReadSumsOf(const QString& table, const QString& keys,
                                                             QVariantList args, const std::vector<int>& products)
{
    std::unordered_map<int, CMemberSums> sums;
    if (products.empty())
        return sums;
    CSqlQuery q(QStringLiteral("select product, sumLast, sumCurr, sumNext from %1 where ").arg(table) + keys
                + ProductCondition(products, QStringLiteral("product")));
    q.bindAll(args);
    if (FewProducts(products))
        q.bind(IdSetArgument(products));
    if (!q.execOrReport())
        return CCalcStatus::DbFailed();
    while (q.next())
        sums[q.intValue("product")] = {q.money("sumLast"), q.money("sumCurr"), q.money("sumNext")};
    return sums;
}

template <class Row>
CCalcResult<std::unordered_map<int, Row>> ByProduct(std::optional<std::vector<Row>> rows)
{
    if (!rows)
        return CCalcStatus::DbFailed();
    std::unordered_map<int, Row> out;
    for (Row& row : *rows)
        out.emplace(row.product, std::move(row));
    return out;
}

SqlFilter ProductSetFilter(const QString& keys, QVariantList args, const std::vector<int>& products)
{
    args << IdSetArgument(products);
    const CSqlDialect& dialect = Dialect();
    const QString product = QStringLiteral("product");
    return SqlFilter(keys + QStringLiteral(" and ")
                         + (FewProducts(products) ? dialect.FewIdsCondition(product) : dialect.IdSetCondition(product)),
                     args);
}

} // namespace

CCalcResult<std::unordered_map<int, CCategorySums>> ReadCategorySums(int forecast, int groupReceiver,
                                                                     const std::vector<int>& products, bool onlyThese)
{
    std::unordered_map<int, CCategorySums> sums;
    if (products.empty())
        return sums;
    const bool asSet = onlyThese || FewProducts(products);
    CSqlQuery q(QStringLiteral("select pd.product, sum(pd.sumLast) as sumLast, sum(pd.sumCurr) as sumCurr, "
                               "sum(pd.sumNext) as sumNext, sum(pd.valueLast) as valueLast, "
                               "sum(pd.valueCurr) as valueCurr, sum(pd.valueNext) as valueNext "
                               "from tfctprognozdata pd where pd.prognoz = ? and pd.receiver in "
                               "(select r.id from tclsreceiver r where r.category = ?)")
                + (asSet ? QStringLiteral(" and ") + Dialect().IdSetCondition(QStringLiteral("pd.product")) : QString())
                + QStringLiteral(" group by pd.product"));
    q.bind(forecast).bind(groupReceiver);
    if (asSet)
        q.bind(IdSetArgument(products));
    if (!q.exec()) {
        const QSqlError error = q.lastError();
        return CCalcStatus::Failed(error.databaseText().isEmpty() ? error.text() : error.databaseText());
    }
    while (q.next())
        sums[q.intValue("product")] = {SumOf(q, "sumLast"),   SumOf(q, "sumCurr"),   SumOf(q, "sumNext"),
                                       SumOf(q, "valueLast"), SumOf(q, "valueCurr"), SumOf(q, "valueNext")};
    return sums;
}

void ApplyCategorySums(const std::unordered_map<int, CCategorySums>& sums, CForecastDataRecord& row)
{
    const auto it = sums.find(row.product);
    const CCategorySums s = it == sums.end() ? CCategorySums{} : it->second;
    row.sumLast = s.sumLast;
    row.sumCurr = s.sumCurr;
    row.sumNext = s.sumNext;
    row.valueLast = s.valueLast;
    row.valueCurr = s.valueCurr;
    row.valueNext = s.valueNext;
}

template <class R>
CCalcResult<std::unordered_map<int, CMemberSums>> CRowStore<R>::ReadSums(const std::vector<int>& products) const
{
    if constexpr (std::is_same_v<R, CForecastDataRecord>)
        return ReadSumsOf(QStringLiteral("tfctprognozdata"), QStringLiteral("prognoz = ? and receiver = ?"),
                          {m_forecast, m_receiver}, products);
    else
        return ReadSumsOf(QStringLiteral("tfcttotalprognoz"), QStringLiteral("prognoz = ?"), {m_forecast}, products);
}

template <class R>
CCalcResult<std::unordered_map<int, R>> CRowStore<R>::ReadRows(const std::vector<int>& products) const
{
    if (products.empty())
        return std::unordered_map<int, R>();
    if constexpr (std::is_same_v<R, CForecastDataRecord>)
        return ByProduct(LoadForecastData(
            ProductSetFilter(QStringLiteral("prognoz = ? and receiver = ?"), {m_forecast, m_receiver}, products)));
    else
        return ByProduct(LoadTotalForecasts(ProductSetFilter(QStringLiteral("prognoz = ?"), {m_forecast}, products)));
}

template <class R>
CCalcStatus CRowStore<R>::ReadRowsAndSums(const std::vector<int>& products, const std::vector<int>& members,
                                          std::unordered_map<int, R>& rows,
                                          std::unordered_map<int, CMemberSums>& sums) const
{
    std::vector<int> all = members;
    all.insert(all.end(), products.begin(), products.end());
    if (products.empty() || !FewProducts(all)) {
        auto read = ReadSums(members);
        if (!read)
            return read.failure();
        sums = std::move(*read);
        auto stored = ReadRows(products);
        if (!stored)
            return stored.failure();
        rows = std::move(*stored);
        return {};
    }
    // One statement; only the rows asked for are read whole.
    QString select = QStringLiteral(" where prognoz = ?");
    QVariantList args{m_forecast};
    if constexpr (std::is_same_v<R, CForecastDataRecord>) {
        select = ForecastDataSelect() + select + QStringLiteral(" and receiver = ?");
        args << m_receiver;
    } else {
        select = TotalForecastSelect() + select;
    }
    CSqlQuery q(select + QStringLiteral(" and ") + Dialect().FewIdsCondition(QStringLiteral("product")));
    q.bindAll(args).bind(IdSetArgument(all));
    if (!q.execOrReport())
        return CCalcStatus::DbFailed();
    const std::unordered_set<int> whole(products.begin(), products.end());
    rows.clear();
    sums.clear();
    while (q.next()) {
        const int product = q.intValue("product");
        sums[product] = {MemberSum(q, "sumLast"), MemberSum(q, "sumCurr"), MemberSum(q, "sumNext")};
        if (!whole.count(product))
            continue;
        std::optional<R> row;
        if constexpr (std::is_same_v<R, CForecastDataRecord>)
            row = ReadForecastDataRow(q);
        else
            row = ReadTotalForecastRow(q);
        if (q.readFailed()) {
            ReportComError(q.lastError());
            return CCalcStatus::DbFailed();
        }
        if (row)
            rows.emplace(product, std::move(*row));
    }
    return {};
}

template <class R>
R CRowStore<R>::New(int product) const
{
    R row;
    row.prognoz = m_forecast;
    row.product = product;
    if constexpr (std::is_same_v<R, CForecastDataRecord>)
        row.receiver = m_receiver;
    return row;
}

template <class R>
CCalcStatus CRowStore<R>::Lock() const
{
    const bool locked = std::is_same_v<R, CForecastDataRecord>
        ? LockDerivedRows(DerivedRows::ReceiverGroups, m_forecast, m_receiver)
        : LockDerivedRows(DerivedRows::Totals, m_forecast);
    return locked ? CCalcStatus() : CCalcStatus::DbFailed();
}

template <class R>
CCalcStatus CRowStore<R>::Save(R& row, bool takeNewId) const
{
    bool saved;
    if constexpr (std::is_same_v<R, CForecastDataRecord>)
        saved = SaveForecastData(row, takeNewId);
    else
        saved = SaveTotalForecast(row);
    return saved ? CCalcStatus() : CCalcStatus::DbFailed();
}

template <class R>
CCalcStatus CRowStore<R>::SaveAll(const std::vector<R*>& rows) const
{
    if constexpr (std::is_same_v<R, CForecastDataRecord>)
        return SaveForecastDataRows(rows) ? CCalcStatus() : CCalcStatus::DbFailed();
    for (R* row : rows)
        if (CCalcStatus saved = Save(*row, true); !saved)
            return saved;
    return {};
}

template class CRowStore<CForecastDataRecord>;
template class CRowStore<CTotalForecastRecord>;

std::vector<CGroupMember> MembersOf(const CProductTree& tree, const CProductRecord& group,
                                    const std::unordered_map<int, CMemberSums>& sums)
{
    std::vector<CGroupMember> members;
    for (const CProductRecord* child : tree.Children(group.id)) {
        const auto it = sums.find(child->id);
        members.push_back({child, it == sums.end() ? CMemberSums{} : it->second});
    }
    return members;
}
