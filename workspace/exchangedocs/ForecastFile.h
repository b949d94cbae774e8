// The forecast document received from a subordinate organisation, read as a stream: the program's version on the root,
// the schema validation as the parser goes, and the "prognozdata" elements one at a time, so that a large document is
// never held as a tree. Refusals come back as values with the message to show.
#pragma once

#include "ExchangeDocuments.h"

#include "tables/ForecastData.h"

#include <QString>

#include <memory>

namespace ForecastImportTexts {
inline const QString kNoData = QStringLiteral("Отсутствуют данные для загрузки!");
inline const QString kSenderMissing = QStringLiteral("Отправитель прогноза не найден в базе");
inline const QString kRecipientMissing = QStringLiteral("Получатель прогноза не найден в базе");
inline const QString kUnknownName = QStringLiteral("нет!!!");
// %1 the sender, %2 the recipient.
inline const QString kQuestion = QStringLiteral("Получен прогноз от \"%1\" для \"%2\". Загрузить?");
// %1 the sender.
inline const QString kReplaceWarning = QStringLiteral(
    "\n\nВНИМАНИЕ: Предыдущие данные от \"%1\" уже находятся в базе данных и в ходе загрузки будут уничтожены.");
// %1 the product, %2 the column's limit.
inline const QString kJoinedCommentTooLong =
    QStringLiteral("Комментарий продукта «%1» вместе с уже сохраненным комментарием длиннее %2 знаков. Прогноз не "
                   "загружен: сократите сохраненный комментарий и загрузите файл снова.");
inline const QString kLoaded = QStringLiteral("Файл %1 успешно загружен!");
inline const QString kJournalComment = QStringLiteral("Прогноз");
inline const QString kFilter = QStringLiteral("Файлы XML (*.xml)");
} // namespace ForecastImportTexts

struct CForecastFile {
    enum Status { Read, Refused, NoData };
    Status status = Refused;
    QString message; // of a refusal (stop icon) or of NoData (exclamation icon)
    int to = 0;
    int from = 0;
    int subReceiverCount = 0; // 0 when missing or not a number
    int forecast = 0;         // of the first row; every row carries it
    int rowCount = 0;
    QString path, schemaPath;
    // The rows, in document order, wait in the database (none when they could not be staged: the
    // store then reads the document again).
    std::shared_ptr<CForecastRowStage> stage;

    bool ok() const { return status == Read; }
};

// The document at `path` checked against the schema file at `schemaPath`. Refused with the messages
// of the exchange reader: the version (before any row is read), a parse failure, a validation
// failure, and also rows of more than one forecast, and a text longer than its column takes.
CForecastFile ReadForecastFile(const QString& path, const QString& schemaPath);

// The refusal to show before the question when a received comment appended to the sender's stored one
// would not fit its column (nothing could be stored); empty otherwise, also when the rows no longer
// wait in the connection.
QString JoinedCommentRefusal(const CForecastFile& file);

// Stores what the file carries as the sender's rows, in one transaction: the sender's map row with
// its sub-receiver count, every row by (forecast, sender, product) with the received comment
// appended to a stored one, and the journal row "received". False after a database error, which was
// reported once the transaction had rolled back; then nothing is stored. Rows that no longer wait in
// the connection (it was opened anew since the read) are read from the document again. Another import of the same
// sender's rows waits until this one has committed; `asked` is checked after that wait.
[[nodiscard]] bool StoreForecastFile(CForecastFile& file, const CAskedCheck& asked = {});
