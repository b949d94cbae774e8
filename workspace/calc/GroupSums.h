// The sums of a product group from its members: members' sums are converted into the group's price
// unit and added up, and the group's row takes the result by the kind of the group.
#pragma once

#include "Conversion.h"
#include "RecalcProgress.h"
#include "tables/ForecastData.h"
#include "tables/Products.h"
#include "tables/TotalForecasts.h"

#include <vector>

// How a group's row follows from its members (the `type` of a product whose isgroup is not 0).
enum GroupKind : int {
    GROUP_BALANCE_LEGACY = 1,  // as GROUP_BALANCE_ROW
    GROUP_SUM_OF_MEMBERS = 64, // sums := members
    GROUP_TOTAL_ROW = 96,      // sums := members + the group's own values (the balancing amount)
    GROUP_BALANCE_ROW = 112,   // values := the group's sums - members
};

// A member's sums of the three years in its own price unit; a member without a row has zeros.
struct CMemberSums {
    Money last;
    Money curr;
    Money next;

    static CMemberSums Of(const CForecastRowFields& row) { return {row.sumLast, row.sumCurr, row.sumNext}; }
};

struct CGroupMember {
    const CProductRecord* product;
    CMemberSums sums;
};

// A member's sum in the group's price unit: the sum (NULL as 0) times the factor, rounded half to even
// to the ten-thousandth; none beyond the money range. Each member is rounded on its own, so that the
// totals are exact sums whatever order the members come in.
std::optional<Money> ConvertMemberSum(Money sum, double koef);

// The members' totals of the three years in the group's price unit, exact sums of the members' sums
// (converted ones rounded each); an invalid total went beyond the money range.
struct CGroupAccumulator {
    explicit CGroupAccumulator(const CProductRecord& g)
        : group(g)
    {
    }
    const CProductRecord& group;
    Money last;
    Money curr;
    Money next;
};

// The factor of a member's sums into the group's price unit: none when the units are equal. Fails
// when the member has no price unit or the units have no coefficient.
CCalcResult<std::optional<double>> MemberFactor(const CProductRecord& group, const CProductRecord& member,
                                                CUnitPairCache& koef);
// Adds sums (NULL as 0) converted by the factor; false when a total leaves the money range.
bool AddConvertedSums(Money totals[3], const CMemberSums& sums, std::optional<double> factor);
// Adds one member, converted into the group's unit. Fails when the member has no price unit, the
// units have no coefficient or the sum leaves the money range.
CCalcStatus AddMemberSums(CGroupAccumulator& acc, const CProductRecord& member, const CMemberSums& sums,
                          CUnitPairCache& koef);
// The failure of a group whose totals leave the money range.
CCalcStatus SumOverflow(const CProductRecord& group);
// Writes the totals into the group's row by its kind; a row of another
// kind, or of a product that is no group, stays as it is, and so does a row whose totals leave the
// money range (which fails).
CCalcStatus WriteGroupSums(const CGroupAccumulator& acc, CForecastRowFields& row);
// The same rule for a consolidated row.
inline CCalcStatus ApplyGroupTotals(const CGroupAccumulator& acc, CTotalForecastRecord& row)
{
    return WriteGroupSums(acc, row);
}

// The one summing rule over rows the caller holds: the members in their order, then the group's
// row by its kind. Reports the member count and each member to the progress sink when there is one.
// A failure leaves the row as it was.
CCalcStatus SumGroupRows(const CProductRecord& group, const std::vector<CGroupMember>& members, CUnitPairCache& koef,
                         CForecastRowFields& row, IRecalcProgress* progress = nullptr);
