#include "CommentsExchange.h"

#include "AppMessage.h"
#include "ExchangeOpen.h"
#include "ExchangeTexts.h"
#include "ExportWriter.h"
#include "ModalHook.h"
#include "Settings.h"
#include "StatusText.h"
#include "WaitCursor.h"
#include "WorkspaceRefresh.h"
#include "tables/ImportEventTypes.h"
#include "tables/PriceChecks.h"
#include "tables/ReceiverMap.h"

#include <QWidget>

using namespace CommentTexts;

namespace {

void NotifyChildren()
{
    if (IWorkspaceRefresh* refresh = WorkspaceRefresh())
        refresh->NotifyChildren(1);
}

// The document is written and handed on; false after a failure that was shown. *written tells
// whether the document went out (to the folder or to the send dialog).
bool SendComments(CSessionState& session, QWidget* frame, const CTransportList& transports, bool* written, bool* sent)
{
    const int forecastId = session.currentForecastId;
    CReceiverChoice choice;
    choice.forecastId = forecastId;
    choice.ownReceiverId = session.ownReceiverId;
    const auto chosen = ChooseReceivers(frame, choice);
    if (!chosen || chosen->empty())
        return true;
    const int chosenId = chosen->front();
    CWaitCursor wait;
    const auto receiver = GetForecastReceiver(chosenId, forecastId);
    const QString name = receiver ? receiver->name : QStringLiteral("Noname");
    const QString email = receiver ? receiver->email : QString();
    if (Settings().Transport == ExportTexts::kMailTransport && email.trimmed().isEmpty()) {
        AppMessageBox(ExportTexts::kNoEmail.arg(name), MB_ICONEXCLAMATION, frame);
        return false;
    }
    const auto rows =
        LoadForecastData(SqlFilter(QStringLiteral("prognoz=? and receiver=? and comment<>''"), {forecastId, chosenId}));
    if (!rows)
        return false;
    if (rows->empty()) {
        AppMessageBox(kNoComments, MB_ICONEXCLAMATION, frame);
        return true;
    }
    const XmlDocPtr doc = BuildCommentDocument({session.ownReceiverId, forecastId, chosenId, email}, *rows);
    if (!doc)
        return false;
    CExportWriter writer(frame, [frame](const QString& text, unsigned icon) {
        if (icon)
            AppMessageBox(text, icon, frame);
    });
    const QString base = ExchangeFileBase(name);
    CSendEnvelope envelope{name, email, QString(), QString(), QString(), ExchangeDataType::kComments};
    if (!writer.fileTransport()) {
        const auto sender = GetForecastReceiver(session.ownReceiverId, forecastId);
        if (!sender) {
            AppMessageBox(ExportTexts::kNoSender, MB_ICONSTOP, frame);
            return false;
        }
        envelope.fromName = sender->name;
        envelope.fromEmail = sender->email;
    }
    if (!writer.Save(doc.get(), CommentFileName(base), base, envelope, name))
        return false;
    *written = true;
    *sent = writer.fileTransport() || writer.Send(transports);
    static_cast<void>(
        WriteExchangeJournal(forecastId, chosenId, kJournalComment, *sent ? IEK_SENT_FOR_CORRECTION : IEK_SEND_FAILED));
    return true;
}

} // namespace

void OnSendComments(CSessionState& session, QWidget* frame, const CTransportList& transports)
{
    if (session.ownReceiverId == -1)
        session.ownReceiverId = LoadImportedLeafReceivers(session.currentForecastId);
    if (!CheckCurrentForecast(session) || !CheckSelfReceiver(session))
        return;
    bool written = false, sent = false;
    const bool ok = SendComments(session, frame, transports, &written, &sent);
    if (Settings().Transport == ExportTexts::kFileTransport) {
        if (written)
            AppMessageBox(kExported, MB_ICONINFORMATION, frame);
        else if (!ok)
            AppMessageBox(kExportFailed, MB_ICONSTOP, frame);
    }
    NotifyChildren();
}

ImportOutcome ImportCommentFile(CSessionState&, QWidget* frame, const QString& path)
{
    const QString schema = FindSchemaFile(ExchangeSchemas::kComment, &AskSchemaFile);
    if (schema.isEmpty())
        return ImportOutcome::Undecided;
    CWaitCursor wait;
    CStatusText status(ImportStatusTexts::kComments);
    status.Step(ImportStatusTexts::kReading);
    const CCommentsFile file = ReadCommentsFile(path, schema);
    if (!file.ok())
        return ShowRefusal(file.message, file.status == CCommentsFile::NoData ? MB_ICONEXCLAMATION : MB_ICONSTOP,
                           frame);
    const CImportParties parties =
        FindImportParties(file.from, file.to, file.forecast, PartyKey::ImportedId, kNoSender, kNoReceiver);
    if (!ShowMissingParties(parties, frame))
        return ImportOutcome::Taken;
    const int answer =
        AppMessageBox(kQuestion.arg(parties.sender->name, parties.recipient->name), MB_YESNO | MB_ICONQUESTION, frame);
    if (answer != IDYES)
        return DeclinedOrUndecided(answer);
    status.Step(ImportStatusTexts::kStoring);
    if (!StoreCommentsFile(file, parties.sender->id))
        return ImportOutcome::Undecided;
    status.End();
    AppMessageBox(kImported, MB_ICONINFORMATION, frame);
    return ImportOutcome::Taken;
}

void OnReceiveComments(CSessionState& session, QWidget* frame)
{
    const QString path = ModalHook().getOpenFileName(frame, QString(), Settings().ImportDir, ExportTexts::kXmlFilter);
    if (!path.isEmpty())
        ImportCommentFile(session, frame, path);
    NotifyChildren();
}
