#include "ConnectLoop.h"

#include "AppMessage.h"
#include "MSSqlSetupDlg.h"
#include "ModalHook.h"
#include "ProcessExit.h"
#include "ProgressBar.h"

#include <utility>

namespace {

ConnectDialogHook& DialogHook()
{
    static ConnectDialogHook hook;
    return hook;
}

ConnectDialogHook& PasswordHook()
{
    static ConnectDialogHook hook;
    return hook;
}

const QString kConnectError =
    QStringLiteral("Ошибка подключения к базе данных.\n"
                   "Уточните параметры подключения или обратитесь к системному администратору.\n"
                   "\n");
const QString kOldVersion = QStringLiteral("Найдена устаревшая версия базы данных.\n"
                                           "Дальнейшая работа не возможна\n"
                                           "Приложение будет закрыто\n");
const QString kQuitQuestion = QStringLiteral("Вы действительно хотите выйти из программы?\n"
                                             "\n"
                                             "ВНИМАНИЕ: Все несохранённые данные будут потеряны.\n");

} // namespace

void SetConnectDialogHook(ConnectDialogHook hook)
{
    DialogHook() = std::move(hook);
}

ConnectDialogHook GetConnectDialogHook()
{
    return DialogHook();
}

void SetPasswordDialogHook(ConnectDialogHook hook)
{
    PasswordHook() = std::move(hook);
}

void InstallConnectDialogUi()
{
    SetConnectDialogHook([](CDbSetupSettings& settings) {
        CMSSqlSetupDlg dlg(settings, GetAppMainWindow());
        return ExecModal(dlg) == QDialog::Accepted;
    });
    SetPasswordDialogHook([](CDbSetupSettings& settings) {
        CDbPasswordDlg dlg(settings, GetAppMainWindow());
        return ExecModal(dlg) == QDialog::Accepted;
    });
}

bool RunConnectLoop(DbConnectParams* params)
{
    CDbSetupSettings s;
    bool opened = false, current = false, busy = false;
    DbError result = s.OpenAccessDatabase();
    if (!Failed(result))
        result = s.GetDbVersion(&opened, &current, &busy);
    // A server login whose password is neither kept nor found by libpq (PGPASSWORD, the password
    // file) is asked for it: the server's refusal would only say that it is missing.
    bool askFirst = Failed(result) && s.passwordMissing && !s.useWindowsAuth && PasswordHook();

    // Only a first start, which names no database yet, takes the default file without a word (not a
    // busy one: it is there). A stored file that fails (a share not mounted, say) is never replaced
    // behind the user's back, and neither is a server: that would send the users' entries elsewhere.
    // The user retries, chooses another database or makes a new one; the settings change only once
    // the chosen one has opened.
    bool silentRetryLeft = s.sql == 0 && !s.storedFile && !busy;
    bool chosen = false;
    if (Failed(result) && !askFirst && !silentRetryLeft && !AppCloseRequested())
        AppMessageBox(kConnectError + ConnectFailureText(result), MB_OK | MB_ICONEXCLAMATION);

    for (;;) {
        // A close requested while the database did not answer ends the loop: nobody is asked.
        if (AppCloseRequested())
            return false;
        if (Failed(result)) {
            if (silentRetryLeft) {
                silentRetryLeft = false;
                s.UseDefaultAccessFile();
                s.sql = 0;
                chosen = true;
            } else {
                // The password first; once the user has stayed or a login failed, the whole settings.
                while (!AppCloseRequested()) {
                    const ConnectDialogHook ask = std::exchange(askFirst, false) ? PasswordHook() : DialogHook();
                    if (ask && ask(s)) {
                        chosen = true;
                        break;
                    }
                    if (AppMessageBox(kQuitQuestion, MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
                        EndProcess(0);
                    if (!DialogHook())
                        return false;
                }
            }
        } else if (opened && current) {
            if (chosen)
                s.SaveSettings();
            *params = s.params();
            return true;
        }

        opened = current = false;
        result = s.OpenAccessDatabase();
        if (!Failed(result))
            result = s.GetDbVersion(&opened, &current);
        if (Failed(result)) {
            if (!AppCloseRequested())
                AppMessageBox(kConnectError + ConnectFailureText(result), MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        if (opened && !current) {
            AppMessageBox(kOldVersion, MB_OK | MB_ICONEXCLAMATION);
            EndProcess(0);
        }
    }
}

bool ConnectMainDatabase()
{
    CDBConnection& connection = GetDBConnection();
    if (connection.isConnected())
        return true;
    DbConnectParams params;
    return RunConnectLoop(&params) && connection.ConnectWith(params);
}
