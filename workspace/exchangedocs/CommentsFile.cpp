#include "CommentsFile.h"

#include "db/DbStatistics.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/TableCommon.h"
#include "tables/TotalForecasts.h"

#include "TextUtils.h"

namespace {

// Read, or NoData without a row.
CCommentsFile WithRows(CCommentsFile file)
{
    file.status = file.rows.empty() ? CCommentsFile::NoData : CCommentsFile::Read;
    file.message = file.rows.empty() ? CommentTexts::kNoData : QString();
    return file;
}

} // namespace

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
    handler.table = [](const char*, const char*) { return "tfcttotalprognoz"; };
    const CTotalForecastRecord blank;
    handler.read = [&](const char*, const xmlNode* node) {
        CStreamRead read;
        if (auto rec = ReadTotalForecastCommentXml(node, blank, &read.message))
            file.rows.push_back({rec->product, std::move(rec->comment)});
        else if (!read.message.isEmpty())
            read.status = CStreamRead::Refused;
        return read;
    };
    file.message = StreamExchangeFile(path, schemaPath, handler);
    return file.message.isEmpty() ? WithRows(std::move(file)) : file;
}

CCommentsFile ReadCommentsFile(const CExchangeDocument& doc)
{
    CCommentsFile file;
    file.to = doc.intAttribute("to");
    file.from = doc.intAttribute("from");
    file.forecast = doc.intAttribute("forecast");
    if (auto rows = ReadTotalForecastCommentsXml(doc.child(XmlNames::kTotalForecastData)))
        for (CTotalForecastRecord& rec : *rows)
            file.rows.push_back({rec.product, std::move(rec.comment)});
    return WithRows(std::move(file));
}

bool StoreCommentsFile(const CCommentsFile& file, int senderId)
{
    const int forecast = file.forecast;
    return StoreInOneTransaction([&] {
        RefreshStatistics({"tfcttotalprognoz", "tfctimportstatus"});
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
