// The recalculation of derived rows. A product group's row follows from its members (GroupSums.h);
// the rows of a subordinate receiver group are the sums of its member receivers' rows. Each walk
// saves every row it computes through the table module's save; a consolidated twin works the same
// over the consolidated rows, where no receiver groups exist. The walks answer how they ended: done,
// a database failure (reported on the way) or a failure with its message; only a cancel is thrown
// (CRecalcCancelled). Rows saved before a failure stay.
#pragma once

#include "RecalcRun.h"

// A group receiver below the top of its forecast: its rows are sums over its members.
bool IsSubordinateGroup(const CReceiverRecord& receiver);

// The subtree of `root`, breadth-first, root first: every product, or only the groups (the root
// always). A product met twice is listed once.
std::vector<const CProductRecord*> CollectGroupProducts(const CProductTree& tree, const CProductRecord& root,
                                                        bool groupsOnly);
// The receivers of the forecast's tree below `root`, breadth-first, root first, children in position
// order; one met twice is listed once. Fails when children cannot be read.
CCalcResult<CReceiverList> CollectCategoryReceivers(const CReceiverRecord& root, int forecast);

// The six year fields of the row := the sums over the receivers whose category is the group receiver.
CCalcStatus GetCategoryForecastSums(const CProductRecord& product, CForecastDataRecord& row,
                                    const CReceiverRecord& groupReceiver);

// The derived rows of `product` and the groups below it for one receiver, deepest first: of every
// product by category sums for a subordinate group, else of the groups by their members. `row` is
// the receiver's row of `product`, filled and saved.
CCalcStatus RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                                 const CReceiverRecord& receiver);
CCalcStatus RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CTotalForecastRecord& row);
// The same for the receiver and every receiver below it, deepest receivers first.
CCalcStatus RecalcReceiverSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                                  const CReceiverRecord& receiver);

// After an edit of a member of the group for the receiver, in one transaction: the group's row, then
// the rows that depend on it: the receiver's rows of the group's ancestor products, and for each
// subordinate group above the receiver (nearest first) its rows of the group's members, the group and
// the ancestor products. `row` is the group's row as saved; it stays empty when the group or the
// receiver does not exist. The group's and its ancestors' rows and their members' sums are read
// together.
CCalcStatus RecalcAfterEdit(CRecalcRun& run, int groupId, int receiverId, std::optional<CForecastDataRecord>& row);
// The same in the consolidated forecast.
CCalcStatus RecalcAfterEdit(CRecalcRun& run, int groupId, std::optional<CTotalForecastRecord>& row);
