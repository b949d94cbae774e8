#include "ProductAveragePrices.h"

#include "tables/Products.h"

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
