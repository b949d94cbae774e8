#include "ProductForms.h"

#include "ProductRows.h"
#include "ReportDatabase.h"
#include "db/SqlDialect.h"
#include "tables/MConverts.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kNameWidth = 255;

// A name longer than the column's width loses its last two characters beyond it.
QString CutName(const QString& name)
{
    return name.size() > kNameWidth ? name.left(kNameWidth - 1) : name;
}

bool AllZero(const ReportProductRow& r)
{
    return r.sumLast.isZero() && r.sumCurr.isZero() && r.sumNext.isZero() && r.valueLast.isZero()
        && r.valueCurr.isZero() && r.valueNext.isZero();
}

// The top product's id (-1 without one), put at the head of the list when it is missing.
int PutTopProductFirst(int forecastId, std::vector<int>& productIds)
{
    const auto top = GetRootProduct(forecastId);
    if (!top)
        return -1;
    if (std::find(productIds.begin(), productIds.end(), top->id) == productIds.end())
        productIds.insert(productIds.begin(), top->id);
    return top->id;
}

// A footer line carries its group's id: it is no product row of its own.
bool IsProductLine(const ReportProductRow& r)
{
    return !r.isFooter && r.level >= 0;
}

// The columns that forms 1 and 6 share, from the name to the quantities.
#define LINE_COLUMNS                                                                                                   \
    "name", "code", "measurementNatural", "measurementNaturalId", "measurementPrice", "measurementPriceId",            \
        "isMeasurementNatural", "sumCurr", "sumLast", "sumNext", "valueCurr", "valueLast", "valueNext"

CReportTable& operator<<(CReportTable& t, const ReportProductRow& r)
{
    return t << CutName(r.name) << r.code << r.measurementNatural << r.measurementNaturalId << r.measurementPrice
             << r.measurementPriceId << r.isMeasurementNatural << r.sumCurr << r.sumLast << r.sumNext << r.valueCurr
             << r.valueLast << r.valueNext;
}

} // namespace

Money MoneyQuotient(Money numerator, Money divisor, int factor)
{
    if (divisor.isZero())
        return Money::fromInt(0);
    const __int128 n = __int128(numerator.raw()) * factor * Money::kScale;
    const __int128 d = divisor.raw();
    __int128 q = n / d;
    const __int128 r = n % d;
    // Half to even on the exact remainder.
    const __int128 twice = (r < 0 ? -r : r) * 2;
    const __int128 absD = d < 0 ? -d : d;
    if (twice > absD || (twice == absD && (q % 2 != 0)))
        q += ((n < 0) != (d < 0)) ? -1 : 1;
    if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min())
        return Money::invalid();
    return Money::fromRaw(std::int64_t(q), numerator.isValid() && divisor.isValid());
}

int BuildReportForm1(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool includeEmptyRows)
{
    PutTopProductFirst(forecastId, productIds);
    const auto rows = GetProductTotalsList(forecastId, receiverIds, productIds, depthMap);
    if (!rows)
        return -1;
    return RunReportFrame([&](CReportFrame& frame) {
        CReportTable& t = frame.Table("reportform1", {LINE_COLUMNS});
        for (const ReportProductRow& r : *rows) {
            if (!includeEmptyRows && AllZero(r))
                continue;
            t << r;
            t.Write();
        }
    });
}

int BuildReportForm3(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     bool includeEmptyRows)
{
    PutTopProductFirst(forecastId, productIds);
    CProductDepthMap depthMap;
    const auto rows = GetProductTotalsList(forecastId, receiverIds, productIds, depthMap);
    if (!rows)
        return -1;
    return RunReportFrame([&](CReportFrame& frame) {
        CReportTable& t = frame.Table("reportform3",
                                      {"name", "code", "measurementNatural", "measurementPrice", "isMeasurementNatural",
                                       "valPrognoz", "valMethodNorm", "valMethodIndex", "valMethodPlan",
                                       "valMethodForm", "valMethodOther", "sumPrognoz", "sumMethodNorm",
                                       "sumMethodIndex", "sumMethodPlan", "sumMethodForm", "sumMethodOther"});
        for (const ReportProductRow& r : *rows) {
            if (!includeEmptyRows && AllZero(r))
                continue;
            t << CutName(r.name) << r.code << r.measurementNatural << r.measurementPrice << r.isMeasurementNatural
              << r.valueNext << r.valueNorm << r.valueIndex << r.valuePlan << r.valueFormula << r.valueOther
              << r.sumNext << r.sumNorm << r.sumIndex << r.sumPlan << r.sumFormula << r.sumOther;
            t.Write();
        }
    });
}

int BuildReportForm5(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool)
{
    PutTopProductFirst(forecastId, productIds);
    const auto rows = GetProductTotalsList(forecastId, receiverIds, productIds, depthMap);
    if (!rows)
        return -1;
    return RunReportFrame([&](CReportFrame& frame) {
        CReportTable& t =
            frame.Table("reportform5",
                        {"name", "measurementNatural", "measurementNaturalId", "measurementPrice", "measurementPriceId",
                         "isMeasurementNatural", "sumCurr", "sumLast", "sumNext", "valueCurr", "valueLast", "valueNext",
                         "avgLast", "avgCurr", "avgNext", "percentValueFromLastTillCurr",
                         "percentValueFromCurrTillNext", "percentSumFromLastTillCurr", "percentSumFromCurrTillNext"});
        for (const ReportProductRow& r : *rows) {
            // A group's quotients would mix its members' units: they stay 0.
            const auto q = [&](Money n, Money d, int factor) {
                return r.isGroup ? Money::fromInt(0) : MoneyQuotient(n, d, factor);
            };
            t << r.name << r.measurementNatural << r.measurementNaturalId << r.measurementPrice << r.measurementPriceId
              << r.isMeasurementNatural << r.sumCurr << r.sumLast << r.sumNext << r.valueCurr << r.valueLast
              << r.valueNext << q(r.sumLast, r.valueLast, 1) << q(r.sumCurr, r.valueCurr, 1)
              << q(r.sumNext, r.valueNext, 1) << q(r.valueCurr, r.valueLast, 100) << q(r.valueNext, r.valueCurr, 100)
              << q(r.sumCurr, r.sumLast, 100) << q(r.sumNext, r.sumCurr, 100);
            t.Write();
        }
    });
}

int BuildReportForm6(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool includeEmptyRows)
{
    const int topId = PutTopProductFirst(forecastId, productIds);
    const auto rows = GetProductTotalsList(forecastId, receiverIds, productIds, depthMap);
    if (!rows)
        return -1;
    CUnitPairCache units{OnDbError::Silent};
    return RunReportFrame([&](CReportFrame& frame) {
        CReportTable& t = frame.Table("reportform6", {LINE_COLUMNS, "ratioLast", "ratioCurr", "ratioNext"});
        // Known from the top product's line on; lines before it get 0.
        Money totalLast, totalCurr, totalNext;
        int totalUnit = -1;
        for (const ReportProductRow& r : *rows) {
            const bool top = r.id == topId && IsProductLine(r);
            if (top) {
                totalLast = r.sumLast;
                totalCurr = r.sumCurr;
                totalNext = r.sumNext;
                totalUnit = r.measurementPriceId;
            }
            if (!includeEmptyRows && AllZero(r))
                continue;
            // A sum kept in another money unit than the top's is set against the top's sum in its
            // own unit.
            const auto ratio = [&](Money sum, Money total) {
                if (top)
                    return Money::fromInt(100);
                if (sum.isZero() || total.isZero() || r.measurementPriceId == totalUnit)
                    return MoneyQuotient(sum, total, 100);
                const double converted = TopSumInUnit(r.measurementPriceId, total, totalUnit, units);
                const auto share = Money::fromDouble(sum.toDouble() / converted * 100.0);
                if (!share)
                    throw CReportFailure(DbError::fromSql(MoneyOverflowError()));
                return *share;
            };
            t << r << ratio(r.sumLast, totalLast) << ratio(r.sumCurr, totalCurr) << ratio(r.sumNext, totalNext);
            t.Write();
        }
    });
}
