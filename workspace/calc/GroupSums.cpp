#include "GroupSums.h"

#include "CalcTexts.h"
#include "RecalcRun.h"

namespace {

using F = CForecastRowFields;
constexpr Money F::*kSums[3] = {&F::sumLast, &F::sumCurr, &F::sumNext};
constexpr Money F::*kValues[3] = {&F::valueLast, &F::valueCurr, &F::valueNext};

// The total of a year as money: the converted part rounded once, half to even; none beyond the
// money range.
std::optional<Money> ToMoney(const CYearTotal& total)
{
    const auto converted = Money::fromDouble(total.converted);
    const Money sum = converted ? total.exact + *converted : Money::invalid();
    if (!sum.isValid())
        return std::nullopt;
    return sum;
}

CCalcStatus SumOverflow(const CProductRecord& group)
{
    return CCalcStatus::Failed(CalcTexts::kSumOverflow + group.name);
}

template <class Row, class Rows>
CCalcStatus SumFromDatabase(IRecalcProgress* progress, const CProductRecord& group, Row& row, const Rows& rows,
                            CUnitPairCache& koef)
{
    auto children = LoadProductChildren(group.id, group.prognoz);
    if (!children)
        return CCalcStatus::Failed(CalcTexts::kProductsBroken);
    std::vector<int> ids;
    for (const CProductRecord& child : *children)
        ids.push_back(child.id);
    const auto sums = rows.ReadSums(ids);
    if (!sums)
        return sums.failure();
    std::vector<CGroupMember> members;
    for (const CProductRecord& child : *children) {
        const auto it = sums->find(child.id);
        members.push_back({&child, it == sums->end() ? CMemberSums{} : it->second});
    }
    return SumGroupRows(group, members, koef, row, progress);
}

} // namespace

CCalcStatus AddMemberSums(CGroupAccumulator& acc, const CProductRecord& member, const CMemberSums& sums,
                          CUnitPairCache& koef)
{
    if (member.measurementPrice == 0)
        return CCalcStatus::Failed(CalcTexts::kNoPriceUnit + member.name);
    const bool convert = member.measurementPrice != acc.group.measurementPrice;
    double k = 1.0;
    if (convert) {
        const CConversionKoef found = ConversionKoef(koef, member.measurementPrice, acc.group.measurementPrice);
        if (!found)
            return CCalcStatus::Failed(found.failure().text());
        k = *found;
    }
    auto add = [&](CYearTotal& total, Money sum) {
        // A sum read from NULL counts as 0.
        const Money m = Money::fromRaw(sum.raw());
        if (convert) {
            total.converted += m.toDouble() * k;
            return true;
        }
        total.exact += m;
        return total.exact.isValid();
    };
    if (!add(acc.last, sums.last) || !add(acc.curr, sums.curr) || !add(acc.next, sums.next))
        return SumOverflow(acc.group);
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
    Money totals[3];
    const CYearTotal* years[3] = {&acc.last, &acc.curr, &acc.next};
    for (int year = 0; year < 3; ++year) {
        const auto total = ToMoney(*years[year]);
        if (!total)
            return SumOverflow(acc.group);
        totals[year] = *total;
    }
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

CCalcStatus SumGroupMembers(IRecalcProgress* progress, const CProductRecord& group, CForecastDataRecord& row,
                            int receiverId, CUnitPairCache& koef)
{
    return SumFromDatabase(progress, group, row, CDataRows(group.prognoz, receiverId), koef);
}

CCalcStatus SumGroupMembers(IRecalcProgress* progress, const CProductRecord& group, CTotalForecastRecord& row,
                            CUnitPairCache& koef)
{
    return SumFromDatabase(progress, group, row, CTotalRows(group.prognoz), koef);
}
