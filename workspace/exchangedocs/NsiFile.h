// The reference data ("НСИ") of a forecast that the organisation above sent, read from its document
// and stored: the forecast's products, prices, consolidated rows and non-top receivers are replaced
// in one transaction and the sender and this organisation are placed in the receiver tree. Refusals
// come back as values with the message to show; nothing is shown here.
#pragma once

#include "ExchangeDocuments.h"
#include "ExchangeReader.h"
#include "OldIdMap.h"

#include <QString>

#include <memory>
#include <optional>

// The texts the store and the question share; the dialog's own are in NsiImport.h.
namespace NsiTexts {
inline const QString kNobody = QStringLiteral("нет!!!");
inline const QString kJournalComment = QStringLiteral("НСИ");
// A repeated load that would delete receivers still named by users' rights: "%1" lists them.
inline const QString kHeldByRights =
    QStringLiteral("НСИ не загружен: права пользователей назначены на получателей, которых загрузка удалила бы: "
                   "%1. Снимите эти права и повторите загрузку.");
// The rows read could not wait in the database until they were stored.
inline const QString kRowsNotStaged =
    QStringLiteral("НСИ не загружен: строки файла не удалось сохранить во временной таблице базы данных.");
} // namespace NsiTexts

class CRowStage;

struct CNsiFile {
    enum Status { Read, Refused };
    Status status = Refused;
    QString message; // of a refusal, shown with the stop icon
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
    // Products and prices wait in the database until they are stored, when it can hold them; the lists
    // above then stay empty.
    std::shared_ptr<CRowStage> productStage;
    std::shared_ptr<CRowStage> priceStage;
    // Where the file was read from: rows the database no longer holds are read again from there.
    QString path;
    QString schemaPath;

    bool ok() const { return status == Read; }
    // The name of the received receiver of that imported id, "нет!!!" without one.
    QString ReceivedName(int importedId) const;
};

// The document at `path` read as a stream against the schema file at `schemaPath`, one record at a
// time; a missing section is empty. Products and prices wait in temporary tables of the connection,
// which nobody else sees and which lock nothing, or without them in the lists. Refused with the
// messages of the exchange reader, also for a record with a number that does not fit or a text longer
// than its column takes.
CNsiFile ReadNsiFile(const QString& path, const QString& schemaPath);

// Whether the forecast has rows in the exchange journal, so that a load repeats an earlier one;
// false also when that cannot be read (the error is reported).
bool HasEarlierReceipts(int forecast);

// Where the store placed the parties: their ids, 0 for one not placed.
struct CNsiPlaced {
    int sender = 0;
    int recipient = 0;
};

// Stores the file in one transaction, with the journal row "received" of the sender; none after a
// database error, which was reported once the transaction had rolled back: nothing is stored then.
// Another load of the same forecast waits until this one has committed; `asked` is checked after that
// wait.
std::optional<CNsiPlaced> StoreNsiFile(CNsiFile& nsi, const CAskedCheck& asked = {});
