// Old-to-new id pairs per kind of object (tFctOldImportMap): which id an object had in the data it
// came from and which it has here. They travel in the reference-data document ("old2NewIDMap"):
// the export writes the stored pairs with the forecasts they concern, the import replaces the
// stored pairs by the received ones.
#pragma once

#include "ExchangeDocuments.h"
#include "tables/OldImportMap.h"

#include <map>
#include <optional>

class CDBConnection;

enum OldIdEntity {
    OLDID_PRODUCTS = 1,
    OLDID_FORECASTS = 2,
    OLDID_RECEIVERS = 3,          // written by the import
    OLDID_EXPORTED_RECEIVERS = 4, // read by the export when the receivers flag is clear
};

struct COldIdMapSet {
    virtual ~COldIdMapSet() = default;
    CIdMap forecasts;
    CIdMap products;
    CIdMap receivers;
};

// What the export adds to a reference-data document: the forecasts of the stored pairs ("prognozs")
// and, when the current forecast is among them, the pairs themselves.
struct CExchangeMaps {
    CForecastList forecasts;
    std::optional<CIdMaps> idMaps;
};

class COldIdMap {
public:
    // `importedReceivers` selects entity 3 for the receivers of an export, else 4.
    explicit COldIdMap(bool importedReceivers = false);
    virtual ~COldIdMap() = default;

    void SetConnection(CDBConnection& connection) { m_connection = &connection; }

    // None after a (reported) database error.
    std::optional<CIdMap> LoadEntity(int entity);
    // Replaces the entity's pairs; all or nothing (a savepoint inside a caller's transaction).
    [[nodiscard]] bool SaveEntity(const CIdMap& map, int entity);
    // Products, forecasts and receivers, in one transaction.
    [[nodiscard]] bool Save(const COldIdMapSet& set);
    // The "old2NewIDMap" element: children named exactly "prognoses", "products" or "receivers",
    // each with "oldID" and "newID" (a later one overrides; text that is no number gives 0).
    static COldIdMapSet Load(const xmlNode* element);

    // The forecasts of the stored forecast pairs and, when the current forecast is one of their new
    // ids, the pairs (receivers only where the new id is among `receivers`); the prices of the other
    // forecasts are appended to `prices`. None after a database error.
    std::optional<CExchangeMaps> WriteExchangeMaps(const CReceiverList& receivers, CPriceList& prices, int forecastId);

private:
    CDBConnection& connection() const;

    bool m_importedReceivers;
    CDBConnection* m_connection = nullptr;
};
