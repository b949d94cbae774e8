// Connection settings of the main database and the connect loop that finds a usable database.
#pragma once

#include "AppMessage.h"
#include "DbConnection.h"

#include <functional>

// The values of the profile section Settings/DataBase, as the connect loop and the dialog
// "Соединение" use them.
class CDbSetupSettings {
public:
    CDbSetupSettings(); // reads the stored values

    QString dbFile;
    QString hostName;
    QString userName;
    QString password;
    bool useWindowsAuth = false;
    int sql = 0; // 0 SQLite file, 1 PostgreSQL server
    int port = 5432;
    QString dbName = QStringLiteral("lir");
    bool savePass = true;
    bool passwordEntered = false; // set by the dialog: only then may the password be remembered

    DbConnectParams params() const;
    static QString DefaultFile();
    // The default file beside the program.
    void UseDefaultAccessFile();
    void SaveSettings();

    // Each answers an error value; code 0 with empty texts is success.
    DbError OpenAccessDatabase();
    DbError GetDbVersion(bool* opened, bool* current);
    // Copies the template over the default file, whole or not at all.
    DbError PrepareAccessFile();
};

inline bool Failed(const DbError& e)
{
    return e.code != 0 || !e.message.isEmpty() || !e.description.isEmpty();
}

// Shows the dialog "Соединение" for the settings; false when the user cancelled it.
using ConnectDialogHook = std::function<bool(CDbSetupSettings& settings)>;
void SetConnectDialogHook(ConnectDialogHook hook);
ConnectDialogHook GetConnectDialogHook();

// Runs until a database of the current version opens (true, with its parameters), the user quits
// (the process ends), or, without a dialog, the user declines to quit (false).
bool RunConnectLoop(DbConnectParams* params);

constexpr int kDbVersion = 36;
