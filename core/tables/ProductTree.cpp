#include "ProductTree.h"

#include "tables/TreeCollect.h"

namespace {

auto ProductChildren(int forecastId)
{
    return [forecastId](int parentId) { return LoadProductChildren(parentId, forecastId); };
}

bool ProductIsGroup(const CProductRecord& p)
{
    return p.IsGroup();
}

} // namespace

bool CollectProductTree(int forecastId, CProductDepthMap& depthMap, std::vector<int>* idList, CProductList* recordList)
{
    return CollectTree(GetRootProduct(forecastId), depthMap, idList, recordList, ProductChildren(forecastId),
                       ProductIsGroup);
}

bool CollectProductSubtree(int forecastId, int parentId, CProductDepthMap& depthMap, int depth,
                           std::vector<int>* idList, CProductList* recordList)
{
    return CollectTreeLevel(parentId, depthMap, depth, idList, recordList, ProductChildren(forecastId), ProductIsGroup);
}
