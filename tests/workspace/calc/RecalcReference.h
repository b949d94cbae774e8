// The recalculation as the rules state it, row by row through the table functions, without sets or
// caches: the reference the walks are compared with.
#pragma once

#include "tables/ForecastData.h"
#include "tables/Products.h"
#include "tables/Receivers.h"
#include "tables/TotalForecasts.h"

namespace Reference {

void WholeForecast(int forecast);
// The groups command for a receiver (0: the consolidated forecast).
void GroupRows(int forecast, int receiverId);
// The node command on a group, with its second save of the group's row.
void Node(int forecast, int receiverId, int groupId);
// After an edit of a member of the group, with the editor's second save of the group's row.
void AfterEdit(int forecast, int receiverId, int groupId);

} // namespace Reference
