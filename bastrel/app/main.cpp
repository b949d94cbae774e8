// Bastrel: prepares the program's database named on the command line, e.g.
//   Bastrel "DBPATH=/srv/lir/&BASETYPE=ACCESS"      the SQLite file /srv/lir/LIR.db
//   Bastrel "DBPATH=dbhost&BASETYPE=SERVER"         the PostgreSQL database "lir" on dbhost
// Exit code 0 prepared, 1 failed, 2 nothing done.
#include "AppMessage.h"
#include "DbPrepApp.h"
#include "DbPrepDlg.h"
#include "ErrorSink.h"
#include "QtTranslations.h"

#include <QApplication>
#include <QCoreApplication>

#include <memory>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool withWindow = PrepHasWindow();
    std::unique_ptr<QCoreApplication> app;
    if (withWindow) {
        app = std::make_unique<QApplication>(argc, argv);
        InstallQtTranslations();
        InstallPrepMessageBoxUi();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Without a window the message box writes "MSGBOX <flags> <text>" to standard error.
    SetErrorSink(&ShowComError);
    return CDbPrepApp::InitInstance(arguments, withWindow);
}
