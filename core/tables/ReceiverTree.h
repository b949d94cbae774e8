// Operations on a forecast's receiver tree as a whole.
#pragma once

#include "tables/Receivers.h"
#include "tables/TreeCollect.h"

// The forecast's top group, named after the forecast's owner ("ГРБС" without one); created and
// mapped when missing. None when it cannot be read, saved or mapped.
std::optional<CReceiverRecord> GetOrCreateRootReceiver(int forecast);
// Copies the tree below the source forecast's top group under the target's top group (made when
// missing). Receivers are matched by name and parent, so a second copy creates nothing new. False when
// any step failed; what could be copied stays.
[[nodiscard]] bool CopyReceiverTree(int source, int target);
// Copies the children of sourceParent (and below) under the target row targetParentId. A child that
// cannot be saved or mapped is left out with everything below it, and the answer is false.
[[nodiscard]] bool CopyReceiverChildren(int source, int target, const CReceiverRecord& sourceParent,
                                        int targetParentId);
// Saves the record over the receiver of the same name (letter case aside) under the same parent, or
// as a new one. No message of its own; false when the lookup or the save failed.
[[nodiscard]] bool SaveReceiverByName(CReceiverRecord& rec);
// Saves the receiver and maps it into the forecast; a parent (parentId other than 0) that the forecast
// holds as an element becomes a group. One transaction: all of it or nothing.
[[nodiscard]] bool SaveForecastReceiver(CReceiverRecord& rec, int forecast, int parentId);
// Takes the group and everything below it out of the forecast, each receiver as
// RemoveReceiverFromForecast does. One transaction: a failure midway leaves the forecast as it was.
[[nodiscard]] bool RemoveReceiverGroup(int groupId, int forecast);
// The children of the group that have child groups of their own in the forecast, in one statement.
// None after a reported error.
std::optional<std::set<int>> LoadReceiverGroupsWithSubgroups(int forecast, int group);
// Moves the receiver one place up or down among its siblings; all positions are rewritten.
void MoveReceiverPosition(int receiverId, int parentId, int forecast, bool up);
// Whether the receiver, or any receiver below it in the forecast, has forecast data or exchange
// journal rows in the forecast. True also when that cannot be read.
bool ReceiverTreeHasData(int receiver, int forecast);

// The receivers mapped into the forecast flattened in tree order from its top receiver (depth 0), each
// group followed by its members, with the depth of each. Empties the outputs first; a forecast without
// a top receiver leaves them empty. The id and record lists are optional. False when a level could not
// be read (reported); what came before it stays.
[[nodiscard]] bool CollectReceiverTree(int forecastId, CDepthMap& depthMap, std::vector<int>* idList,
                                       CReceiverList* recordList);
// Appends the receivers below parentId (at depth + 1) and, below each group among them, its own.
[[nodiscard]] bool CollectReceiverSubtree(int forecastId, int parentId, CDepthMap& depthMap, int depth,
                                          std::vector<int>* idList, CReceiverList* recordList);
