#include "ProductAveragePrices.h"

#include "tables/Prices.h"
#include "tables/Products.h"

#include <map>

#include <utility>

namespace {

QString Decimal(const QString& column)
{
    return QStringLiteral("cast(coalesce(%1, 0) as double precision)").arg(column);
}

} // namespace

bool ComputeDataAveragePrices(int forecast, int productId, double& last, double& curr, double& next)
{
    last = curr = next = 0.0;
    // Only rows with a quantity count; receivers that no longer exist do not.
    CSqlQuery q(QStringLiteral(
        "select sum(case when d.valueLast <> 0 then d.sumLast end) as sl, "
        "sum(case when d.valueLast <> 0 then d.valueLast end) as vl, "
        "sum(case when d.valueCurr <> 0 then d.sumCurr end) as sc, "
        "sum(case when d.valueCurr <> 0 then d.valueCurr end) as vc, "
        "sum(case when d.valueNext <> 0 then d.sumNext end) as sn, "
        "sum(case when d.valueNext <> 0 then d.valueNext end) as vn "
        "from tfctprognozdata d join tclsreceiver r on d.receiver = r.id where d.prognoz = ? and d.product = ?"));
    q.bind(forecast).bind(productId);
    if (!q.execOrReport() || !q.next())
        return false;
    auto average = [&](const char* sum, const char* quantity) {
        const double total = q.money(quantity).toDouble();
        // Quantities that cancel out give no price rather than an infinite one.
        return total != 0.0 ? q.money(sum).toDouble() / total : 0.0;
    };
    last = average("sl", "vl");
    curr = average("sc", "vc");
    next = average("sn", "vn");
    if (q.readFailed()) {
        ReportComError(q.lastError());
        return false;
    }
    return true;
}

bool ComputeAveragePriceRanges(const SqlFilter& filter, int unit, CAveragePriceRanges& out)
{
    out = CAveragePriceRanges();
    const CSqlDialect& dialect = Dialect();
    const QString rows =
        SqlFilter(filter.where, filter.args)
            .applyAnd(QStringLiteral(
                          "select case when coalesce(p.measurementPrice, 0) <> ? then coalesce("
                          "(select mc.koef from tclsmconvert mc where mc.base = p.measurementPrice and mc.produce = ? "
                          "order by mc.id limit 1), 1) else 1 end as k, ")
                      + Decimal(QStringLiteral("p.offsetMin")) + QStringLiteral(" as lo, ")
                      + Decimal(QStringLiteral("p.offsetMax")) + QStringLiteral(" as hi, ")
                      + dialect.MoneyAsDouble(QStringLiteral("pr.pricePrev")) + QStringLiteral(" as pprev, ")
                      + dialect.MoneyAsDouble(QStringLiteral("pr.priceCur")) + QStringLiteral(" as pcur, ")
                      + dialect.MoneyAsDouble(QStringLiteral("pr.priceNext")) + QStringLiteral(" as pnext, ")
                      + Decimal(QStringLiteral("p.avRep")) + QStringLiteral(" as arep, ")
                      + Decimal(QStringLiteral("p.avCur")) + QStringLiteral(" as acur, ")
                      + Decimal(QStringLiteral("p.avProg")) + QStringLiteral(" as aprog ")
                      + QStringLiteral(
                          "from tclsproduct p, tfctprice pr where p.id = pr.product and p.prognoz = pr.prognoz"));
    CSqlQuery q(QStringLiteral("select avg(k * lo * pprev) as minPrev, avg(k * hi * pprev) as maxPrev, "
                               "avg(k * arep) as avRep, avg(k * lo * pcur) as minCur, avg(k * hi * pcur) as maxCur, "
                               "avg(k * acur) as avCur, avg(k * lo * pnext) as minNext, "
                               "avg(k * hi * pnext) as maxNext, avg(k * aprog) as avProg from (")
                + rows + QStringLiteral(") x"));
    q.bind(unit).bind(unit);
    q.bindAll(filter.args);
    if (!q.execOrReport() || !q.next())
        return false;
    using A = CAveragePriceRanges;
    static constexpr std::pair<const char*, double A::*> kColumns[] = {
        {"minPrev", &A::minPrev}, {"maxPrev", &A::maxPrev}, {"avRep", &A::avRep},
        {"minCur", &A::minCur},   {"maxCur", &A::maxCur},   {"avCur", &A::avCur},
        {"minNext", &A::minNext}, {"maxNext", &A::maxNext}, {"avProg", &A::avProg},
    };
    for (const auto& [column, field] : kColumns)
        out.*field = q.decimal(column);
    return true;
}

bool RecalculateAveragePrices(int forecast)
{
    CTransaction transaction;
    if (!transaction.isActive())
        return false;
    const auto products = LoadPricedProducts(forecast);
    if (!products)
        return false;
    CSqlQuery update(
        QStringLiteral("update tclsproduct set avRep = ?, avCur = ?, avProg = ? where id = ? and prognoz = ?"));
    for (const CProductRecord& product : *products) {
        if (product.IsGroup())
            continue;
        double last = 0, curr = 0, next = 0;
        // Zeros from a failed read are no averages: keep the stored ones.
        if (!ComputeDataAveragePrices(forecast, product.id, last, curr, next))
            return false;
        update.bind(Decimal6{last}).bind(Decimal6{curr}).bind(Decimal6{next}).bind(product.id).bind(forecast);
        if (!update.execOrReport())
            return false;
    }
    return transaction.commit();
}

std::optional<CAvPriceList> CollectAveragePrices(int forecast, const std::vector<int>& sources)
{
    const auto products = LoadPricedProducts(forecast);
    if (!products)
        return std::nullopt;
    const QString where = Dialect().IdSetCondition(QStringLiteral("p.prognoz")) + QStringLiteral(" and p.code = ?");
    const QString set = IdSetArgument(sources);
    CAvPriceList rows;
    for (const CProductRecord& p : *products) {
        if (p.IsGroup())
            continue;
        CAveragePriceRanges r;
        if (!ComputeAveragePriceRanges(SqlFilter(where, {set, p.code}), p.measurementPrice, r))
            return std::nullopt;
        rows.push_back({p.id,
                        p.code,
                        p.name,
                        {r.minPrev, r.maxPrev, r.avRep, r.minCur, r.maxCur, r.avCur, r.minNext, r.maxNext, r.avProg}});
    }
    return rows;
}

bool ApplyAveragePrices(int forecast, const CAvPriceList& rows)
{
    return StoreInOneTransaction([&] {
        // The forecast's products and report prices in two statements rather than two a row.
        const auto products = LoadProducts(forecast);
        if (!products)
            return false;
        std::map<int, const CProductRecord*> byId;
        for (const CProductRecord& p : *products)
            byId.emplace(p.id, &p);
        // Prices that cannot be read count as 0, as a missing one does.
        std::map<int, double> reportPrices; // the first row of each product
        if (const auto prices = LoadPrices(SqlFilter(QStringLiteral("prognoz = ?"), {forecast}, QStringLiteral("id"))))
            for (const CPriceRecord& price : *prices)
                reportPrices.emplace(price.product, price.pricePrev.toDouble());
        for (const CAvPriceRow& row : rows) {
            const auto found = byId.find(row.productId);
            if (found == byId.end())
                continue; // deleted meanwhile
            CProductRecord product = *found->second;
            product.avRep = row.values[2];
            product.avCur = row.values[5];
            product.avProg = row.values[8];
            // A report price of 0 gives no ratio: the bounds stay as they were.
            const auto price = reportPrices.find(row.productId);
            const double report = price != reportPrices.end() ? price->second : 0.0;
            if (report != 0.0) {
                product.offsetMin = row.values[0] / report;
                product.offsetMax = row.values[1] / report;
            }
            if (!SaveProduct(product))
                return false;
        }
        return true;
    });
}
