#include "NsiImport.h"

#include "AppMessage.h"
#include "ExchangeDocuments.h"
#include "ExchangeOpen.h"
#include "ExportWriter.h"
#include "ModalHook.h"
#include "OldIdMap.h"
#include "Settings.h"
#include "WaitCursor.h"
#include "WorkspaceRefresh.h"

#include "tables/ForecastData.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"
#include <QWidget>

#include <algorithm>
#include <set>

namespace {

struct CNsiReceived {
    int to = 0;
    int from = 0;
    int forecastId = 0;
    CProductList products;
    CMeasurementList measurements;
    CMConvertList converts;
    CDocumentationList documents;
    CPriceList prices;
    CForecastList forecasts;
    CReceiverList receivers;
    std::optional<COldIdMapSet> idMaps;
};

// The list of a section; a missing section is empty. A record with a number that does not fit is
// shown and refuses the document.
template <class R>
bool ReadSection(const CExchangeDocument& doc, std::vector<R>& list)
{
    const xmlNode* node = doc.child(XmlFormatOf<R>().list);
    if (!node)
        return true;
    QString invalid;
    auto read = ReadXmlList<R>(node, &invalid);
    if (!read) {
        AppMessageBox(invalid, MB_OK | MB_ICONSTOP);
        return false;
    }
    list = std::move(*read);
    return true;
}

std::optional<CNsiReceived> ReadNsi(const CExchangeDocument& doc)
{
    CNsiReceived nsi;
    nsi.to = doc.intAttribute("to");
    nsi.from = doc.intAttribute("from");
    nsi.forecastId = doc.intAttribute("id");
    if (!ReadSection(doc, nsi.products) || !ReadSection(doc, nsi.measurements) || !ReadSection(doc, nsi.converts)
        || !ReadSection(doc, nsi.documents) || !ReadSection(doc, nsi.prices) || !ReadSection(doc, nsi.forecasts)
        || !ReadSection(doc, nsi.receivers))
        return std::nullopt;
    if (const xmlNode* map = doc.child(XmlNames::kOld2NewIdMap))
        nsi.idMaps = COldIdMap::Load(map);
    // The sender's own id travels in "from"; its record may carry the id it was imported under. The
    // writer puts the sender first, so without a record of that id the first one is the sender, and
    // it keeps "from" so that later documents that name it find it.
    const auto byFrom = std::find_if(nsi.receivers.begin(), nsi.receivers.end(),
                                     [&](const CReceiverRecord& r) { return r.importedId == nsi.from; });
    if (byFrom == nsi.receivers.end() && !nsi.receivers.empty())
        nsi.receivers.front().importedId = nsi.from;
    return nsi;
}

const CReceiverRecord* Received(const CNsiReceived& nsi, int importedId)
{
    for (const CReceiverRecord& r : nsi.receivers) {
        if (r.importedId == importedId)
            return &r;
    }
    return nullptr;
}

QString ReceivedName(const CNsiReceived& nsi, int importedId)
{
    QString name = NsiTexts::kNobody;
    for (const CReceiverRecord& r : nsi.receivers) {
        if (r.importedId == importedId)
            name = r.name;
    }
    return name;
}

std::optional<std::set<int>> IdSet(const QString& sql, int forecast)
{
    CSqlQuery q(sql);
    if (!q.bind(forecast).execOrReport())
        return std::nullopt;
    std::set<int> ids;
    while (q.next())
        ids.insert(q.value(0).toInt());
    return ids;
}

// The received prices whose product row exists in its forecast and that have no price there yet
// (the prices of other forecasts came along with the id maps).
std::optional<CPriceList> PricesToAppend(const CPriceList& prices)
{
    std::set<int> forecasts;
    for (const CPriceRecord& p : prices)
        forecasts.insert(p.prognoz);
    std::map<int, std::pair<std::set<int>, std::set<int>>> known; // products, priced products
    for (int forecast : forecasts) {
        auto products = IdSet(QStringLiteral("select id from tclsproduct where prognoz = ?"), forecast);
        auto priced = IdSet(QStringLiteral("select product from tfctprice where prognoz = ?"), forecast);
        if (!products || !priced)
            return std::nullopt;
        known[forecast] = {std::move(*products), std::move(*priced)};
    }
    CPriceList out;
    for (const CPriceRecord& p : prices) {
        auto& [products, priced] = known[p.prognoz];
        if (products.count(p.product) && priced.insert(p.product).second)
            out.push_back(p);
    }
    return out;
}

// A received receiver stored as a new row under `parent` and mapped to the forecast; its id or 0.
int StoreReceived(const CReceiverRecord* received, int parent, int forecast)
{
    if (!received)
        return 0;
    CReceiverRecord rec = *received;
    rec.id = -1;
    rec.category = parent;
    if (!SaveReceiver(rec) || !MapReceiverToForecast(rec.id, forecast, -1))
        return -1;
    return rec.id;
}

struct CPlaced {
    int sender = 0;
    int recipient = 0;
};

// Sender and recipient in the receiver tree of the forecast: a recipient already below the stored
// sender, or already at the top of this forecast, is mapped again; otherwise it comes in at the
// top. A sender not stored yet comes in unplaced. None after a database error.
std::optional<CPlaced> PlaceParties(const CNsiReceived& nsi)
{
    const int id = nsi.forecastId;
    const auto s = GetReceiverByImportedId(nsi.from);
    std::optional<CReceiverRecord> r = GetForecastReceiverByImportedId(nsi.to, id);
    if (!r || r->category != 0)
        r = GetReceiverByImportedId(nsi.to);
    CPlaced placed;
    const bool belowSender = s && r && s->id != 0 && r->category == s->id;
    const bool topHere = r && r->category == 0 && GetForecastReceiver(r->id, id);
    if (belowSender || topHere) {
        if (!MapReceiverToForecast(r->id, id, -1))
            return std::nullopt;
        placed.recipient = r->id;
    } else {
        placed.recipient = StoreReceived(Received(nsi, nsi.to), 0, id);
    }
    if (s) {
        if (!MapReceiverToForecast(s->id, id, -1))
            return std::nullopt;
        placed.sender = s->id;
    } else {
        placed.sender = StoreReceived(Received(nsi, nsi.from), -1, id);
    }
    if (placed.sender < 0 || placed.recipient < 0)
        return std::nullopt;
    for (const CForecastRecord& f : nsi.forecasts) {
        for (int receiver : {placed.sender, placed.recipient}) {
            if (receiver > 0 && !MapReceiverToForecast(receiver, f.id, -1))
                return std::nullopt;
        }
    }
    return placed;
}

// The forecast's stored data go; products, receivers that are not at the top and consolidated rows.
bool ClearForecast(int id)
{
    if (!DeleteForecastData(id) || !DeleteTotalForecastsOf(id))
        return false;
    const auto receivers = LoadForecastReceivers(id);
    if (!receivers)
        return false;
    for (const CReceiverRecord& r : *receivers) {
        if (!RemoveReceiverFromForecast(r.id, id))
            return false;
    }
    return DeleteForecastProducts(id);
}

std::optional<CPlaced> StoreNsi(CNsiReceived& nsi)
{
    CTransaction transaction;
    if (!transaction.isActive())
        return std::nullopt;
    for (CForecastRecord& f : nsi.forecasts) {
        if (!SaveForecast(f))
            return std::nullopt;
    }
    if (!ClearForecast(nsi.forecastId))
        return std::nullopt;
    for (CMeasurementRecord& m : nsi.measurements) {
        if (!SaveMeasurement(m))
            return std::nullopt;
    }
    for (CMConvertRecord& c : nsi.converts) {
        if (!SaveMConvert(c, false))
            return std::nullopt;
    }
    if (!AppendProducts(nsi.products))
        return std::nullopt;
    // Documents reach the repository only once the rows that describe them are committed.
    for (CDocumentationRecord& d : nsi.documents) {
        if (!SaveDocumentation(d))
            return std::nullopt;
    }
    const auto prices = PricesToAppend(nsi.prices);
    if (!prices || !AppendPrices(*prices, {}))
        return std::nullopt;
    const auto placed = PlaceParties(nsi);
    if (!placed)
        return std::nullopt;
    if (nsi.idMaps) {
        COldIdMap map;
        if (!map.Save(*nsi.idMaps))
            return std::nullopt;
    }
    if (placed->sender > 0
        && !WriteExchangeJournal(nsi.forecastId, placed->sender, NsiTexts::kJournalComment, IEK_RECEIVED))
        return std::nullopt;
    if (!transaction.commit())
        return std::nullopt;
    return placed;
}

bool HasEarlierReceipts(int forecast)
{
    const auto rows = LoadImportStatus(SqlFilter(QStringLiteral("i.prognoz = ?"), {forecast}));
    return rows && !rows->empty();
}

} // namespace

void ImportNsiFile(CSessionState& session, QWidget* frame, const QString& path)
{
    IWorkspaceRefresh* refresh = WorkspaceRefresh();
    if (!path.isEmpty()) {
        const auto doc = OpenExchangeDocument(path, ExchangeSchemas::kNsi);
        if (!doc)
            return;
        CWaitCursor wait;
        auto nsi = ReadNsi(*doc);
        if (!nsi)
            return;
        QString question = NsiTexts::kQuestion.arg(ReceivedName(*nsi, nsi->from), ReceivedName(*nsi, nsi->to));
        question += HasEarlierReceipts(nsi->forecastId) ? NsiTexts::kRepeated : NsiTexts::kLoad;
        const bool yes = AppMessageBox(question, MB_YESNO | MB_ICONQUESTION, frame) == IDYES;
        std::optional<CPlaced> placed;
        if (yes)
            placed = StoreNsi(*nsi);
        if (placed) {
            session.currentForecastId = nsi->forecastId;
            session.ownReceiverId = placed->recipient > 0 ? placed->recipient : session.ownReceiverId;
        }
        if (refresh) {
            refresh->FillForecastCombo();
            refresh->SelectForecast(session.currentForecastId);
        }
        if (placed) {
            AppMessageBox(NsiTexts::kLoaded, MB_OK | MB_ICONINFORMATION, frame);
            if (refresh)
                refresh->ResetConsolidatedSelection();
        }
    }
    if (refresh)
        refresh->NotifyEventJournal(0);
}

void OnReceiveNsi(CSessionState& session, QWidget* frame)
{
    const QString path = ModalHook().getOpenFileName(frame, QString(), Settings().ImportDir, NsiTexts::kFileFilter);
    if (!path.isEmpty())
        ImportNsiFile(session, frame, path);
}
