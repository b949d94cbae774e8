#include "ProductRows.h"

#include "AppMessage.h"
#include "FormRows.h"
#include "ReportDatabase.h"
#include "ReportProgress.h"
#include "db/DbConnection.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "tables/MConverts.h"
#include "tables/PriceChecks.h"

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr int kNameLimit = 255;
const QString kNoUnitText = QStringLiteral("Не найдена единица измерения");

// The product set of the calling thread's loads, in a temporary table of its own connection.
const QString kCreateIdTable =
    QStringLiteral("create temporary table if not exists tmp_report_products (id int not null primary key)");
const QString kClearIdTable = QStringLiteral("delete from tmp_report_products");

// Which loader's set the calling thread's table holds: another loader on the same thread fills it anew.
thread_local std::uint64_t t_idTableOwner = 0;
std::atomic<std::uint64_t> g_loaderSerial{0};

// A product counts as a group when the forecast holds a member of it; other forecasts share the ids.
const QString kCommonColumns = QStringLiteral(
    "select p.id, p.name, p.code, p.parent, p.type, p.balanceTitle, p.isgroup,"
    " p.measurementNatural as measurementNaturalId, p.measurementPrice as measurementPriceId,"
    " mn.oboznachenie as measurementNatural, mp.oboznachenie as measurementPrice,"
    " (select count(*) from tclsproduct pc where pc.prognoz = p.prognoz and pc.parent = p.id) as is_group,"
    " pr.sumLast, pr.sumCurr, pr.sumNext, pr.valueLast, pr.valueCurr, pr.valueNext,"
    " pr.valueNorm, pr.valueIndex, pr.valuePlan, pr.valueFormula, pr.valueOther,"
    " pr.sumNorm, pr.sumIndex, pr.sumPlan, pr.sumFormula, pr.sumOther");

const QString kCommonJoins = QStringLiteral(" from tclsproduct p"
                                            " join tmp_report_products tmp on tmp.id = p.id"
                                            " left join tclsmeasurement mn on mn.id = p.measurementNatural"
                                            " left join tclsmeasurement mp on mp.id = p.measurementPrice");

// The chosen receivers' own data summed per product: the data of the top receiver and of receivers
// that are no group count, those the forecast does not map do not. Values: forecast, forecast,
// receiver ids, forecast.
QString ReceiverQuery()
{
    return kCommonColumns + QStringLiteral(", 1 as loaded") + kCommonJoins
        + QStringLiteral(
              " left join (select d.product,"
              " sum(d.sumLast) as sumLast, sum(d.sumCurr) as sumCurr, sum(d.sumNext) as sumNext,"
              " sum(d.valueLast) as valueLast, sum(d.valueCurr) as valueCurr, sum(d.valueNext) as valueNext,"
              " sum(d.valueNorm) as valueNorm, sum(d.valueIndex) as valueIndex, sum(d.valuePlan) as valuePlan,"
              " sum(d.valueFormula) as valueFormula, sum(d.valueOther) as valueOther,"
              " sum(d.sumNorm) as sumNorm, sum(d.sumIndex) as sumIndex, sum(d.sumPlan) as sumPlan,"
              " sum(d.sumFormula) as sumFormula, sum(d.sumOther) as sumOther"
              " from tfctprognozdata d"
              " where d.prognoz = ? and d.product in (select id from tmp_report_products)"
              " and d.receiver in (select r.id from tclsreceiver r"
              " join tclsreceivermap m on m.receiver = r.id and m.prognoz = ?"
              " where %1 and (r.category = 0 or r.isgroup = 0))"
              " group by d.product) pr on pr.product = p.id"
              " where p.prognoz = ? and p.measurementPrice <> 0")
              .arg(Dialect().IdSetCondition(QStringLiteral("r.id")));
}

// The consolidated rows of the listed products, for a product with a money unit and a price row in
// the forecast; every listed product of the forecast comes back. Value: forecast.
QString ConsolidatedQuery()
{
    return kCommonColumns + QStringLiteral(", pr.id as loaded") + kCommonJoins
        + QStringLiteral(" left join tfcttotalprognoz pr on pr.prognoz = p.prognoz and pr.product = p.id"
                         " and p.measurementPrice <> 0"
                         " and exists (select 1 from tfctprice pri where pri.prognoz = p.prognoz"
                         " and pri.product = p.id)"
                         " where p.prognoz = ?");
}

[[noreturn]] void Fail(const CSqlQuery& q)
{
    throw CReportFailure(DbError::fromSql(q.lastError()));
}

// Every figure read is a valid value; NULL is 0.
Money Figure(const CSqlQuery& q, const char* column)
{
    return Money::fromRaw(q.money(column).raw());
}

struct LoadedProduct {
    ReportProductRow row;
    bool hasFigures = false; // the statement found its figures (consolidated: totals and a price row)
    int recordGroup = 0;     // the product's own group flag
};

LoadedProduct ReadLoaded(const CSqlQuery& q)
{
    LoadedProduct l;
    ReportProductRow& r = l.row;
    r.isGroup = q.intValue("is_group", 0) != 0;
    r.id = q.intValue("id");
    r.balanceTitle = q.text("balanceTitle");
    r.name = q.text("name");
    r.code = q.text("code");
    r.parent = q.intValue("parent", 0);
    r.type = q.intValue("type", 0);
    l.recordGroup = q.intValue("isgroup", 0);
    l.hasFigures = !q.isNull("loaded");
    if (!l.hasFigures)
        return l;
    if (!r.isGroup && !q.isNull("measurementNatural")) {
        r.measurementNatural = q.text("measurementNatural");
        r.measurementNaturalId = q.intValue("measurementNaturalId", -1);
        r.isMeasurementNatural = 1;
    }
    r.measurementPrice = q.text("measurementPrice");
    r.measurementPriceId = q.intValue("measurementPriceId", -1);
    r.sumLast = Figure(q, "sumLast");
    r.sumCurr = Figure(q, "sumCurr");
    r.sumNext = Figure(q, "sumNext");
    r.valueLast = Figure(q, "valueLast");
    r.valueCurr = Figure(q, "valueCurr");
    r.valueNext = Figure(q, "valueNext");
    r.valueNorm = Figure(q, "valueNorm");
    r.valueIndex = Figure(q, "valueIndex");
    r.valuePlan = Figure(q, "valuePlan");
    r.valueFormula = Figure(q, "valueFormula");
    r.valueOther = Figure(q, "valueOther");
    r.sumNorm = Figure(q, "sumNorm");
    r.sumIndex = Figure(q, "sumIndex");
    r.sumPlan = Figure(q, "sumPlan");
    r.sumFormula = Figure(q, "sumFormula");
    r.sumOther = Figure(q, "sumOther");
    return l;
}

Money Hundred()
{
    return Money::fromInt(100);
}

void SetTopShares(ReportProductRow& row)
{
    row.shareLast = row.shareCurr = row.shareNext = Hundred();
}

QString Cut(const QString& name)
{
    return name.size() > kNameLimit ? name.left(kNameLimit) : name;
}

} // namespace

bool HasFooterLine(int type)
{
    return type == 96 || type == 112 || type == 1;
}

ReportProductRow MakeFooterRow(const ReportProductRow& group)
{
    ReportProductRow footer = group;
    footer.name = group.balanceTitle;
    footer.isGroup = false;
    footer.level = -1;
    footer.sumLast = group.valueLast;
    footer.sumCurr = group.valueCurr;
    footer.sumNext = group.valueNext;
    // The balancing line is what the group's sum leaves over its members: no method of justification
    // splits it, and the group's own split is no part of it.
    for (Money* method :
         {&footer.sumNorm, &footer.sumIndex, &footer.sumPlan, &footer.sumFormula, &footer.sumOther, &footer.valueNorm,
          &footer.valueIndex, &footer.valuePlan, &footer.valueFormula, &footer.valueOther})
        *method = Money::fromInt(0);
    return footer;
}

double TopSumInUnit(int unit, Money topSum, int topUnit, CUnitPairCache& units)
{
    double converted = 0.0;
    const CTableResult conversion = ConvertByUnits(units, topUnit, unit, topSum.toDouble(), converted);
    if (!conversion) {
        if (conversion.notice)
            AppMessageBox(conversion.notice->text, conversion.notice->flags);
        throw CReportFailure::Shown(kNoUnitText); // the missing conversion has been shown
    }
    return converted;
}

void ComputeShares(ReportProductRow& row, const ReportProductRow& top, CUnitPairCache& units)
{
    // sum / (top's sum in the row's unit), to four decimals, times 100.
    const auto share = [&](Money sum, Money topSum) {
        if (topSum.isZero())
            return Money::fromInt(0);
        const double converted = TopSumInUnit(row.measurementPriceId, topSum, top.measurementPriceId, units);
        const auto quotient = Money::fromDouble(sum.toDouble() / converted);
        const auto percent = quotient ? MulMoneyDouble(*quotient, 100.0) : std::nullopt;
        if (!percent)
            throw CReportFailure(DbError::fromSql(MoneyOverflowError()));
        return *percent;
    };
    row.shareLast = share(row.sumLast, top.sumLast);
    row.shareCurr = share(row.sumCurr, top.sumCurr);
    row.shareNext = share(row.sumNext, top.sumNext);
}

struct CProductTotalsLoader::State {
    int forecastId;
    std::vector<int> productIds;
    CProductDepthMap& depthMap;
    bool depthsKnown = false;
    const std::uint64_t serial = ++g_loaderSerial;
    std::unique_ptr<CSqlQuery> receiverQuery;
    std::unique_ptr<CSqlQuery> consolidatedQuery;
    CUnitPairCache units{OnDbError::Silent};

    State(int forecast, std::vector<int> ids, CProductDepthMap& depths)
        : forecastId(forecast)
        , productIds(std::move(ids))
        , depthMap(depths)
    {
    }

    // The consolidated rows stand at one level: only the rows by receivers need the tree's depths.
    void KnowDepths()
    {
        if (depthsKnown)
            return;
        if (depthMap.empty())
            ReportStep(ReportStepTexts::kProductTree);
        if (depthMap.empty()
            && !CheckedRead([&] { return CollectProductTree(forecastId, depthMap, nullptr, nullptr); }))
            throw CReportFailure(ReportFailureTexts::kProductTree);
        depthsKnown = true;
    }

    void Prepare()
    {
        if (t_idTableOwner == serial)
            return;
        t_idTableOwner = 0;
        {
            // Not a statement the server prepares.
            QSqlDatabase db = GetDBConnection().GetConnection();
            QSqlQuery create(db);
            if (!db.isValid() || !create.exec(kCreateIdTable))
                throw CReportFailure(DbError::fromSql(db.isValid() ? create.lastError() : db.lastError()));
        }
        CSqlQuery clear(kClearIdTable);
        if (!clear.exec())
            Fail(clear);
        CSqlQuery fill(QStringLiteral("insert into tmp_report_products (id)"
                                      " select p.id from tclsproduct p where p.prognoz = ? and ")
                       + Dialect().IdSetCondition(QStringLiteral("p.id")));
        fill.bind(forecastId).bind(IdSetArgument(productIds));
        if (!fill.exec())
            Fail(fill);
        t_idTableOwner = serial;
    }

    static std::unordered_map<int, LoadedProduct> Run(CSqlQuery& q)
    {
        ReportStep(ReportStepTexts::kProductSums);
        if (!q.exec())
            Fail(q);
        std::unordered_map<int, LoadedProduct> loaded;
        while (q.next()) {
            LoadedProduct l = ReadLoaded(q);
            if (q.readFailed())
                Fail(q);
            const int id = l.row.id;
            loaded.emplace(id, std::move(l));
        }
        return loaded;
    }

    CSqlQuery& Statement(std::unique_ptr<CSqlQuery>& slot, const QString& sql)
    {
        if (!slot)
            slot = std::make_unique<CSqlQuery>(sql);
        if (!slot->isPrepared())
            Fail(*slot);
        return *slot;
    }

    int DepthOf(int id) const
    {
        const auto it = depthMap.find(id);
        return it == depthMap.end() ? 0 : it->second;
    }

    ReportProductList ByReceivers(const std::vector<int>& receiverIds)
    {
        KnowDepths();
        CSqlQuery& q = Statement(receiverQuery, ReceiverQuery());
        q.bind(forecastId).bind(forecastId).bind(IdSetArgument(receiverIds)).bind(forecastId);
        auto loaded = Run(q);

        // Each product is taken once: its row moves out of what was read.
        ReportProductList out;
        out.reserve(loaded.size());
        std::vector<ReportProductRow> pending; // footers waiting for the end of their group
        ReportProductRow top;
        std::unordered_set<int> done;
        for (int id : productIds) {
            const auto it = loaded.find(id);
            if (it == loaded.end() || !done.insert(id).second)
                continue;
            ReportProductRow row = std::move(it->second.row);
            const int depth = DepthOf(id);
            const QString indent(depth, u'-');
            row.level = depth;
            row.name = Cut(indent + row.name);
            if (row.parent == 0) {
                SetTopShares(row);
                top = row;
            } else {
                ComputeShares(row, top, units);
            }
            if (row.isGroup)
                while (!pending.empty() && pending.back().level >= depth) {
                    out.push_back(std::move(pending.back()));
                    pending.pop_back();
                }
            if (row.isGroup && HasFooterLine(row.type)) {
                ReportProductRow footer = MakeFooterRow(row);
                footer.name = Cut(indent + QLatin1Char('-') + footer.name);
                footer.level = depth;
                footer.isFooter = true;
                pending.push_back(std::move(footer));
            }
            out.push_back(std::move(row));
        }
        while (!pending.empty()) {
            out.push_back(std::move(pending.back()));
            pending.pop_back();
        }
        return out;
    }

    ReportProductList Consolidated()
    {
        CSqlQuery& q = Statement(consolidatedQuery, ConsolidatedQuery());
        q.bind(forecastId);
        auto loaded = Run(q);

        ReportProductList out;
        const ReportProductRow noTop;
        for (int id : productIds) {
            const auto it = loaded.find(id);
            if (it == loaded.end())
                continue;
            const LoadedProduct& product = it->second;
            ReportProductRow row = product.hasFigures ? product.row : ReportProductRow();
            row.level = 1;
            row.isGroup = product.recordGroup != 0;
            row.name = Cut(product.row.name);
            row.code = product.row.code;
            row.id = product.row.id;
            row.parent = product.row.parent;
            row.type = product.row.type;
            row.balanceTitle = product.row.balanceTitle;
            if (row.parent == 0)
                SetTopShares(row);
            else
                ComputeShares(row, noTop, units);
            out.push_back(row);
            if (row.isGroup && HasFooterLine(row.type)) {
                ReportProductRow footer = MakeFooterRow(row);
                footer.name = Cut(QLatin1Char('-') + footer.name);
                footer.level = -1;
                out.push_back(std::move(footer));
            }
        }
        return out;
    }
};

CProductTotalsLoader::CProductTotalsLoader(int forecastId, std::vector<int> productIds, CProductDepthMap& depthMap)
    : m(std::make_unique<State>(forecastId, std::move(productIds), depthMap))
{
}

CProductTotalsLoader::~CProductTotalsLoader() = default;

std::optional<ReportProductList> CProductTotalsLoader::Load(const std::vector<int>& receiverIds)
{
    try {
        m->Prepare();
        return receiverIds.empty() ? m->Consolidated() : m->ByReceivers(receiverIds);
    } catch (...) {
        ReportRunFailure(std::current_exception());
    }
    return std::nullopt;
}

std::optional<ReportProductList> GetProductTotalsList(int forecastId, const std::vector<int>& receiverIds,
                                                      const std::vector<int>& productIds, CProductDepthMap& depthMap)
{
    CProductTotalsLoader loader(forecastId, productIds, depthMap);
    return loader.Load(receiverIds);
}
