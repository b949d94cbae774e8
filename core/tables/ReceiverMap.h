// Which receivers take part in which forecast (tClsReceiverMap), with the number of further final
// receivers that a mapped receiver stands for.
#pragma once

#include "tables/Receivers.h"

// Adds the map row when missing; a count of 0 or more is stored, a negative one leaves it as it is.
[[nodiscard]] bool MapReceiverToForecast(int receiver, int forecast, int count);
// Number of forecasts that map the receiver.
int GetReceiverMapCount(int receiver);
// The receiver's isgroup in the forecast; 0 when the forecast does not map it.
int IsForecastReceiverGroup(int receiver, int forecast);
// Final receivers of the forecast plus what they stand for.
int GetLeafReceiverCount(int forecast);
// Final receivers that the receiver stands for: a final one itself and its count; a nested group all
// final receivers below it; the top group itself and its direct final receivers.
int GetSubReceiverCount(int forecast, int receiver);
// Takes the receiver out of the forecast; a top-level receiver stays.
[[nodiscard]] bool UnmapReceiverFromForecast(int receiver, int forecast);
// Unmaps, and deletes the receiver row when no forecast maps it any more.
[[nodiscard]] bool RemoveReceiverFromForecast(int receiver, int forecast);
[[nodiscard]] bool RemoveReceiverFromForecast(CReceiverRecord& rec, int forecast); // sets the id to -1 on success
// Of the receivers that removing every receiver from the forecast would delete (not at the top,
// mapped by no other forecast), those that a rights row names, which keeps them from being deleted;
// in id order. None after a reported database error.
std::optional<CReceiverList> LoadReceiversHeldByRights(int forecast);
// The deepest imported receiver of the forecast (the installation's own), or -1.
int GetOwnReceiverId(int forecast);
inline int LoadImportedLeafReceivers(int forecast)
{
    return GetOwnReceiverId(forecast);
}
// The receiver whose data the editor opens with: the own one, or for a login that writes by its rights
// and may not write that one, the first receiver granted to it (the own one when none is).
int GetEditedReceiverId(int forecast);
