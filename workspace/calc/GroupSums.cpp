#include "GroupSums.h"

#include "CalcTexts.h"

#include <cmath>

namespace {

using F = CForecastRowFields;
constexpr Money F::*kSums[3] = {&F::sumLast, &F::sumCurr, &F::sumNext};
constexpr Money F::*kValues[3] = {&F::valueLast, &F::valueCurr, &F::valueNext};

} // namespace

CCalcStatus SumOverflow(const CProductRecord& group)
{
    return CCalcStatus::Failed(CalcTexts::kSumOverflow + group.name);
}

std::optional<Money> ConvertMemberSum(Money sum, double koef)
{
    const double scaled = std::nearbyint(double(sum.raw()) * koef); // ties to even in the default mode
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0))
        return std::nullopt;
    return Money::fromRaw(static_cast<std::int64_t>(scaled));
}

CCalcResult<std::optional<double>> MemberFactor(const CProductRecord& group, const CProductRecord& member,
                                                CUnitPairCache& koef)
{
    if (member.measurementPrice == 0)
        return CCalcStatus::Failed(CalcTexts::kNoPriceUnit + member.name);
    if (member.measurementPrice == group.measurementPrice)
        return std::optional<double>();
    const CConversionKoef found = ConversionKoef(koef, member.measurementPrice, group.measurementPrice);
    if (!found)
        return CCalcStatus::Failed(found.failure().text());
    return std::optional<double>(*found);
}

bool AddConvertedSums(Money totals[3], const CMemberSums& sums, std::optional<double> factor)
{
    const Money years[3] = {sums.last, sums.curr, sums.next};
    for (int year = 0; year < 3; ++year) {
        // A sum read from NULL counts as 0.
        const Money m = Money::fromRaw(years[year].raw());
        const auto converted = factor ? ConvertMemberSum(m, *factor) : std::optional<Money>(m);
        if (!converted)
            return false;
        totals[year] += *converted;
        if (!totals[year].isValid())
            return false;
    }
    return true;
}

CCalcStatus AddMemberSums(CGroupAccumulator& acc, const CProductRecord& member, const CMemberSums& sums,
                          CUnitPairCache& koef)
{
    const auto factor = MemberFactor(acc.group, member, koef);
    if (!factor)
        return factor.failure();
    Money totals[3] = {acc.last, acc.curr, acc.next};
    if (!AddConvertedSums(totals, sums, *factor))
        return SumOverflow(acc.group);
    acc.last = totals[0];
    acc.curr = totals[1];
    acc.next = totals[2];
    return {};
}

CCalcStatus WriteGroupSums(const CGroupAccumulator& acc, CForecastRowFields& row)
{
    if (!acc.group.IsGroup())
        return {};
    const int kind = acc.group.type;
    if (kind != GROUP_SUM_OF_MEMBERS && kind != GROUP_TOTAL_ROW && kind != GROUP_BALANCE_ROW
        && kind != GROUP_BALANCE_LEGACY)
        return {};
    const Money totals[3] = {acc.last, acc.curr, acc.next};
    for (const Money& total : totals)
        if (!total.isValid())
            return SumOverflow(acc.group);
    for (int year = 0; year < 3; ++year) {
        Money& sum = row.*kSums[year];
        Money& value = row.*kValues[year];
        switch (kind) {
        case GROUP_SUM_OF_MEMBERS:
            sum = totals[year];
            break;
        case GROUP_TOTAL_ROW:
            // A value read from NULL counts as its stored amount.
            sum = totals[year] + Money::fromRaw(value.raw());
            break;
        default: // the balancing row; an invalid sum leaves an invalid (stored as 0) balance
            value = sum - totals[year];
            break;
        }
    }
    return {};
}

CCalcStatus SumGroupRows(const CProductRecord& group, const std::vector<CGroupMember>& members, CUnitPairCache& koef,
                         CForecastRowFields& row, IRecalcProgress* progress)
{
    CGroupAccumulator acc(group);
    if (progress)
        progress->NoteChildCount(int(members.size()));
    for (const CGroupMember& member : members) {
        if (progress)
            progress->ShowInner(member.product);
        if (CCalcStatus added = AddMemberSums(acc, *member.product, member.sums, koef); !added)
            return added;
    }
    return WriteGroupSums(acc, row);
}
