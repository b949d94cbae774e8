#include "GroupListData.h"

#include "ErrorSink.h"
#include "tables/ForecastData.h"
#include "tables/TotalForecasts.h"

namespace {

// "<keys> and product is one of the products", with the set bound as one argument.
SqlFilter ProductSetFilter(const QString& keys, QVariantList args, const std::vector<int>& products)
{
    args << IdSetArgument(products);
    return SqlFilter(keys + QStringLiteral(" and ") + Dialect().IdSetCondition(QStringLiteral("product")), args);
}

template <class Row>
void KeepRows(std::vector<Row>& list, std::unordered_map<int, CForecastRowFields>& rows)
{
    for (Row& row : list)
        rows.emplace(row.product, std::move(row));
}

} // namespace

const CProductRecord* CGroupListData::Find(int product) const
{
    if (group.id == product)
        return &group;
    for (const CProductRecord& member : members)
        if (member.id == product)
            return &member;
    return nullptr;
}

const CForecastRowFields* CGroupListData::Row(int product) const
{
    const auto it = rows.find(product);
    return it == rows.end() ? nullptr : &it->second;
}

const CPriceRecord* CGroupListData::Price(int product) const
{
    const auto it = prices.find(product);
    return it == prices.end() ? nullptr : &it->second;
}

std::optional<CForecastRowFields> ReadEditorRow(const CForecastKey& key, bool* failed)
{
    CErrorCollector errors;
    std::optional<CForecastRowFields> row;
    if (key.receiver > 0) {
        if (auto rec = GetForecastData(key))
            row = std::move(*rec);
    } else if (auto rec = GetTotalForecast(key.forecast, key.product)) {
        row = std::move(*rec);
    }
    if (failed)
        *failed = !errors.empty();
    // The caller decides what to do; the errors are shown as they would have been.
    for (const DbError& e : errors.take())
        ReportComError(e);
    return row;
}

std::optional<CGroupListData> LoadGroupListData(int forecast, int receiver, int groupId)
{
    const auto group = GetProduct(groupId, forecast);
    if (!group)
        return std::nullopt;
    CGroupListData data;
    data.group = *group;
    auto members = LoadProductChildren(groupId, forecast);
    if (members)
        data.members = std::move(*members);

    std::vector<int> ids{groupId};
    for (const CProductRecord& member : data.members)
        ids.push_back(member.id);
    if (receiver > 0) {
        if (auto rows = LoadForecastData(
                ProductSetFilter(QStringLiteral("prognoz = ? and receiver = ?"), {forecast, receiver}, ids)))
            KeepRows(*rows, data.rows);
    } else if (auto rows = LoadTotalForecasts(ProductSetFilter(QStringLiteral("prognoz = ?"), {forecast}, ids))) {
        KeepRows(*rows, data.rows);
    }
    if (const auto it = data.rows.find(groupId); it != data.rows.end()) {
        data.groupRow = it->second;
        data.rows.erase(it);
    }
    if (auto prices = LoadPrices(ProductSetFilter(QStringLiteral("prognoz = ?"), {forecast}, ids)))
        for (CPriceRecord& price : *prices)
            data.prices.emplace(price.product, std::move(price));
    return data;
}
