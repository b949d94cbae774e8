#include "ForecastFile.h"

#include "ExchangeReader.h"
#include "TextUtils.h"
#include "db/DbStatistics.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"
#include "tables/TableCommon.h"

namespace {

CForecastFile Refused(const QString& message)
{
    CForecastFile file;
    file.message = message;
    return file;
}

} // namespace

CForecastFile ReadForecastFile(const QString& path, const QString& schemaPath)
{
    CForecastFile file;
    auto stage = std::make_shared<CForecastRowStage>();
    if (!stage->Start())
        stage.reset();
    CStreamHandler handler;
    handler.root = [&](const CStreamRoot& root) {
        file.to = XmlToInt(root.attribute("to"));
        file.from = XmlToInt(root.attribute("from"));
        file.subReceiverCount = XmlToInt(root.attribute("subReceiverCount"));
    };
    handler.step = [](const char*, const char* name) {
        return xmlStrcasecmp(BAD_CAST name, BAD_CAST XmlNames::kForecastData) == 0 ? StreamStep::Read
                                                                                   : StreamStep::Skip;
    };
    handler.read = [&](const char*, const xmlNode* node) {
        CStreamRead read;
        auto rec = ReadXml<CForecastDataRecord>(node, &read.message);
        if (!rec) {
            read.status = read.message.isEmpty() ? CStreamRead::Invalid : CStreamRead::Refused;
            return read;
        }
        if (file.rows.empty())
            file.forecast = rec->prognoz;
        else if (rec->prognoz != file.forecast) {
            // The rows would go into another forecast than the one the question names.
            read.status = CStreamRead::Invalid;
            return read;
        }
        if (stage && !stage->Add(*rec))
            stage.reset();
        file.rows.push_back(std::move(*rec));
        return read;
    };
    const QString refusal = StreamExchangeFile(path, schemaPath, handler);
    if (!refusal.isEmpty())
        return Refused(refusal);
    if (file.rows.empty()) {
        file.status = CForecastFile::NoData;
        file.message = ForecastImportTexts::kNoData;
        return file;
    }
    file.status = CForecastFile::Read;
    if (stage && stage->Finish())
        file.stage = std::move(stage);
    return file;
}

bool StoreForecastFile(CForecastFile& file, const CAskedCheck& asked)
{
    const int forecast = file.forecast;
    const int sender = file.from;
    return StoreInOneTransaction([&] {
        RefreshStatistics({"tfctprognozdata", "tclsreceivermap", "tfctimportstatus"});
        // The sender's rows are written by one import at a time: the question's view of them holds.
        if (!LockDerivedRows(DerivedRows::ReceiverGroups, forecast, sender) || !asked.Holds())
            return false;
        if (!MapReceiverToForecast(sender, forecast, file.subReceiverCount))
            return false;
        const auto comments = LoadForecastComments(forecast, sender);
        if (!comments)
            return false;
        for (CForecastDataRecord& row : file.rows) {
            row.receiver = sender;
            const auto stored = comments->constFind(row.product);
            if (stored != comments->cend())
                row.comment = *stored + row.comment;
        }
        return SaveReceiverForecastData(file.rows, *comments, file.stage.get())
            && WriteExchangeJournal(forecast, sender, ForecastImportTexts::kJournalComment, IEK_RECEIVED);
    });
}
