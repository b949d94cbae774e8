#include "ForecastImport.h"

#include "AppMessage.h"
#include "ExchangeDocuments.h"
#include "ExchangeOpen.h"
#include "ExchangeTexts.h"
#include "ForecastFile.h"
#include "ModalHook.h"
#include "Settings.h"
#include "StatusText.h"
#include "UiThread.h"
#include "WaitCursor.h"
#include "WorkspaceRefresh.h"

#include <QCoreApplication>
#include <QWidget>

using namespace ForecastImportTexts;

ImportOutcome ImportForecastFile(CSessionState& session, QWidget* frame, const QString& path)
{
    // Message boxes and the main window's refresh belong to the user-interface thread.
    Q_ASSERT(IsUiThread() || !QCoreApplication::instance());
    static_cast<void>(session);
    const QString schema = FindSchemaFile(ExchangeSchemas::kForecast, &AskSchemaFile);
    if (schema.isEmpty())
        return ImportOutcome::Undecided;
    CWaitCursor wait;
    CStatusText status(ImportStatusTexts::kForecast);
    status.Step(ImportStatusTexts::kReading);
    CForecastFile file = ReadForecastFile(path, schema);
    if (file.status == CForecastFile::NoData)
        return ShowRefusal(file.message, MB_ICONEXCLAMATION, frame);
    if (!file.ok())
        return ShowRefusal(file.message, MB_ICONSTOP, frame);

    const CImportParties parties =
        FindImportParties(file.from, file.to, file.forecast, PartyKey::Id, kSenderMissing, kRecipientMissing);
    if (!ShowMissingParties(parties, frame))
        return ImportOutcome::Taken;
    const QString& senderName = parties.sender->name;

    // Asked again, with the warning, when another copy of the program stored the sender's rows between
    // the question and the write.
    for (;;) {
        QString question = kQuestion.arg(senderName, parties.recipient->name);
        unsigned icon = MB_ICONQUESTION;
        // A failed read counts as stored rows: the warning is shown rather than left out.
        const bool warned = HasForecastDataForReceiver(file.from, file.forecast, OnDbError::Silent);
        if (warned) {
            if (const QString refusal = JoinedCommentRefusal(file); !refusal.isEmpty())
                return ShowRefusal(refusal, MB_ICONSTOP, frame);
            question += kReplaceWarning.arg(senderName);
            icon = MB_ICONEXCLAMATION;
        }
        if (const int answer = AppMessageBox(question, MB_YESNO | icon, frame); answer != IDYES)
            return DeclinedOrUndecided(answer);
        status.Step(ImportStatusTexts::kStoring);
        bool askAgain = false;
        const CAskedCheck asked{
            [&] { return warned || !HasForecastDataForReceiver(file.from, file.forecast, OnDbError::Report); },
            &askAgain};
        if (StoreForecastFile(file, asked))
            break;
        if (!askAgain)
            return ImportOutcome::Undecided;
    }
    file.stage.reset();
    status.Step(ImportStatusTexts::kRefreshing);
    if (IWorkspaceRefresh* refresh = WorkspaceRefresh()) {
        refresh->FillForecastCombo();
        refresh->ReloadForecastReceiver();
    }
    status.End();
    AppMessageBox(kLoaded.arg(path), MB_OK | MB_ICONINFORMATION, frame);
    return ImportOutcome::Taken;
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
