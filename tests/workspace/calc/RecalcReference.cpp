#include "RecalcReference.h"

#include "tables/MConverts.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

namespace Reference {
namespace {

bool Subordinate(const CReceiverRecord& r)
{
    return r.isgroup != 0 && r.category != 0 && r.category != -1;
}

double Koef(int base, int produce)
{
    auto direct = LoadMConverts(SqlFilter(QStringLiteral("base = ? and produce = ?"), {base, produce},
                                          QStringLiteral("id")));
    if (direct && !direct->empty())
        return direct->front().koef;
    auto reverse = LoadMConverts(SqlFilter(QStringLiteral("base = ? and produce = ?"), {produce, base},
                                           QStringLiteral("id")));
    if (reverse && !reverse->empty() && reverse->front().koef != 0.0)
        return 1.0 / reverse->front().koef;
    throw std::logic_error("no conversion");
}

// Members in the group's unit add exactly; converted ones in double, rounded once.
template <class MemberRow>
void SumMembers(const CProductRecord& group, CForecastRowFields& row, MemberRow memberRow)
{
    const auto members = LoadProductChildren(group.id, group.prognoz);
    if (!members)
        throw std::logic_error("members");
    std::int64_t exact[3] = {0, 0, 0};
    double converted[3] = {0, 0, 0};
    for (const CProductRecord& m : *members) {
        const CForecastRowFields r = memberRow(m.id);
        const Money sums[3] = {r.sumLast, r.sumCurr, r.sumNext};
        for (int y = 0; y < 3; ++y) {
            if (m.measurementPrice == group.measurementPrice)
                exact[y] += sums[y].raw();
            else
                converted[y] += double(sums[y].raw()) / 10000.0 * Koef(m.measurementPrice, group.measurementPrice);
        }
    }
    Money* s[3] = {&row.sumLast, &row.sumCurr, &row.sumNext};
    Money* v[3] = {&row.valueLast, &row.valueCurr, &row.valueNext};
    for (int y = 0; y < 3; ++y) {
        const Money total = Money::fromRaw(exact[y] + Money::fromDouble(converted[y])->raw());
        if (!group.IsGroup())
            continue;
        if (group.type == 64)
            *s[y] = total;
        else if (group.type == 96)
            *s[y] = Money::fromRaw(total.raw() + v[y]->raw());
        else if (group.type == 112 || group.type == 1)
            *v[y] = s[y]->isValid() ? Money::fromRaw(s[y]->raw() - total.raw()) : Money::invalid();
    }
}

void CategorySums(int forecast, int product, CForecastDataRecord& row, int groupReceiver)
{
    CSqlQuery q(QStringLiteral("select SUM(pd.SumLast) AS SumLast, SUM(pd.SumCurr) AS SumCurr, SUM(pd.SumNext) AS "
                               "SumNext, SUM(pd.ValueLast) AS ValueLast, SUM(pd.ValueCurr) AS ValueCurr, "
                               "SUM(pd.ValueNext) AS ValueNext from tFctPrognozData pd inner join tClsReceiver r on "
                               "pd.receiver = r.id where r.category = ? AND pd.prognoz = ? AND pd.product = ?"));
    q.bind(groupReceiver).bind(forecast).bind(product);
    if (!q.exec())
        throw std::logic_error("category sums");
    q.next();
    auto read = [&](const char* column) {
        const Money m = q.money(column);
        return m.isValid() ? m : Money();
    };
    row.sumLast = read("SumLast");
    row.sumCurr = read("SumCurr");
    row.sumNext = read("SumNext");
    row.valueLast = read("ValueLast");
    row.valueCurr = read("ValueCurr");
    row.valueNext = read("ValueNext");
}

void FillData(int forecast, const CProductRecord& p, CForecastDataRecord& row, const CReceiverRecord& receiver)
{
    if (Subordinate(receiver))
        CategorySums(forecast, p.id, row, receiver.id);
    else
        SumMembers(p, row, [&](int member) { return GetOrNewForecastData(forecast, receiver.id, member); });
}

void FillTotal(int forecast, const CProductRecord& p, CTotalForecastRecord& row)
{
    SumMembers(p, row, [&](int member) { return GetOrCreateTotalForecast(forecast, member); });
}

std::vector<CProductRecord> Subtree(int forecast, const CProductRecord& root, bool groupsOnly)
{
    std::vector<CProductRecord> out;
    std::deque<CProductRecord> queue{root};
    while (!queue.empty()) {
        CProductRecord front = queue.front();
        queue.pop_front();
        if (front.IsGroup()) {
            const auto children = LoadProductChildren(
                front.id, forecast, groupsOnly ? SqlFilter(QStringLiteral("p1.isgroup <> 0")) : SqlFilter());
            for (const CProductRecord& c : *children)
                queue.push_back(c);
        }
        out.push_back(front);
    }
    return out;
}

void ProductSubtree(int forecast, const CProductRecord& product, CForecastDataRecord& row,
                    const CReceiverRecord& receiver)
{
    const auto list = Subtree(forecast, product, !Subordinate(receiver));
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        CForecastDataRecord own =
            it->id == product.id ? row : GetOrNewForecastData(forecast, receiver.id, it->id);
        FillData(forecast, *it, own, receiver);
        EXPECT_TRUE(SaveForecastData(own, true));
        if (it->id == product.id)
            row = own;
    }
}

void TotalSubtree(int forecast, const CProductRecord& product, CTotalForecastRecord& row)
{
    const auto list = Subtree(forecast, product, true);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        CTotalForecastRecord own = it->id == product.id ? row : GetOrCreateTotalForecast(forecast, it->id);
        FillTotal(forecast, *it, own);
        EXPECT_TRUE(SaveTotalForecast(own));
        if (it->id == product.id)
            row = own;
    }
}

void ReceiverSubtree(int forecast, const CProductRecord& product, CForecastDataRecord& row,
                     const CReceiverRecord& receiver)
{
    std::vector<CReceiverRecord> list;
    std::deque<CReceiverRecord> queue{receiver};
    while (!queue.empty()) {
        CReceiverRecord front = queue.front();
        queue.pop_front();
        if (front.IsGroup()) {
            const auto children = LoadReceiverChildren(front.id, forecast);
            for (const CReceiverRecord& c : *children)
                queue.push_back(c);
        }
        list.push_back(front);
    }
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (it->id == receiver.id) {
            ProductSubtree(forecast, product, row, receiver);
        } else {
            CForecastDataRecord own = GetOrNewForecastData(forecast, it->id, product.id);
            ProductSubtree(forecast, product, own, *it);
        }
    }
}

} // namespace

void WholeForecast(int forecast)
{
    const auto product = GetRootProduct(forecast);
    const auto root = GetForecastRootReceiver(forecast);
    ASSERT_TRUE(product && root);
    const auto children = LoadReceiverChildren(root->id, forecast);
    for (const CReceiverRecord& child : *children) {
        CForecastDataRecord row = GetOrNewForecastData(forecast, child.id, product->id);
        if (Subordinate(child))
            ReceiverSubtree(forecast, *product, row, child);
        else
            ProductSubtree(forecast, *product, row, child);
    }
    CForecastDataRecord row = GetOrNewForecastData(forecast, root->id, product->id);
    ProductSubtree(forecast, *product, row, *root);
}

namespace {

void FromProduct(int forecast, int receiverId, const CProductRecord& product, bool saveAgain)
{
    if (receiverId >= 1) {
        const auto receiver = GetForecastReceiver(receiverId, forecast);
        ASSERT_TRUE(receiver);
        CForecastDataRecord row = GetOrNewForecastData(forecast, receiverId, product.id);
        if (Subordinate(*receiver))
            ReceiverSubtree(forecast, product, row, *receiver);
        else
            ProductSubtree(forecast, product, row, *receiver);
        if (saveAgain) {
            EXPECT_TRUE(SaveForecastData(row, false));
        }
    } else {
        CTotalForecastRecord row = GetOrCreateTotalForecast(forecast, product.id);
        TotalSubtree(forecast, product, row);
        if (saveAgain) {
            EXPECT_TRUE(SaveTotalForecast(row));
        }
    }
}

} // namespace

void GroupRows(int forecast, int receiverId)
{
    const auto product = GetRootProduct(forecast);
    ASSERT_TRUE(product);
    FromProduct(forecast, receiverId, *product, false);
}

void Node(int forecast, int receiverId, int groupId)
{
    const auto group = GetProduct(groupId, forecast);
    ASSERT_TRUE(group);
    FromProduct(forecast, receiverId, *group, true);
}

void AfterEdit(int forecast, int receiverId, int groupId)
{
    const auto group = GetProduct(groupId, forecast);
    ASSERT_TRUE(group);
    if (receiverId < 1) {
        CTotalForecastRecord row = GetOrCreateTotalForecast(forecast, groupId);
        FillTotal(forecast, *group, row);
        EXPECT_TRUE(SaveTotalForecast(row));
        for (auto p = group->GetParent(); p; p = p->GetParent()) {
            CTotalForecastRecord own = GetOrCreateTotalForecast(forecast, p->id);
            FillTotal(forecast, *p, own);
            EXPECT_TRUE(SaveTotalForecast(own));
        }
        EXPECT_TRUE(SaveTotalForecast(row));
        return;
    }
    const auto receiver = GetForecastReceiver(receiverId, forecast);
    ASSERT_TRUE(receiver);
    CForecastDataRecord row = GetOrNewForecastData(forecast, receiverId, groupId);
    FillData(forecast, *group, row, *receiver);
    EXPECT_TRUE(SaveForecastData(row, true));
    std::vector<CReceiverRecord> above;
    for (auto a = GetForecastReceiver(receiver->category, forecast); a && Subordinate(*a);
         a = GetForecastReceiver(a->category, forecast))
        above.push_back(*a);
    auto categoryRow = [&](const CReceiverRecord& a, int product) {
        CForecastDataRecord own = GetOrNewForecastData(forecast, a.id, product);
        CategorySums(forecast, product, own, a.id);
        EXPECT_TRUE(SaveForecastData(own, false));
    };
    const auto members = group->LoadChildren(forecast);
    for (const CReceiverRecord& a : above) {
        for (const CProductRecord& c : *members)
            categoryRow(a, c.id);
        categoryRow(a, groupId);
    }
    for (auto p = group->GetParent(); p; p = p->GetParent()) {
        CForecastDataRecord own = GetOrNewForecastData(forecast, receiverId, p->id);
        FillData(forecast, *p, own, *receiver);
        EXPECT_TRUE(SaveForecastData(own, true));
        for (const CReceiverRecord& a : above)
            categoryRow(a, p->id);
    }
    EXPECT_TRUE(SaveForecastData(row, false));
}

} // namespace Reference
