// The rights test of the commands and the "forecast set" condition.
#pragma once

#include "Settings.h"

// Without a known login every rights test passes; otherwise one of the role bits (1 administrator,
// 2 expert, 4 user) is needed.
inline bool HasRights(int roles)
{
    const CSettings& s = Settings();
    return s.userName.isEmpty() || (s.userRoles & roles) != 0;
}

// A current forecast and the organisation's own receiver in it are known.
inline bool IsForecastSet()
{
    const CSettings& s = Settings();
    return s.currentForecastId > 0 && s.ownReceiverId > 0;
}
