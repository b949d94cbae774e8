#include "GroupSums.h"

#include "CalcTexts.h"
#include "RecalcRun.h"

namespace {

using F = CForecastRowFields;
constexpr Money F::*kSums[3] = {&F::sumLast, &F::sumCurr, &F::sumNext};
constexpr Money F::*kValues[3] = {&F::valueLast, &F::valueCurr, &F::valueNext};

// The total of a year as money: the converted part rounded once, half to even.
Money ToMoney(const CYearTotal& total, const CProductRecord& group)
{
    const auto converted = Money::fromDouble(total.converted);
    const Money sum = converted ? total.exact + *converted : Money::invalid();
    if (!sum.isValid())
        throw std::range_error((CalcTexts::kSumOverflow + group.name).toStdString());
    return sum;
}

template <class Row, class Rows>
void SumFromDatabase(IRecalcProgress* progress, const CProductRecord& group, Row& row, const Rows& rows,
                     CUnitPairCache& koef)
{
    auto children = LoadProductChildren(group.id, group.prognoz);
    if (!children)
        throw std::logic_error(CalcTexts::kProductsBroken.toStdString());
    std::vector<int> ids;
    for (const CProductRecord& child : *children)
        ids.push_back(child.id);
    const auto sums = rows.ReadSums(ids);
    std::vector<CGroupMember> members;
    for (const CProductRecord& child : *children) {
        const auto it = sums.find(child.id);
        members.push_back({&child, it == sums.end() ? CMemberSums{} : it->second});
    }
    SumGroupRows(group, members, koef, row, progress);
}

} // namespace

void AddMemberSums(CGroupAccumulator& acc, const CProductRecord& member, const CMemberSums& sums,
                   CUnitPairCache& koef)
{
    if (member.measurementPrice == 0)
        throw std::logic_error((CalcTexts::kNoPriceUnit + member.name).toStdString());
    const bool convert = member.measurementPrice != acc.group.measurementPrice;
    const double k = convert ? ConversionKoef(koef, member.measurementPrice, acc.group.measurementPrice) : 1.0;
    auto add = [&](CYearTotal& total, Money sum) {
        // A sum read from NULL counts as 0.
        const Money m = Money::fromRaw(sum.raw());
        if (convert) {
            total.converted += m.toDouble() * k;
        } else {
            total.exact += m;
            if (!total.exact.isValid())
                throw std::range_error((CalcTexts::kSumOverflow + acc.group.name).toStdString());
        }
    };
    add(acc.last, sums.last);
    add(acc.curr, sums.curr);
    add(acc.next, sums.next);
}

void WriteGroupSums(const CGroupAccumulator& acc, CForecastRowFields& row)
{
    if (!acc.group.IsGroup())
        return;
    const int kind = acc.group.type;
    if (kind != GROUP_SUM_OF_MEMBERS && kind != GROUP_TOTAL_ROW && kind != GROUP_BALANCE_ROW
        && kind != GROUP_BALANCE_LEGACY)
        return;
    const Money totals[3] = {ToMoney(acc.last, acc.group), ToMoney(acc.curr, acc.group), ToMoney(acc.next, acc.group)};
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
}

void SumGroupRows(const CProductRecord& group, const std::vector<CGroupMember>& members, CUnitPairCache& koef,
                  CForecastRowFields& row, IRecalcProgress* progress)
{
    CGroupAccumulator acc(group);
    if (progress)
        progress->NoteChildCount(int(members.size()));
    for (const CGroupMember& member : members) {
        if (progress)
            progress->ShowInner(member.product);
        AddMemberSums(acc, *member.product, member.sums, koef);
    }
    WriteGroupSums(acc, row);
}

void SumGroupMembers(IRecalcProgress* progress, const CProductRecord& group, CForecastDataRecord& row, int receiverId,
                     CUnitPairCache& koef)
{
    SumFromDatabase(progress, group, row, CDataRows(group.prognoz, receiverId), koef);
}

void SumGroupMembers(IRecalcProgress* progress, const CProductRecord& group, CTotalForecastRecord& row,
                     CUnitPairCache& koef)
{
    SumFromDatabase(progress, group, row, CTotalRows(group.prognoz), koef);
}
