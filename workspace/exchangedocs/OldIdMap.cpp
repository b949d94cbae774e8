#include "OldIdMap.h"

#include "db/DbConnection.h"

#include <algorithm>
#include <cstring>

namespace {

CIdPairList Pairs(const CIdMap& map)
{
    CIdPairList pairs;
    pairs.reserve(map.size());
    for (const auto& [oldId, newId] : map)
        pairs.push_back({oldId, newId});
    return pairs;
}

// Pair elements are named exactly, as the writer names them.
CIdMap* MapOfElement(COldIdMapSet& set, const xmlNode* node)
{
    const char* name = reinterpret_cast<const char*>(node->name);
    if (std::strcmp(name, XmlNames::kMapForecasts) == 0)
        return &set.forecasts;
    if (std::strcmp(name, XmlNames::kMapProducts) == 0)
        return &set.products;
    if (std::strcmp(name, XmlNames::kMapReceivers) == 0)
        return &set.receivers;
    return nullptr;
}

} // namespace

COldIdMap::COldIdMap(bool importedReceivers)
    : m_importedReceivers(importedReceivers)
{
}

CDBConnection& COldIdMap::connection() const
{
    return m_connection ? *m_connection : GetDBConnection();
}

std::optional<CIdMap> COldIdMap::LoadEntity(int entity)
{
    return LoadOldImportMap(entity, connection());
}

bool COldIdMap::SaveEntity(const CIdMap& map, int entity)
{
    return ReplaceOldImportMap(entity, map, connection());
}

bool COldIdMap::Save(const COldIdMapSet& set)
{
    CTransaction transaction(connection());
    return transaction.isActive() && SaveEntity(set.products, OLDID_PRODUCTS)
        && SaveEntity(set.forecasts, OLDID_FORECASTS) && SaveEntity(set.receivers, OLDID_RECEIVERS)
        && transaction.commit();
}

COldIdMapSet COldIdMap::Load(const xmlNode* element)
{
    COldIdMapSet set;
    for (const xmlNode* node = element ? element->children : nullptr; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        CIdMap* map = MapOfElement(set, node);
        if (!map)
            continue;
        int oldId = 0, newId = 0;
        for (const xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            if (std::strcmp(reinterpret_cast<const char*>(child->name), XmlNames::kOldId) == 0)
                oldId = XmlToInt(XmlContent(child));
            else if (std::strcmp(reinterpret_cast<const char*>(child->name), XmlNames::kNewId) == 0)
                newId = XmlToInt(XmlContent(child));
        }
        (*map)[oldId] = newId;
    }
    return set;
}

std::optional<CExchangeMaps> COldIdMap::WriteExchangeMaps(const CReceiverList& receivers, CPriceList& prices,
                                                          int forecastId)
{
    const auto forecasts = LoadEntity(OLDID_FORECASTS);
    if (!forecasts)
        return std::nullopt;
    CExchangeMaps out;
    const bool mapped = std::any_of(forecasts->begin(), forecasts->end(),
                                    [forecastId](const auto& pair) { return pair.second == forecastId; });
    if (forecastId != 0 && !mapped) {
        if (const auto forecast = GetForecast(forecastId))
            out.forecasts.push_back(*forecast);
        return out;
    }
    for (const auto& [oldId, newId] : *forecasts) {
        const auto forecast = GetForecast(newId);
        if (!forecast)
            continue;
        out.forecasts.push_back(*forecast);
        if (newId == forecastId)
            continue;
        const auto more = LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {newId}));
        if (!more)
            return std::nullopt;
        prices.insert(prices.end(), more->begin(), more->end());
    }
    const auto products = LoadEntity(OLDID_PRODUCTS);
    const auto stored = LoadEntity(m_importedReceivers ? OLDID_RECEIVERS : OLDID_EXPORTED_RECEIVERS);
    if (!products || !stored)
        return std::nullopt;
    CIdMaps maps;
    maps.forecasts = Pairs(*forecasts);
    maps.products = Pairs(*products);
    for (const auto& [oldId, newId] : *stored) {
        const bool exported = std::any_of(receivers.begin(), receivers.end(),
                                          [id = newId](const CReceiverRecord& r) { return r.id == id; });
        if (exported)
            maps.receivers.push_back({oldId, newId});
    }
    out.idMaps = std::move(maps);
    return out;
}
