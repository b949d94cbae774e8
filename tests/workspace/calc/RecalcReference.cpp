#include "RecalcReference.h"

#include "tables/MConverts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <stdexcept>

namespace Reference {
namespace {

// Whose rows: a receiver's, or the consolidated forecast's (no receiver).
struct Target {
    int forecast;
    const CReceiverRecord* receiver;
};

bool Subordinate(const CReceiverRecord& r)
{
    return r.isgroup != 0 && r.category != 0 && r.category != -1;
}

double Koef(int base, int produce)
{
    for (const auto& [b, p, inverse] : {std::tuple(base, produce, false), std::tuple(produce, base, true)}) {
        const auto rows = LoadMConverts(SqlFilter(QStringLiteral("base = ? and produce = ?"), {b, p}, "id"));
        if (rows && !rows->empty() && !(inverse && rows->front().koef == 0.0))
            return inverse ? 1.0 / rows->front().koef : rows->front().koef;
    }
    throw std::logic_error("no conversion");
}

CForecastRowFields RowOf(const Target& t, int product)
{
    if (t.receiver)
        return GetOrNewForecastData({t.forecast, t.receiver->id, product});
    return GetOrCreateTotalForecast(t.forecast, product);
}

// Members in the group's unit add exactly; a converted member's sum is rounded on its own, half to
// even, then added.
void SumMembers(const Target& t, const CProductRecord& group, CForecastRowFields& row)
{
    std::int64_t total[3] = {0, 0, 0};
    const auto members = LoadProductChildren(group.id, t.forecast);
    for (const CProductRecord& m : *members) {
        const CForecastRowFields r = RowOf(t, m.id);
        const Money sums[3] = {r.sumLast, r.sumCurr, r.sumNext};
        for (int y = 0; y < 3; ++y) {
            if (m.measurementPrice == group.measurementPrice)
                total[y] += sums[y].raw();
            else
                total[y] += std::int64_t(
                    std::nearbyint(double(sums[y].raw()) * Koef(m.measurementPrice, group.measurementPrice)));
        }
    }
    Money* s[3] = {&row.sumLast, &row.sumCurr, &row.sumNext};
    Money* v[3] = {&row.valueLast, &row.valueCurr, &row.valueNext};
    for (int y = 0; y < 3 && group.IsGroup(); ++y) {
        const Money sum = Money::fromRaw(total[y]);
        if (group.type == 64)
            *s[y] = sum;
        else if (group.type == 96)
            *s[y] = Money::fromRaw(sum.raw() + v[y]->raw());
        else if (group.type == 112 || group.type == 1)
            *v[y] = s[y]->isValid() ? Money::fromRaw(s[y]->raw() - sum.raw()) : Money::invalid();
    }
}

void CategorySums(const Target& t, int product, CForecastRowFields& row)
{
    CSqlQuery q(QStringLiteral("select SUM(pd.SumLast) AS SumLast, SUM(pd.SumCurr) AS SumCurr, SUM(pd.SumNext) AS "
                               "SumNext, SUM(pd.ValueLast) AS ValueLast, SUM(pd.ValueCurr) AS ValueCurr, "
                               "SUM(pd.ValueNext) AS ValueNext from tFctPrognozData pd inner join tClsReceiver r on "
                               "pd.receiver = r.id where r.category = ? AND pd.prognoz = ? AND pd.product = ?"));
    q.bind(t.receiver->id).bind(t.forecast).bind(product);
    ASSERT_TRUE(q.exec() && q.next());
    Money* fields[6] = {&row.sumLast, &row.sumCurr, &row.sumNext, &row.valueLast, &row.valueCurr, &row.valueNext};
    int i = 0;
    for (const char* column : {"SumLast", "SumCurr", "SumNext", "ValueLast", "ValueCurr", "ValueNext"}) {
        const Money m = q.money(column);
        *fields[i++] = m.isValid() ? m : Money();
    }
}

// The row of the product by its rule, saved; without a rule only saved again.
void Recompute(const Target& t, const CProductRecord& p, bool rule = true, bool takeNewId = true)
{
    CForecastRowFields fields = RowOf(t, p.id);
    if (rule && t.receiver && Subordinate(*t.receiver))
        CategorySums(t, p.id, fields);
    else if (rule)
        SumMembers(t, p, fields);
    if (t.receiver) {
        CForecastDataRecord row = GetOrNewForecastData({t.forecast, t.receiver->id, p.id});
        static_cast<CForecastRowFields&>(row) = fields;
        EXPECT_TRUE(SaveForecastData(row, takeNewId));
    } else {
        CTotalForecastRecord row;
        static_cast<CForecastRowFields&>(row) = fields;
        EXPECT_TRUE(SaveTotalForecast(row));
    }
}

template <class R, class Children>
std::vector<R> BreadthFirst(const R& root, Children children)
{
    std::vector<R> out;
    std::deque<R> queue{root};
    while (!queue.empty()) {
        R front = queue.front();
        queue.pop_front();
        if (front.IsGroup())
            for (const R& c : children(front.id))
                queue.push_back(c);
        out.push_back(front);
    }
    return out;
}

void ProductSubtree(const Target& t, const CProductRecord& product)
{
    const bool all = t.receiver && Subordinate(*t.receiver);
    const auto list = BreadthFirst(product, [&](int id) {
        return *LoadProductChildren(id, t.forecast, all ? SqlFilter() : SqlFilter(QStringLiteral("p1.isgroup <> 0")));
    });
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        Recompute(t, *it);
}

void ReceiverRows(int forecast, const CProductRecord& product, const CReceiverRecord& receiver)
{
    if (!Subordinate(receiver))
        return ProductSubtree({forecast, &receiver}, product);
    const auto list = BreadthFirst(receiver, [&](int id) { return *LoadReceiverChildren(id, forecast); });
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        ProductSubtree({forecast, &*it}, product);
}

void FromProduct(int forecast, int receiverId, const CProductRecord& product, bool saveAgain)
{
    const auto receiver = GetForecastReceiver(receiverId, forecast);
    const Target t{forecast, receiverId >= 1 ? &*receiver : nullptr};
    if (t.receiver)
        ReceiverRows(forecast, product, *t.receiver);
    else
        ProductSubtree(t, product);
    if (saveAgain)
        Recompute(t, product, false, false);
}

} // namespace

void WholeForecast(int forecast)
{
    const auto product = GetRootProduct(forecast);
    const auto root = GetForecastRootReceiver(forecast);
    ASSERT_TRUE(product && root);
    const auto children = LoadReceiverChildren(root->id, forecast);
    for (const CReceiverRecord& child : *children)
        ReceiverRows(forecast, *product, child);
    ProductSubtree({forecast, &*root}, *product);
}

void GroupRows(int forecast, int receiverId)
{
    FromProduct(forecast, receiverId, *GetRootProduct(forecast), false);
}

void Node(int forecast, int receiverId, int groupId)
{
    FromProduct(forecast, receiverId, *GetProduct(groupId, forecast), true);
}

void AfterEdit(int forecast, int receiverId, int groupId)
{
    const auto group = GetProduct(groupId, forecast);
    const auto receiver = GetForecastReceiver(receiverId, forecast);
    const Target t{forecast, receiverId >= 1 ? &*receiver : nullptr};
    Recompute(t, *group);
    std::vector<CReceiverRecord> above;
    for (auto a = t.receiver ? GetForecastReceiver(t.receiver->category, forecast) : std::nullopt; a && Subordinate(*a);
         a = GetForecastReceiver(a->category, forecast))
        above.push_back(*a);
    const auto members = group->LoadChildren(forecast);
    for (const CReceiverRecord& a : above) {
        for (const CProductRecord& c : *members)
            Recompute({forecast, &a}, c, true, false);
        Recompute({forecast, &a}, *group, true, false);
    }
    for (auto p = group->GetParent(); p; p = p->GetParent()) {
        Recompute(t, *p);
        for (const CReceiverRecord& a : above)
            Recompute({forecast, &a}, *p, true, false);
    }
    Recompute(t, *group, false, false);
}

} // namespace Reference
