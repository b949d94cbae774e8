// The comments that the organisation above sent on single products of this organisation's figures,
// read from their document and stored on the consolidated rows of the products. Refusals come back
// as values with the message to show; nothing is shown here.
#pragma once

#include "ExchangeReader.h"
#include "tables/TotalForecasts.h"

struct CCommentsFile {
    enum Status { Read, NoData };
    Status status = NoData;
    QString message; // of NoData, shown with the exclamation icon
    int to = 0;      // the parties by the ids they were imported under
    int from = 0;
    int forecast = 0;
    CTotalForecastList rows; // product and comment of each

    bool ok() const { return status == Read; }
};

// The rows of a validated comment document; NoData without any (or with one that does not read).
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
