#include "CommentsFile.h"

#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"

#include <map>

CCommentsFile ReadCommentsFile(const CExchangeDocument& doc)
{
    CCommentsFile file;
    file.to = doc.intAttribute("to");
    file.from = doc.intAttribute("from");
    file.forecast = doc.intAttribute("forecast");
    auto rows = ReadTotalForecastCommentsXml(doc.child(XmlNames::kForecastData));
    if (!rows || rows->empty()) {
        file.message = CommentTexts::kNoData;
        return file;
    }
    file.rows = std::move(*rows);
    file.status = CCommentsFile::Read;
    return file;
}

bool StoreCommentsFile(const CCommentsFile& file, int senderId)
{
    const int forecast = file.forecast;
    return StoreInOneTransaction([&] {
        // The stored rows in one statement rather than a look-up per received row.
        const auto stored = LoadTotalForecasts(SqlFilter(QStringLiteral("prognoz = ?"), {forecast}));
        if (!stored)
            return false;
        std::map<int, CTotalForecastRecord> byProduct;
        for (const CTotalForecastRecord& row : *stored)
            byProduct.emplace(row.product, row);
        for (const CTotalForecastRecord& received : file.rows) {
            auto [found, added] = byProduct.try_emplace(received.product);
            CTotalForecastRecord& row = found->second;
            if (added) {
                row.prognoz = forecast;
                row.product = received.product;
            }
            row.comment = received.comment;
            if (!SaveTotalForecast(row))
                return false;
        }
        return WriteExchangeJournal(forecast, senderId, CommentTexts::kJournalComment, IEK_RECEIVED);
    });
}
