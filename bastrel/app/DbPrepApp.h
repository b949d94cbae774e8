// The program around the preparer: the command line, the dialog for the server kind, the exit code.
#pragma once

#include <QString>
#include <QStringList>

// Exit codes of Bastrel.
enum PrepExitCode : int {
    PREP_DONE = 0,
    PREP_FAILED = 1,
    PREP_NOTHING = 2, // keys missing or empty, or the dialog cancelled
};

class CDbPrepApp {
public:
    // The whole run over the program's arguments (argv[1..]). With a window the server kind asks in
    // the dialog; without one it runs as the dialog's OK would, with PGUSER and PGPASSWORD.
    static int InitInstance(const QStringList& arguments, bool withWindow);
    static bool ParseCommandLine(const QString& line, QString& dbPath, QString& baseType);
    // The server's port as libpq takes it: PGPORT, else 5432.
    static int ServerPort();
};

// Whether messages can be shown in windows: a display is there and LIR_MSGBOX does not answer them.
bool PrepHasWindow();
