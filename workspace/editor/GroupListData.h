// What the editor's list shows for one product group, read with a fixed number of statements
// whatever the number of members: the group and its row, the members that have a price row, their
// rows and the prices of all of them. The rows are a receiver's (receiver >= 1) or the consolidated
// forecast's (receiver 0). No user interface.
#pragma once

#include "tables/ForecastRow.h"
#include "tables/Prices.h"
#include "tables/Products.h"

#include <optional>
#include <unordered_map>

struct CGroupListData {
    CProductRecord group;
    std::optional<CForecastRowFields> groupRow;
    CProductList members; // in position order
    std::unordered_map<int, CForecastRowFields> rows;
    std::unordered_map<int, CPriceRecord> prices; // the group's among them

    // The group or one of its members; none for another product.
    const CProductRecord* Find(int product) const;
    const CForecastRowFields* Row(int product) const;
    const CPriceRecord* Price(int product) const;
};

// None when the group cannot be read (a database error is shown); a group without members or rows
// gives empty lists.
std::optional<CGroupListData> LoadGroupListData(int forecast, int receiver, int groupId);

// The stored row of the receiver (0: the consolidated row) and product; none when there is none.
// failed tells a database error (shown) from a missing row.
std::optional<CForecastRowFields> ReadEditorRow(const CForecastKey& key, bool* failed = nullptr);
