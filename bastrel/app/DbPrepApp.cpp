#include "DbPrepApp.h"

#include "AppMessage.h"
#include "CommandLine.h"
#include "DbPrepDlg.h"
#include "DbPreparer.h"
#include "ModalHook.h"

bool CDbPrepApp::ParseCommandLine(const QString& line, QString& dbPath, QString& baseType)
{
    ::ParseCommandLine(line, dbPath, baseType);
    return true;
}

int CDbPrepApp::ServerPort()
{
    bool ok = false;
    const int port = qEnvironmentVariable("PGPORT").toInt(&ok);
    return ok && port > 0 && port < 65536 ? port : 5432;
}

int CDbPrepApp::InitInstance(const QStringList& arguments, bool withWindow)
{
    const QString line = JoinCommandLine(arguments);
    if (!HasPrepKeys(line))
        return PREP_NOTHING;
    QString dbPath;
    QString baseType;
    ParseCommandLine(line, dbPath, baseType);
    if (dbPath.isEmpty() || baseType.isEmpty())
        return PREP_NOTHING;

    if (IsFileKind(baseType)) {
        CDbPreparer preparer;
        return preparer.Run(false, QString(), QString(), QString(), 0, FileFolder(dbPath)) ? PREP_DONE : PREP_FAILED;
    }
    if (!withWindow) {
        const QString login = qEnvironmentVariable("PGUSER");
        CDbPreparer preparer;
        preparer.SetPort(ServerPort());
        return preparer.Run(true, dbPath, login, qEnvironmentVariable("PGPASSWORD"), login.isEmpty() ? 1 : 0, QString())
            ? PREP_DONE
            : PREP_FAILED;
    }
    CDbPrepDlg dlg;
    dlg.m_server = dbPath;
    dlg.DoDataExchange(false);
    SetAppMainWindow(&dlg);
    ExecModal(dlg);
    SetAppMainWindow(nullptr);
    return dlg.exitCode();
}

bool PrepHasWindow()
{
    if (MessageBoxScripted())
        return false;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return false;
}
