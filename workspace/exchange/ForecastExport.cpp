#include "ForecastExport.h"

#include "AppMessage.h"
#include "CheckDialogs.h"
#include "DataChecks.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ModalHook.h"
#include "SendDataDlg.h"
#include "Settings.h"
#include "TotalForecastBuild.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"

#include <QDir>
#include <QFileInfo>

using namespace ForecastExportTexts;

namespace {

bool ExportFolderExists(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

} // namespace

bool ExportConsolidatedForecast(CCheckLog& log, QWidget* parent, int forecast, int ownReceiverId,
                                const CTransportList& transports, bool* empty)
{
    const CSettings& settings = Settings();
    const auto recipient = GetForecastReceiver(LoadReceiversByParent(forecast, -1), forecast);
    if (!recipient) {
        log.AppendLine(kNoRecipient);
        return false;
    }
    // The mail transport would refuse the empty address anyway; saying so here spares the files.
    if (settings.Transport == kMailTransport && recipient->email.trimmed().isEmpty()) {
        log.AppendLine(kNoEmail.arg(recipient->name));
        return false;
    }
    const auto sender = GetForecastReceiver(LoadImportedLeafReceivers(forecast), forecast);
    if (!sender) {
        log.AppendLine(kOwner);
        return false;
    }
    CForecastHeader header;
    header.to = recipient->importedId;
    header.from = sender->importedId;
    header.mail = recipient->email;
    header.subReceiverCount = GetLeafReceiverCount(forecast);

    const auto rows = LoadTotalForecasts(SqlFilter(QStringLiteral("prognoz=?"), {forecast}));
    if (!rows)
        return false;
    if (rows->empty()) {
        log.AppendLine(kEmpty);
        *empty = true;
        return false;
    }

    const auto own = GetForecastReceiver(ownReceiverId, forecast);
    const auto record = GetForecast(forecast);
    const QString base = ExchangeFileBase((own ? own->name : kNoName) + u'_' + (record ? record->name : QString()));

    if (settings.Transport == kFileTransport) {
        if (!ExportFolderExists(settings.ExportDir)) {
            log.AppendLine(kNoExportDir);
            return false;
        }
        QString path = PathIn(settings.ExportDir, ForecastFileName(base));
        if (QFileInfo::exists(path)) {
            log.AppendLine(kFileExists);
            path = ModalHook().getSaveFileName(parent, QString(), path, kFilter, QStringLiteral("xml"));
            if (path.isEmpty()) {
                log.AppendLine(kNoFileChosen);
                return false;
            }
        }
        if (!WriteForecastDocument(header, *rows, path)) {
            log.AppendLine(kSaveFailed.arg(path));
            return false;
        }
        log.AppendLine(kSaved.arg(path));
        return true;
    }

    // The document waits in a folder of the user's own until the send dialog is done with it.
    auto folder = std::make_unique<CSendFolder>();
    const QString dataPath = folder->filePath(ForecastFileName(base));
    if (!folder->isValid() || !WriteForecastDocument(header, *rows, dataPath)) {
        log.AppendLine(kTempSaveFailed.arg(dataPath));
        return false;
    }
    CSendEnvelope envelope;
    envelope.toName = recipient->name;
    envelope.toEmail = recipient->email;
    envelope.fromName = sender->name;
    envelope.fromEmail = sender->email;
    envelope.nameFile = dataPath;
    envelope.typeData = ExchangeDataType::kForecast;
    const QString envelopePath = PathIn(settings.ExportDir, SendEnvelopeFileName(base));
    // Without an export folder the name would land in whatever folder the program runs in.
    if (!ExportFolderExists(settings.ExportDir)
        || !SaveExchangeDocument(BuildSendEnvelope(envelope).get(), envelopePath)) {
        log.AppendLine(kTempSaveFailed.arg(envelopePath));
        return false;
    }
    CSendDataDlg send({{QFileInfo(envelopePath).fileName(), envelopePath}}, transports, nullptr, std::move(folder));
    ExecModal(send);
    return send.successFlag() != 0;
}

bool CExportDataDlg::SendForecast(int forecast, int ownReceiverId, const CTransportList& transports)
{
    return RunOperation([&] {
        if (!::CheckForecast(*this, forecast)
            && AppMessageBox(kCheckQuestion, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
            return false;
        if (AppMessageBox(kBuildQuestion, MB_YESNO | MB_ICONQUESTION, this) == IDYES
            && !::BuildTotalForecast(*this, forecast))
            return false;
        AppendLine(QString());
        AppendLine(kSaving);
        bool empty = false;
        const bool sent = ExportConsolidatedForecast(*this, this, forecast, ownReceiverId, transports, &empty);
        if (empty)
            return false;
        CImportStatusRecord journal;
        journal.prognoz = forecast;
        journal.receiver = LoadReceiversByParent(forecast, 0);
        journal.comment = kJournalComment;
        journal.event = sent ? IEK_SENT : IEK_SEND_FAILED;
        journal.send = CurrentTimeToSecond();
        journal.received = QDateTime();
        static_cast<void>(SaveImportStatus(journal));
        AppendLine(sent ? kDone : kFailed);
        return sent;
    });
}
