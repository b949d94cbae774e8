#include "AppMessage.h"
#include "CheckDialogs.h"
#include "ExchangeTexts.h"
#include "ExportWriter.h"
#include "ModalHook.h"
#include "OldIdMap.h"
#include "Session.h"
#include "Settings.h"
#include "tables/ImportEventTypes.h"

#include <QPushButton>

#include <exception>

using namespace ExportTexts;

namespace {

// One export's end in the exchange journal.
void WriteExportRow(int forecast, int receiver, const QString& comment, bool sent)
{
    static_cast<void>(WriteExchangeJournal(forecast, receiver, comment, sent ? IEK_SENT : IEK_SEND_FAILED));
}

template <class List>
bool LoadLogged(CExportNSIDlg& dlg, std::optional<List> list, List& out, const QString& found, const QString& failed)
{
    if (!list) {
        dlg.AppendLine(failed);
        return false;
    }
    out = std::move(*list);
    dlg.AppendLine(found.arg(out.size()));
    return true;
}

bool MissingEmail(const CReceiverRecord& r)
{
    return Settings().Transport == kMailTransport && r.email.trimmed().isEmpty();
}

} // namespace

void CExportNSIDlg::SendNSI(const CSessionState& session, const CTransportList& transports)
{
    const int forecastId = session.currentForecastId;
    const auto forecast = GetForecast(forecastId);
    if (!forecast) {
        AppendLine(kNoForecast);
        return;
    }
    AppendLine(kForecast.arg(forecast->name).arg(forecast->year));
    CReceiverChoice choice;
    choice.forecastId = forecastId;
    choice.ownReceiverId = session.ownReceiverId;
    choice.multiple = true;
    choice.ownSelectable = false;
    const auto chosen = ChooseReceivers(this, choice);
    AppendLine(kChosen.arg(chosen ? chosen->size() : 0));
    if (!chosen || chosen->empty())
        return;

    int lastReceiver = -1;
    bool ok = RunOperation([&] {
        CExportWriter writer(this, [this](const QString& text, unsigned) { AppendLine(text); });
        bool sent = true;
        try {
            const auto sender = GetForecastReceiver(session.ownReceiverId, forecastId);
            if (!sender) {
                AppendLine(kNoSender);
                return false;
            }
            if (MissingEmail(*sender)) {
                AppendLine(kNoEmail.arg(sender->name));
                return false;
            }
            CProductList products;
            CDocumentationList documents;
            CMeasurementList units;
            CMConvertList converts;
            CPriceList prices;
            if (!LoadLogged(*this, LoadProducts(forecastId), products, kProducts, kProductsFailed)
                || !LoadLogged(*this, LoadDocumentation(SqlFilter(QStringLiteral("prognoz=?"), {forecastId})),
                               documents, kDocuments, kDocumentsFailed)
                || !LoadLogged(*this, LoadMeasurements(), units, kUnits, kUnitsFailed)
                || !LoadLogged(*this, LoadMConverts(), converts, kConverts, kConvertsFailed)
                || !LoadLogged(*this, LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {forecastId})), prices, kPrices,
                               kPricesFailed))
                return false;
            for (int id : *chosen) {
                auto receiver = GetForecastReceiver(id, forecastId);
                lastReceiver = id;
                if (!receiver) {
                    AppendLine(kNoReceiver);
                    return false;
                }
                // The reference data goes down: never to a group, nor back to the sender.
                if (receiver->IsGroup() || receiver->id == sender->id)
                    continue;
                if (MissingEmail(*receiver)) {
                    const QString text = kNoReceiverEmail.arg(receiver->name);
                    AppendLine(text);
                    if (Ask(text + kContinueSending, MB_YESNO | MB_ICONQUESTION) == IDYES)
                        continue;
                    break;
                }
                receiver->importedId = receiver->id;
                AppendLine(receiver->name);
                const CReceiverList parties = {*sender, *receiver};
                CPriceList exported = prices;
                COldIdMap idMap;
                const auto maps = idMap.WriteExchangeMaps(parties, exported, forecastId);
                if (!maps) {
                    AppendLine(kIdMapsFailed);
                    return false;
                }
                CNsiDocument nsi;
                nsi.forecastId = forecastId;
                nsi.from = session.ownReceiverId;
                nsi.to = receiver->id;
                nsi.mail = receiver->email;
                nsi.receivers = &parties;
                nsi.products = &products;
                nsi.forecasts = &maps->forecasts;
                nsi.idMaps = maps->idMaps ? &*maps->idMaps : nullptr;
                nsi.documents = &documents;
                nsi.measurements = &units;
                nsi.converts = &converts;
                nsi.prices = &exported;
                const XmlDocPtr doc = BuildNsiDocument(nsi);
                if (!doc) {
                    AppendLine(kDocumentFailed);
                    return false;
                }
                const QString base = ExchangeFileBase(receiver->name + u'_' + forecast->name);
                CSendEnvelope envelope{receiver->name, receiver->email, sender->name,
                                       sender->email,  QString(),       ExchangeDataType::kNsi};
                if (!writer.Save(doc.get(), NsiFileName(base), base, envelope, receiver->name))
                    return false;
            }
            if (!writer.fileTransport() && writer.hasFiles()) {
                sent = writer.Send(transports);
                WriteExportRow(forecastId, lastReceiver, kNsiComment, sent);
            }
        } catch (const std::exception& e) {
            Ask(QString::fromUtf8(e.what()), MB_OK | MB_ICONSTOP);
            return false;
        }
        AppendLine(kFinished);
        return sent;
    });
    if (lastReceiver > 0)
        WriteExportRow(forecastId, lastReceiver, kNsiComment, ok);
    else
        WriteExportRow(forecastId, session.ownReceiverId, kNsiNoReceiver, ok);
}
