#include "ForecastExport.h"

#include "AppMessage.h"
#include "CheckDialogs.h"
#include "DataChecks.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ExportWriter.h"
#include "Settings.h"
#include "TotalForecastBuild.h"
#include "tables/ImportEventTypes.h"
#include "tables/ReceiverMap.h"
#include "tables/TotalForecasts.h"

using namespace ForecastExportTexts;

ForecastExport ExportConsolidatedForecast(CCheckLog& log, QWidget* parent, int forecast, int ownReceiverId,
                                          const CTransportList& transports)
{
    const CSettings& settings = Settings();
    const auto recipient = GetForecastReceiver(LoadReceiversByParent(forecast, -1), forecast);
    if (!recipient) {
        log.AppendLine(kNoRecipient);
        return ForecastExport::Failed;
    }
    // The mail transport would refuse the empty address anyway; saying so here spares the files.
    if (settings.Transport == kMailTransport && recipient->email.trimmed().isEmpty()) {
        log.AppendLine(kNoEmail.arg(recipient->name));
        return ForecastExport::Failed;
    }
    const auto sender = GetForecastReceiver(LoadImportedLeafReceivers(forecast), forecast);
    if (!sender) {
        log.AppendLine(kOwner);
        return ForecastExport::Failed;
    }
    CForecastHeader header;
    header.to = recipient->importedId;
    header.from = sender->importedId;
    header.mail = recipient->email;
    header.subReceiverCount = GetLeafReceiverCount(forecast);

    if (CountUngeneratedTotals(forecast) != 0) {
        log.AppendLine(kNotGenerated);
        return ForecastExport::Empty;
    }
    const auto rows = LoadTotalForecasts(SqlFilter(QStringLiteral("prognoz=?"), {forecast}));
    if (!rows)
        return ForecastExport::Failed;
    if (rows->empty()) {
        log.AppendLine(kEmpty);
        return ForecastExport::Empty;
    }

    const auto own = GetForecastReceiver(ownReceiverId, forecast);
    const auto record = GetForecast(forecast);
    const QString base = ExchangeFileBase((own ? own->name : kNoName) + u'_' + (record ? record->name : QString()));

    CExportWriter writer(parent, [&log](const QString& text, unsigned) { log.AppendLine(text); });
    CSendEnvelope envelope;
    envelope.toName = recipient->name;
    envelope.toEmail = recipient->email;
    envelope.fromName = sender->name;
    envelope.fromEmail = sender->email;
    envelope.typeData = ExchangeDataType::kForecast;
    const auto write = [&](const QString& path) { return WriteForecastDocument(header, *rows, path); };
    if (!writer.Save(write, ForecastFileName(base), base, std::move(envelope), SendEnvelopeFileName(base)))
        return ForecastExport::Failed;
    if (writer.fileTransport() || writer.Send(transports))
        return ForecastExport::Done;
    return ForecastExport::SendFailed;
}

bool CExportDataDlg::SendForecast(int forecast, int ownReceiverId, const CTransportList& transports)
{
    return RunOperation([&] {
        if (!::CheckForecast(*this, forecast) && Ask(kCheckQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        if (Ask(kBuildQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES && !::BuildTotalForecast(*this, forecast))
            return false;
        AppendLine(QString());
        AppendLine(kSaving);
        const ForecastExport outcome = ExportConsolidatedForecast(*this, this, forecast, ownReceiverId, transports);
        if (outcome == ForecastExport::Empty)
            return false;
        const bool sent = outcome == ForecastExport::Done;
        static_cast<void>(WriteExchangeJournal(forecast, LoadReceiversByParent(forecast, 0), kJournalComment,
                                               sent ? IEK_SENT : IEK_SEND_FAILED));
        AppendLine(sent ? kDone : outcome == ForecastExport::SendFailed ? kSendFailed : kFailed);
        return sent;
    });
}
