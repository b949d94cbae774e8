// Old-to-new id pairs per kind of object (tFctOldImportMap): which id an object had in the data it
// came from and which it has here.
#pragma once

#include "tables/TableCommon.h"

#include <map>
#include <optional>

// Old id to new id, by ascending old id.
using CIdMap = std::map<int, int>;

// The pairs of one kind; none after a reported database error.
std::optional<CIdMap> LoadOldImportMap(int entity, CDBConnection& connection = GetDBConnection());
// Replaces the pairs of one kind, all or nothing (a savepoint inside a caller's transaction).
[[nodiscard]] bool ReplaceOldImportMap(int entity, const CIdMap& map, CDBConnection& connection = GetDBConnection());
