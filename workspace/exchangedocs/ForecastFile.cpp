#include "ForecastFile.h"

#include "ExchangeReader.h"
#include "TextUtils.h"
#include "db/DbStatistics.h"
#include "db/TextLimits.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"
#include "tables/TableCommon.h"

using namespace ForecastImportTexts;

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
    file.path = path;
    file.schemaPath = schemaPath;
    auto stage = std::make_shared<CForecastRowStage>();
    if (!stage->Start())
        stage.reset();
    // The rows found no room in the temporary space: the document is not at fault, and reading it
    // again at the answer would fail the same way.
    QString shortage;
    const auto lost = [&] {
        shortage = stage->shortage();
        stage.reset();
        return !shortage.isEmpty();
    };
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
    handler.table = [](const char*, const char*) { return XmlFormatOf<CForecastDataRecord>().table; };
    handler.readFields = [&](const char*, CXmlFlatRecord record) {
        CStreamRead read;
        auto rec = ReadXmlToStore<CForecastDataRecord>(record, &read.message);
        if (!rec) {
            read.status = read.message.isEmpty() ? CStreamRead::Invalid : CStreamRead::Refused;
            return read;
        }
        if (file.rowCount == 0)
            file.forecast = rec->prognoz;
        else if (rec->prognoz != file.forecast) {
            // The rows would go into another forecast than the one the question names.
            read.status = CStreamRead::Invalid;
            return read;
        }
        if (stage && !stage->Add(*rec) && lost()) {
            read.status = CStreamRead::Refused;
            return read;
        }
        ++file.rowCount;
        return read;
    };
    const QString refusal = StreamExchangeFile(path, schemaPath, handler);
    if (!shortage.isEmpty())
        return Refused(shortage);
    if (!refusal.isEmpty())
        return Refused(refusal);
    if (file.rowCount == 0) {
        file.status = CForecastFile::NoData;
        file.message = ForecastImportTexts::kNoData;
        return file;
    }
    if (stage && stage->Finish())
        file.stage = std::move(stage);
    else if (stage && lost())
        return Refused(shortage);
    file.status = CForecastFile::Read;
    return file;
}

namespace {

// The rows staged again from the document when they no longer wait in the connection; false, with
// the failure reported, when the document no longer reads as it did.
bool StageAgain(CForecastFile& file)
{
    if (file.stage && file.stage->ready())
        return true;
    file.stage.reset();
    CForecastFile again = ReadForecastFile(file.path, file.schemaPath);
    const bool same = again.ok() && again.to == file.to && again.from == file.from
        && again.subReceiverCount == file.subReceiverCount && again.forecast == file.forecast
        && again.rowCount == file.rowCount;
    if (same && again.stage) {
        file.stage = std::move(again.stage);
        return true;
    }
    ReportComError(QSqlError(QString(),
                             again.ok() ? ExchangeTexts::kReadFailed.arg(file.path, QString()) : again.message,
                             QSqlError::UnknownError));
    return false;
}

} // namespace

QString JoinedCommentRefusal(const CForecastFile& file)
{
    if (!file.stage || !file.stage->ready())
        return QString();
    const auto product = CommentTooLongWhenJoined(file.forecast, file.from, file.stage);
    return product && !product->isEmpty()
        ? kJoinedCommentTooLong.arg(*product).arg(TextLimitOf("tfctprognozdata", "comment"))
        : QString();
}

bool StoreForecastFile(CForecastFile& file, const CAskedCheck& asked)
{
    if (!StageAgain(file))
        return false;
    const int forecast = file.forecast;
    const int sender = file.from;
    return StoreInOneTransaction([&] {
        RefreshStatistics({"tfctprognozdata", "tclsreceivermap", "tfctimportstatus"});
        // The sender's rows are written by one import at a time: the question's view of them holds.
        if (!LockDerivedRows(DerivedRows::ReceiverGroups, forecast, sender) || !asked.Holds())
            return false;
        return MapReceiverToForecast(sender, forecast, file.subReceiverCount)
            && SaveReceiverForecastData(forecast, sender, file.stage)
            && WriteExchangeJournal(forecast, sender, ForecastImportTexts::kJournalComment, IEK_RECEIVED);
    });
}
