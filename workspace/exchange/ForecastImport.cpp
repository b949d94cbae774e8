#include "ForecastImport.h"

#include "AppMessage.h"
#include "ErrorSink.h"
#include "ExchangeDocuments.h"
#include "ExchangeOpen.h"
#include "ForecastFile.h"
#include "ModalHook.h"
#include "Settings.h"
#include "UiThread.h"
#include "WaitCursor.h"
#include "WorkspaceRefresh.h"
#include "tables/Receivers.h"

#include <QCoreApplication>
#include <QWidget>

using namespace ForecastImportTexts;

void ImportForecastFile(CSessionState& session, QWidget* frame, const QString& path)
{
    // Message boxes and the main window's refresh belong to the user-interface thread.
    Q_ASSERT(IsUiThread() || !QCoreApplication::instance());
    static_cast<void>(session);
    const QString schema = FindSchemaFile(ExchangeSchemas::kForecast, &AskSchemaFile);
    if (schema.isEmpty())
        return;
    CWaitCursor wait;
    CForecastFile file = ReadForecastFile(path, schema);
    if (file.status == CForecastFile::NoData) {
        AppMessageBox(file.message, MB_OK | MB_ICONEXCLAMATION, frame);
        return;
    }
    if (!file.ok()) {
        AppMessageBox(file.message, MB_OK | MB_ICONSTOP, frame);
        return;
    }

    // Both look-ups run, so that both messages can appear.
    QString senderName = kUnknownName, recipientName = kUnknownName;
    const auto sender = GetForecastReceiver(file.from, file.forecast);
    if (sender)
        senderName = sender->name;
    else
        AppMessageBox(kSenderMissing, MB_OK | MB_ICONSTOP, frame);
    const auto recipient = GetForecastReceiver(file.to, file.forecast);
    if (recipient)
        recipientName = recipient->name;
    else
        AppMessageBox(kRecipientMissing, MB_OK | MB_ICONSTOP, frame);
    if (!sender || !recipient)
        return;

    QString question = kQuestion.arg(senderName, recipientName);
    unsigned icon = MB_ICONQUESTION;
    if (HasStoredForecastRows(file.forecast, file.from)) {
        question += kReplaceWarning.arg(senderName);
        icon = MB_ICONEXCLAMATION;
    }
    if (AppMessageBox(question, MB_YESNO | icon, frame) != IDYES)
        return;

    bool stored = false;
    {
        // The database's message is shown once the transaction has been rolled back.
        CErrorCollector errors;
        stored = StoreForecastFile(file);
    }
    if (!stored)
        return;
    file.rows = {};
    if (IWorkspaceRefresh* refresh = WorkspaceRefresh()) {
        refresh->FillForecastCombo();
        refresh->ReloadForecastReceiver();
    }
    AppMessageBox(kLoaded.arg(path), MB_OK | MB_ICONINFORMATION, frame);
}

void OnReceiveForecast(CSessionState& session, QWidget* frame)
{
    const QStringList paths = ModalHook().getOpenFileNames(frame, QString(), Settings().ImportDir, kFilter);
    for (const QString& path : paths) {
        ImportForecastFile(session, frame, path);
        if (IWorkspaceRefresh* refresh = WorkspaceRefresh())
            refresh->NotifyEventJournal(1);
    }
}
