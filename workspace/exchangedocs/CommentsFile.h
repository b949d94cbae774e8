// The comments that the organisation above sent on single products of this organisation's figures,
// read from their document and stored on the consolidated rows of the products. Refusals come back
// as values with the message to show; nothing is shown here.
#pragma once

#include "ExchangeReader.h"

#include <vector>

// One received comment: no more than the store needs, so that a large document stays small.
struct CReceivedComment {
    int product = 0;
    QString comment;
};

struct CCommentsFile {
    enum Status { Read, Refused, NoData };
    Status status = Refused;
    QString message; // of a refusal (stop icon) or of NoData (exclamation icon)
    int to = 0;      // the parties by the ids they were imported under
    int from = 0;
    int forecast = 0;
    std::vector<CReceivedComment> rows;

    bool ok() const { return status == Read; }
};

// The comment document at `path` read as a stream against the schema file at `schemaPath`, one row at a
// time (the root's children "prognozdata"). Refused with the messages of the exchange reader, also for
// a comment longer than its column takes; NoData without any row.
CCommentsFile ReadCommentsFile(const QString& path, const QString& schemaPath);
// The same of a document read whole (ReadExchangeDocument); NoData without any row.
CCommentsFile ReadCommentsFile(const CExchangeDocument& doc);

// Each row's comment on the forecast's consolidated row of its product, and the journal row
// "received" of the sender, in one transaction. False after a database error, which was reported
// once the transaction had rolled back; then nothing is stored.
[[nodiscard]] bool StoreCommentsFile(const CCommentsFile& file, int senderId);

// The texts of the reader and the store; the dialog's own are in CommentsExchange.h.
namespace CommentTexts {
inline const QString kJournalComment = QStringLiteral("Комментарии к прогнозу");
inline const QString kNoData = QStringLiteral("Отсутствуют данные для загрузки!");
} // namespace CommentTexts
