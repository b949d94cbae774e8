#include "OldImportMap.h"

std::optional<CIdMap> LoadOldImportMap(int entity, CDBConnection& connection)
{
    CSqlQuery q(QStringLiteral("select oldID, newID from tFctOldImportMap where entity = ?"), connection);
    q.bind(entity);
    if (!q.execOrReport())
        return std::nullopt;
    CIdMap map;
    while (q.next())
        map[q.value(0).toInt()] = q.value(1).toInt();
    return map;
}

bool ReplaceOldImportMap(int entity, const CIdMap& map, CDBConnection& connection)
{
    CTransaction transaction(connection);
    if (!transaction.isActive())
        return false;
    CSqlQuery remove(QStringLiteral("delete from tFctOldImportMap where entity = ?"), connection);
    if (!remove.bind(entity).execOrReport())
        return false;
    CSqlQuery insert(QStringLiteral("insert into tFctOldImportMap(entity, oldID, newID) values(?, ?, ?)"), connection);
    for (const auto& [oldId, newId] : map) {
        if (!insert.bind(entity).bind(oldId).bind(newId).execOrReport())
            return false;
    }
    return transaction.commit();
}
