#include "CommentsFile.h"

#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/TableCommon.h"
#include "tables/TotalForecasts.h"

#include "TextUtils.h"

CCommentsFile ReadCommentsFile(const QString& path, const QString& schemaPath)
{
    CCommentsFile file;
    CStreamHandler handler;
    handler.root = [&](const CStreamRoot& root) {
        file.to = XmlToInt(root.attribute("to"));
        file.from = XmlToInt(root.attribute("from"));
        file.forecast = XmlToInt(root.attribute("forecast"));
    };
    handler.step = [](const char*, const char* name) {
        return xmlStrcasecmp(BAD_CAST name, BAD_CAST XmlNames::kTotalForecastData) == 0 ? StreamStep::Read
                                                                                        : StreamStep::Skip;
    };
    const CTotalForecastRecord blank;
    handler.read = [&](const char*, const xmlNode* node) {
        if (auto rec = ReadTotalForecastCommentXml(node, blank))
            file.rows.push_back({rec->product, std::move(rec->comment)});
        return CStreamRead{};
    };
    file.message = StreamExchangeFile(path, schemaPath, handler);
    if (!file.message.isEmpty())
        return file;
    if (file.rows.empty()) {
        file.status = CCommentsFile::NoData;
        file.message = CommentTexts::kNoData;
        return file;
    }
    file.status = CCommentsFile::Read;
    return file;
}

bool StoreCommentsFile(const CCommentsFile& file, int senderId)
{
    const int forecast = file.forecast;
    return StoreInOneTransaction([&] {
        // Not while a consolidation of the forecast runs: it could delete a row made here between its
        // look for commented rows and its delete.
        if (!LockDerivedRows(DerivedRows::Totals, forecast))
            return false;
        for (const CReceivedComment& received : file.rows) {
            CTotalForecastRecord row;
            row.prognoz = forecast;
            row.product = received.product;
            row.comment = received.comment;
            if (!SaveTotalForecastComment(row))
                return false;
        }
        return WriteExchangeJournal(forecast, senderId, CommentTexts::kJournalComment, IEK_RECEIVED);
    });
}
