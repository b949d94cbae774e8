// The product classifier of a forecast flattened in tree order, with the depth of every product: the
// top product (depth 0) and, below every group, its members, each group followed by its own. Only
// products with a price row in the forecast are reached, so one without drops out with its subtree.
#pragma once

#include "tables/Products.h"

#include <map>
#include <vector>

using CProductDepthMap = std::map<int, int>; // product id -> depth

// Empties the outputs, then fills them from the forecast's top product down; a forecast without a top
// product (or whose top cannot be read: that error is reported) leaves them empty. The id and record
// lists are optional. False when a level could not be read (reported); what came before it stays.
[[nodiscard]] bool CollectProductTree(int forecastId, CProductDepthMap& depthMap, std::vector<int>* idList,
                                      CProductList* recordList);
// Appends the members of the group parentId (at depth + 1) and, below each member group, its own.
// A product that is in the depth map already is left out.
[[nodiscard]] bool CollectProductSubtree(int forecastId, int parentId, CProductDepthMap& depthMap, int depth,
                                         std::vector<int>* idList, CProductList* recordList);
