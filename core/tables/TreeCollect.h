// The depth-first walk shared by the tree collectors of products and receivers: each level's children
// in their loader's order, a group followed at once by its own members.
#pragma once

#include <map>
#include <optional>
#include <vector>

using CDepthMap = std::map<int, int>; // id -> depth

// Appends the children of parentId (at depth + 1) and, below each child group, its own. A node that is
// in the depth map already is left out, so that a tree whose links run in a circle ends. False when a
// level could not be read; what came before it stays.
template <class R, class LoadChildren, class IsGroup>
bool CollectTreeLevel(int parentId, CDepthMap& depthMap, int depth, std::vector<int>* idList,
                      std::vector<R>* recordList, const LoadChildren& loadChildren, const IsGroup& isGroup)
{
    std::optional<std::vector<R>> children = loadChildren(parentId);
    if (!children)
        return false;
    for (R& child : *children) {
        if (!depthMap.emplace(child.id, depth + 1).second)
            continue;
        if (idList)
            idList->push_back(child.id);
        const bool group = isGroup(child);
        const int id = child.id;
        if (recordList)
            recordList->push_back(std::move(child));
        if (group && !CollectTreeLevel(id, depthMap, depth + 1, idList, recordList, loadChildren, isGroup))
            return false;
    }
    return true;
}

// Empties the outputs, then fills them from the top node down (none: they stay empty).
template <class R, class LoadChildren, class IsGroup>
bool CollectTree(const std::optional<R>& top, CDepthMap& depthMap, std::vector<int>* idList, std::vector<R>* recordList,
                 const LoadChildren& loadChildren, const IsGroup& isGroup)
{
    depthMap.clear();
    if (idList)
        idList->clear();
    if (recordList)
        recordList->clear();
    if (!top)
        return true;
    depthMap[top->id] = 0;
    if (idList)
        idList->push_back(top->id);
    if (recordList)
        recordList->push_back(*top);
    return CollectTreeLevel(top->id, depthMap, 0, idList, recordList, loadChildren, isGroup);
}
