// The connect loop of forecast: from the stored connection settings to a database of the current
// version, with the messages, the dialog "Соединение" and the quit question on the way. Core only
// opens what it is given; asking the user and ending the process belong here.
#pragma once

#include "db/DbSetup.h"

#include <functional>

// Shows the dialog "Соединение" for the settings; false when the user cancelled it.
using ConnectDialogHook = std::function<bool(CDbSetupSettings& settings)>;
void SetConnectDialogHook(ConnectDialogHook hook);
ConnectDialogHook GetConnectDialogHook();
// Asks a server login whose password is not kept for it, before the loop tries anything; without
// this hook the loop tries at once.
void SetPasswordDialogHook(ConnectDialogHook hook);
// Makes the loop show CMSSqlSetupDlg and CDbPasswordDlg through the modal hook.
void InstallConnectDialogUi();

// Runs until a database of the current version opens (true, with its parameters), the user quits
// (the process ends with exit code 0), or, without a dialog, the user declines to quit (false).
bool RunConnectLoop(DbConnectParams* params);

// Connects the main connection through the loop; false when it did not connect.
bool ConnectMainDatabase();
