#include "NsiFile.h"

#include "db/DbStatistics.h"
#include "db/RowStage.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"
#include "tables/TableCommon.h"

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

namespace {

// A section of the document: the list element and how one of its records is added to the file.
struct CNsiSection {
    const char* list;
    std::function<CStreamRead(const xmlNode*)> add;
    std::function<StreamPieces(const char* name)> base64 = nullptr; // of a record's child
    // The element of a record, and the table its texts go to.
    const char* element = nullptr;
    const char* table = nullptr;
};

// Records of another element inside a section are passed by, as a list read has always done; a
// record with a number or a text that does not fit refuses the document with the reader's message.
template <class R>
CNsiSection Section(std::vector<R>& list, std::function<void(R&)> complete = nullptr)
{
    return {XmlFormatOf<R>().list,
            [&list, complete](const xmlNode* node) {
                CStreamRead read;
                if (auto rec = ReadXmlToStore<R>(node, &read.message)) {
                    if (complete)
                        complete(*rec);
                    list.push_back(std::move(*rec));
                } else if (!read.message.isEmpty())
                    read.status = CStreamRead::Refused;
                return read;
            },
            nullptr, XmlFormatOf<R>().element, XmlFormatOf<R>().table};
}

// A document's content is decoded as the parser reads it: its base64 text is never held whole.
CNsiSection DocumentsSection(std::vector<CDocumentationRecord>& list, CReceivedContent& content)
{
    CNsiSection section = Section<CDocumentationRecord>(list, [&content](auto& rec) { content.MoveInto(rec); });
    section.base64 = [&content](const char* name) -> StreamPieces {
        if (!content.Starts(name))
            return nullptr;
        return [&content](const char* text, std::size_t length) {
            content.Feed(text, qsizetype(length));
            return true;
        };
    };
    return section;
}

// A section whose records wait in a stage of the database, made at its first record; in the list
// when none can be made. A stage that fails later is no longer ready, and the store reads the rows
// again.
struct CStagedRows {
    std::shared_ptr<CRowStage>& stage;
    bool tried = false;
    bool finished = false;
    // The rows found no room in the temporary space: the document is refused with this, not blamed.
    QString shortage;

    void Finish()
    {
        if (stage && !std::exchange(finished, true) && !stage->Finish())
            Lost();
    }
    bool Lost()
    {
        shortage = stage->shortage();
        if (!shortage.isEmpty())
            stage.reset();
        return !shortage.isEmpty();
    }
};

template <class R>
CNsiSection StagedSection(std::vector<R>& list, CStagedRows& rows, std::unique_ptr<CRowStage> (*start)(),
                          bool (*put)(CRowStage&, R&))
{
    return {XmlFormatOf<R>().list,
            [&list, &rows, start, put](const xmlNode* node) {
                CStreamRead read;
                auto rec = ReadXmlToStore<R>(node, &read.message);
                if (!rec) {
                    if (!read.message.isEmpty())
                        read.status = CStreamRead::Refused;
                    return read;
                }
                if (!std::exchange(rows.tried, true))
                    rows.stage = start();
                if (!rows.stage)
                    list.push_back(std::move(*rec));
                else if (!put(*rows.stage, *rec) && rows.Lost())
                    read.status = CStreamRead::Refused;
                return read;
            },
            nullptr, XmlFormatOf<R>().element, XmlFormatOf<R>().table};
}

bool PutPrice(CRowStage& stage, CPriceRecord& rec)
{
    return StagePrice(stage, rec);
}

const CReceiverRecord* Received(const CNsiFile& nsi, int importedId)
{
    const auto found = std::find_if(nsi.receivers.begin(), nsi.receivers.end(),
                                    [&](const CReceiverRecord& r) { return r.importedId == importedId; });
    return found != nsi.receivers.end() ? &*found : nullptr;
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

// Sender and recipient in the receiver tree of the forecast: a recipient already below the stored
// sender, or already at the top of this forecast, is mapped again; otherwise it comes in at the
// top. A sender not stored yet comes in unplaced. None after a database error.
std::optional<CNsiPlaced> PlaceParties(const CNsiFile& nsi)
{
    const int id = nsi.forecastId;
    const auto s = GetReceiverByImportedId(nsi.from);
    std::optional<CReceiverRecord> r = GetForecastReceiverByImportedId(nsi.to, id);
    if (!r || r->category != 0)
        r = GetReceiverByImportedId(nsi.to);
    CNsiPlaced placed;
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

// Receivers that rights rows name cannot be deleted: the load is refused with their names, before
// anything is written.
bool NoReceiverHeldByRights(int id)
{
    const auto held = LoadReceiversHeldByRights(id);
    if (!held)
        return false;
    if (held->empty())
        return true;
    QStringList names;
    for (const CReceiverRecord& r : *held)
        names << QStringLiteral("\"%1\" (id %2)").arg(r.name).arg(r.id);
    ReportComError(DbError{0, NsiTexts::kHeldByRights.arg(names.join(QStringLiteral(", "))), QString()});
    return false;
}

// The forecast's stored data go; products, receivers that are not at the top and consolidated rows.
// Staged products that come again stay, for the append to rewrite.
bool ClearForecast(int id, const CRowStage* products)
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
    return products ? DeleteForecastProductsNotStaged(id, *products) : DeleteForecastProducts(id);
}

template <class R, class Save>
bool SaveEach(std::vector<R>& list, Save save)
{
    return std::all_of(list.begin(), list.end(), save);
}

std::optional<CNsiPlaced> StoreRows(CNsiFile& nsi)
{
    if (!NoReceiverHeldByRights(nsi.forecastId)
        || !SaveEach(nsi.forecasts, [](CForecastRecord& f) { return SaveForecast(f); })
        || !ClearForecast(nsi.forecastId, nsi.productStage.get())
        || !SaveEach(nsi.measurements, [](CMeasurementRecord& m) { return SaveMeasurement(m); })
        || !SaveEach(nsi.converts, &SaveReceivedMConvert)
        || !(nsi.productStage ? AppendStagedProducts(*nsi.productStage, nsi.forecastId) : AppendProducts(nsi.products))
        // Documents reach the repository only once the rows that describe them are committed.
        || !SaveEach(nsi.documents, [](CDocumentationRecord& d) { return SaveDocumentation(d); }))
        return std::nullopt;
    if (nsi.priceStage) {
        if (!AppendStagedPrices(*nsi.priceStage))
            return std::nullopt;
    } else if (const auto prices = PricesToAppend(nsi.prices); !prices || !AppendPrices(*prices, {})) {
        return std::nullopt;
    }
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
    return placed;
}

} // namespace

QString CNsiFile::ReceivedName(int importedId) const
{
    // The last record of the id, as the question has always named it.
    const auto found = std::find_if(receivers.rbegin(), receivers.rend(),
                                    [&](const CReceiverRecord& r) { return r.importedId == importedId; });
    return found != receivers.rend() ? found->name : NsiTexts::kNobody;
}

CNsiFile ReadNsiFile(const QString& path, const QString& schemaPath)
{
    CNsiFile nsi;
    nsi.path = path;
    nsi.schemaPath = schemaPath;
    CReceivedContent content;
    CStagedRows products{nsi.productStage, false, false, {}};
    CStagedRows prices{nsi.priceStage, false, false, {}};
    // A stage's rows are complete when its section ends: the server's COPY holds the connection.
    const auto finishStages = [&] {
        products.Finish();
        prices.Finish();
    };
    const std::vector<CNsiSection> sections{StagedSection(nsi.products, products, &StartProductStage, &StageProduct),
                                            Section(nsi.measurements),
                                            Section(nsi.converts),
                                            DocumentsSection(nsi.documents, content),
                                            StagedSection(nsi.prices, prices, &StartPriceStage, &PutPrice),
                                            Section(nsi.forecasts),
                                            Section(nsi.receivers)};
    // Only the first element of each section is read, as a tree reader finds it.
    std::set<const CNsiSection*> seen;
    const CNsiSection* current = nullptr;
    const auto find = [&](const char* name) -> const CNsiSection* {
        for (const CNsiSection& s : sections)
            if (xmlStrcasecmp(BAD_CAST name, BAD_CAST s.list) == 0)
                return &s;
        return nullptr;
    };
    bool mapSeen = false;
    CStreamHandler handler;
    handler.root = [&](const CStreamRoot& root) {
        nsi.to = XmlToInt(root.attribute("to"));
        nsi.from = XmlToInt(root.attribute("from"));
        nsi.forecastId = XmlToInt(root.attribute("id"));
    };
    handler.step = [&](const char* section, const char* name) {
        if (*section)
            return StreamStep::Read;
        finishStages();
        if (xmlStrcasecmp(BAD_CAST name, BAD_CAST XmlNames::kOld2NewIdMap) == 0)
            return std::exchange(mapSeen, true) ? StreamStep::Skip : StreamStep::Read;
        current = find(name);
        return current && seen.insert(current).second ? StreamStep::Enter : StreamStep::Skip;
    };
    handler.read = [&](const char* section, const xmlNode* node) {
        if (!*section) {
            nsi.idMaps = COldIdMap::Load(node);
            return CStreamRead{};
        }
        return current->add(node);
    };
    handler.base64 = [&](const char* section, const char* name) {
        return *section && current->base64 ? current->base64(name) : nullptr;
    };
    handler.table = [&](const char* section, const char* name) -> const char* {
        return *section && xmlStrcasecmp(BAD_CAST name, BAD_CAST current->element) == 0 ? current->table : nullptr;
    };
    nsi.message = StreamExchangeFile(path, schemaPath, handler);
    finishStages();
    if (const QString& shortage = products.shortage.isEmpty() ? prices.shortage : products.shortage;
        !shortage.isEmpty())
        nsi.message = shortage;
    if (!nsi.message.isEmpty())
        return nsi;
    // The sender's own id travels in "from"; its record may carry the id it was imported under. The
    // writer puts the sender first, so without a record of that id the first one is the sender, and
    // it keeps "from" so that later documents that name it find it.
    if (!Received(nsi, nsi.from) && !nsi.receivers.empty())
        nsi.receivers.front().importedId = nsi.from;
    nsi.status = CNsiFile::Read;
    return nsi;
}

bool HasEarlierReceipts(int forecast)
{
    const auto rows = LoadImportStatus(SqlFilter(QStringLiteral("i.prognoz = ?"), {forecast}));
    return rows && !rows->empty();
}

namespace {

// Staged rows that the connection no longer holds (it was opened again since the file was read, or a
// stage failed) are read from the file again; false, with the refusal reported, when that fails.
bool StagedRowsHeld(CNsiFile& nsi)
{
    const auto lost = [](const std::shared_ptr<CRowStage>& stage) { return stage && !stage->ready(); };
    if (!lost(nsi.productStage) && !lost(nsi.priceStage))
        return true;
    CNsiFile again = ReadNsiFile(nsi.path, nsi.schemaPath);
    if (!again.ok()) {
        ReportComError(DbError{0, again.message, QString()});
        return false;
    }
    nsi.products = std::move(again.products);
    nsi.prices = std::move(again.prices);
    nsi.productStage = std::move(again.productStage);
    nsi.priceStage = std::move(again.priceStage);
    if (!lost(nsi.productStage) && !lost(nsi.priceStage))
        return true;
    ReportComError(DbError{0, NsiTexts::kRowsNotStaged, QString()});
    return false;
}

} // namespace

std::optional<CNsiPlaced> StoreNsiFile(CNsiFile& nsi, const CAskedCheck& asked)
{
    if (!StagedRowsHeld(nsi))
        return std::nullopt;
    std::optional<CNsiPlaced> placed;
    if (!StoreInOneTransaction([&] {
            RefreshStatistics({"tfctprognoz", "tclsproduct", "tfctprice", "tclsreceiver", "tclsreceivermap",
                               "tfctprognozdata", "tfcttotalprognoz", "tclsmeasurement", "tclsmconvert",
                               "tfctdocumentation", "tfctimportstatus", "tfctoldimportmap"});
            // Reference data change every derived row of the forecast: no other load or
            // recalculation of it runs meanwhile, and the question's view of earlier loads holds.
            if (!LockDerivedRows(DerivedRows::WholeForecast, nsi.forecastId) || !asked.Holds())
                return false;
            return (placed = StoreRows(nsi)).has_value();
        }))
        return std::nullopt;
    return placed;
}
