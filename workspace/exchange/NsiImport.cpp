#include "NsiImport.h"

#include "AppMessage.h"
#include "ExchangeDocuments.h"
#include "ExchangeOpen.h"
#include "ModalHook.h"
#include "Settings.h"
#include "StatusText.h"
#include "WaitCursor.h"
#include "WorkspaceRefresh.h"

#include <QWidget>

ImportOutcome ImportNsiFile(CSessionState& session, QWidget* frame, const QString& path)
{
    IWorkspaceRefresh* refresh = WorkspaceRefresh();
    ImportOutcome outcome = ImportOutcome::Taken;
    // Until the windows show what was stored.
    CStatusText status(ImportStatusTexts::kNsi);
    if (!path.isEmpty()) {
        const QString schema = FindSchemaFile(ExchangeSchemas::kNsi, &AskSchemaFile);
        if (schema.isEmpty())
            return ImportOutcome::Undecided;
        CWaitCursor wait;
        status.Step(ImportStatusTexts::kReading);
        CNsiFile nsi = ReadNsiFile(path, schema);
        if (!nsi.ok())
            return ShowRefusal(nsi.message, MB_ICONSTOP, nullptr);
        // Asked again, with the warning, when another load of the forecast was stored between the
        // question and the write.
        std::optional<CNsiPlaced> placed;
        for (bool askAgain = true; askAgain;) {
            askAgain = false;
            const bool repeated = HasEarlierReceipts(nsi.forecastId);
            QString question = NsiTexts::kQuestion.arg(nsi.ReceivedName(nsi.from), nsi.ReceivedName(nsi.to));
            question += repeated ? NsiTexts::kRepeated : NsiTexts::kLoad;
            const int answer = AppMessageBox(question, MB_YESNO | MB_ICONQUESTION, frame);
            if (answer != IDYES) {
                outcome = DeclinedOrUndecided(answer);
                break;
            }
            status.Step(ImportStatusTexts::kStoring);
            placed = StoreNsiFile(nsi, {[&] { return repeated || !HasEarlierReceipts(nsi.forecastId); }, &askAgain});
            outcome = placed ? ImportOutcome::Taken : ImportOutcome::Undecided;
        }
        if (placed) {
            session.currentForecastId = nsi.forecastId;
            session.ownReceiverId = placed->recipient > 0 ? placed->recipient : session.ownReceiverId;
        }
        status.Step(ImportStatusTexts::kRefreshing);
        if (refresh) {
            refresh->FillForecastCombo();
            refresh->SelectForecast(session.currentForecastId);
        }
        if (placed) {
            status.End();
            AppMessageBox(NsiTexts::kLoaded, MB_OK | MB_ICONINFORMATION, frame);
            status.Step(ImportStatusTexts::kRefreshing);
            if (refresh)
                refresh->ResetConsolidatedSelection();
        }
    }
    if (refresh)
        refresh->NotifyEventJournal(0);
    return outcome;
}

void OnReceiveNsi(CSessionState& session, QWidget* frame)
{
    const QString path = ModalHook().getOpenFileName(frame, QString(), Settings().ImportDir, NsiTexts::kFileFilter);
    if (!path.isEmpty())
        ImportNsiFile(session, frame, path);
}
