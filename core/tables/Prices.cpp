#include "Prices.h"

#include "db/RowStage.h"

#include <map>
#include <utility>

namespace {

using R = CPriceRecord;

const std::array<XmlField<R>, 6> kXmlFields = {{{"id", &R::id},
                                                {"prognoz", &R::prognoz},
                                                {"product", &R::product},
                                                {"priceprev", &R::pricePrev},
                                                {"pricecur", &R::priceCur},
                                                {"pricenext", &R::priceNext}}};

const QString kColumns = QStringLiteral("id, prognoz, product, pricePrev, priceCur, priceNext");
const QString kSelect = QStringLiteral("select ") + kColumns + QStringLiteral(" from tfctprice");
const QString kInsert =
    QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)");

constexpr CRowReader<R> kRows{&ReadPriceRow, UnreadableRow::FailRead};

const std::vector<BulkColumn> kAppendColumns{{"prognoz", BulkType::Int},
                                             {"product", BulkType::Int},
                                             {"pricePrev", BulkType::Money},
                                             {"priceCur", BulkType::Money},
                                             {"priceNext", BulkType::Money}};

// The insert of the rows that `source` (a table expression named `s`) gives, each where `where`
// holds; a product priced twice keeps its first price.
QString AppendSql(const QString& source, const QString& where)
{
    return QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) select "
                          "s.prognoz, s.product, s.pricePrev, s.priceCur, s.priceNext from %1 where %2 "
                          "on conflict do nothing")
        .arg(source, where);
}

template <class Rows>
[[nodiscard]] bool AddAppendRow(Rows& rows, const R& rec)
{
    rows.add(rec.prognoz).add(rec.product).add(rec.pricePrev).add(rec.priceCur).add(rec.priceNext);
    return rows.endRow();
}

void BindRow(CSqlQuery& q, const R& rec)
{
    q.bind(rec.prognoz).bind(rec.product).bind(rec.pricePrev).bind(rec.priceCur).bind(rec.priceNext);
}

} // namespace

template <>
const CXmlFormat<R>& XmlFormatOf<R>()
{
    static const CXmlFormat<R> format{XmlNames::kPrice, XmlNames::kPrices, kXmlFields, "tfctprice"};
    return format;
}

std::optional<CPriceRecord> ReadPriceRow(const CSqlQuery& q)
{
    const auto id = ReadRowKey(q, "id");
    const auto prognoz = ReadRowKey(q, "prognoz");
    const auto product = ReadRowKey(q, "product");
    if (!id || !prognoz || !product)
        return std::nullopt;
    return R{*id, *prognoz, *product, q.money("pricePrev"), q.money("priceCur"), q.money("priceNext")};
}

std::optional<CPriceRecord> GetPrice(int product, int prognoz)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where prognoz = ? and product = ? order by id"),
                         prognoz, product);
}

std::optional<CPriceRecord> GetPriceById(int id, int prognoz)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where prognoz = ? and id = ?"), prognoz, id);
}

std::optional<CPriceList> LoadPrices(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Silent, filter.apply(kSelect), filter.args);
}

bool SavePrice(CPriceRecord& rec, bool takeNewId)
{
    const auto written = WithoutSpoiling([&] {
        return UpsertByKey(kInsert
                               + QStringLiteral(" on conflict (prognoz, product) do update set pricePrev = "
                                                "excluded.pricePrev, priceCur = excluded.priceCur, priceNext = "
                                                "excluded.priceNext"),
                           [&](CSqlQuery& q) { BindRow(q, rec); });
    });
    if (!written)
        return false;
    if (written->inserted && takeNewId)
        rec.id = written->id;
    return true;
}

std::optional<CPriceList> PricesToAppend(const CPriceList& prices)
{
    std::set<int> forecasts;
    for (const R& p : prices)
        forecasts.insert(p.prognoz);
    if (forecasts.empty())
        return CPriceList{};
    CSqlQuery q(QStringLiteral("select p.prognoz, p.id, case when exists (select 1 from tfctprice pr where "
                               "pr.prognoz = p.prognoz and pr.product = p.id) then 1 else 0 end as priced "
                               "from tclsproduct p where ")
                + Dialect().IdSetCondition(QStringLiteral("p.prognoz")));
    q.bind(IdSetArgument(std::vector<int>(forecasts.begin(), forecasts.end())));
    if (!q.execOrReport())
        return std::nullopt;
    std::map<std::pair<int, int>, bool> priced; // (forecast, product): has a price
    while (q.next())
        priced[{q.intValue("prognoz"), q.intValue("id")}] = q.intValue("priced") != 0;
    CPriceList out;
    for (const R& p : prices) {
        const auto found = priced.find({p.prognoz, p.product});
        if (found != priced.end() && !std::exchange(found->second, true))
            out.push_back(p);
    }
    return out;
}

bool AppendPrices(const CPriceList& list, const std::set<int>& skipProducts)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    // A product priced twice in the list keeps its first price, as a lookup would find it.
    CBulkStatement insert(AppendSql(QStringLiteral("%1"), QStringLiteral("true")), QStringLiteral("s"), kAppendColumns);
    for (const CPriceRecord& rec : list) {
        if (!skipProducts.count(rec.product) && !AddAppendRow(insert, rec))
            return false;
    }
    return insert.finish() && tx.commit();
}

std::unique_ptr<CRowStage> StartPriceStage()
{
    auto stage = std::make_unique<CRowStage>(QStringLiteral("prices"), kAppendColumns);
    if (!stage->Start())
        return nullptr;
    return stage;
}

bool StagePrice(CRowStage& stage, const CPriceRecord& rec)
{
    return AddAppendRow(stage, rec);
}

bool AppendStagedPrices(const CRowStage& stage)
{
    // Only stored products; one that has a price keeps it, as the conflict leaves it.
    return ExecSql(AppendSql(
        stage.table() + QStringLiteral(" s"),
        QStringLiteral("exists (select 1 from tclsproduct p where p.prognoz = s.prognoz and p.id = s.product) "
                       "order by s.ord")));
}

bool DeleteForecastPrices(int prognoz)
{
    if (!ExecSql(QStringLiteral("delete from tfctprice where prognoz = ?"), prognoz))
        return false;
    WritePriceJournal(nullptr);
    return true;
}

bool DeletePrice(CPriceRecord& rec, int prognoz)
{
    return DeleteRow(
        rec, -1, kRows, [](const CPriceRecord& stored, int) { WritePriceJournal(&stored); }, OnDbError::Report,
        QStringLiteral("delete from tfctprice where id = ? and product = ? and prognoz = ? returning ") + kColumns,
        rec.id, rec.product, prognoz);
}

void WritePriceJournal(const CPriceRecord* stored)
{
    QueueJournal([&] {
        QString text = JournalOperationWord(JOURNAL_DELETE) + QStringLiteral("Price; ");
        if (stored)
            return text + QStringLiteral("prognoz=%1; product=%2").arg(stored->prognoz).arg(stored->product);
        return text + QStringLiteral(" all records for prognoz");
    });
}
