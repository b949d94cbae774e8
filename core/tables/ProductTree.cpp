#include "ProductTree.h"

bool CollectProductTree(int forecastId, CProductDepthMap& depthMap, std::vector<int>* idList, CProductList* recordList)
{
    depthMap.clear();
    if (idList)
        idList->clear();
    if (recordList)
        recordList->clear();
    const auto top = GetRootProduct(forecastId);
    if (!top)
        return true;
    depthMap[top->id] = 0;
    if (idList)
        idList->push_back(top->id);
    if (recordList)
        recordList->push_back(*top);
    return CollectProductSubtree(forecastId, top->id, depthMap, 0, idList, recordList);
}

bool CollectProductSubtree(int forecastId, int parentId, CProductDepthMap& depthMap, int depth,
                           std::vector<int>* idList, CProductList* recordList)
{
    auto children = LoadProductChildren(parentId, forecastId);
    if (!children)
        return false;
    for (CProductRecord& child : *children) {
        // Only a product numbered 0 can lead back up the tree; it must not loop.
        if (!depthMap.emplace(child.id, depth + 1).second)
            continue;
        if (idList)
            idList->push_back(child.id);
        const bool group = child.IsGroup();
        const int id = child.id;
        if (recordList)
            recordList->push_back(std::move(child));
        if (group && !CollectProductSubtree(forecastId, id, depthMap, depth + 1, idList, recordList))
            return false;
    }
    return true;
}
