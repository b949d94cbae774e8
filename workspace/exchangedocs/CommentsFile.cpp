#include "CommentsFile.h"

#include "db/DbStatistics.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/TableCommon.h"

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
        RefreshStatistics({"tfcttotalprognoz", "tfctimportstatus"});
        // Not while a consolidation of the forecast runs: it could delete a row made here between its
        // look for commented rows and its delete.
        if (!LockDerivedRows(DerivedRows::Totals, forecast))
            return false;
        for (const CTotalForecastRecord& received : file.rows) {
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
