// The user-interface side of the table operations' answers: their notices shown as message boxes,
// and the session guards that stop a command with their message.
#pragma once

#include "Session.h"
#include "tables/TableResult.h"

class QObject;

// Shows the notice, if any, as a message box with its flags.
void ShowNotice(const std::optional<CNotice>& notice, QObject* parent = nullptr);
// Shows the result's notice, if any; answers whether the operation was done.
bool ShowResult(const CTableResult& result, QObject* parent = nullptr);

// Whether the session has a current forecast (an own receiver); otherwise the message is shown.
bool CheckCurrentForecast(const CSessionState& session);
bool CheckSelfReceiver(const CSessionState& session);
