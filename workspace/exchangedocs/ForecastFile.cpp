#include "ForecastFile.h"

#include "ExchangeReader.h"
#include "TextUtils.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"

#include <QFile>

#include <libxml/xmlreader.h>

#include <cstring>

namespace {

struct ReaderErrors {
    QString parse; // the first message of the parser
    bool invalid = false;
};

void CollectError(void* context, xmlErrorPtr error)
{
    auto* errors = static_cast<ReaderErrors*>(context);
    if (!error || error->level == XML_ERR_WARNING)
        return;
    if (error->domain == XML_FROM_SCHEMASV || error->domain == XML_FROM_SCHEMASP) {
        errors->invalid = true;
        return;
    }
    if (errors->parse.isEmpty())
        errors->parse = error->message ? QString::fromUtf8(error->message).trimmed() : QStringLiteral("?");
}

struct ReaderCloser {
    void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};

QString Attribute(xmlTextReaderPtr reader, const char* name)
{
    xmlChar* value = xmlTextReaderGetAttribute(reader, BAD_CAST name);
    if (!value)
        return QString();
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// The reader's parser reports its faults to the thread's last error, not to the handler above.
QString LastParserMessage()
{
    const xmlError* e = xmlGetLastError();
    if (!e || !e->message || e->domain == XML_FROM_SCHEMASV || e->domain == XML_FROM_SCHEMASP)
        return QString();
    return QString::fromUtf8(e->message).trimmed();
}

CForecastFile Refused(const QString& message)
{
    CForecastFile file;
    file.message = message;
    return file;
}

} // namespace

CForecastFile ReadForecastFile(const QString& path, const QString& schemaPath)
{
    using namespace ExchangeTexts;
    // Entities are not substituted, nothing is loaded from outside and a DTD is refused. The messages
    // go to the handler below, not to standard error.
    CXmlReadResult opened;
    std::unique_ptr<xmlTextReader, ReaderCloser> owner(XmlOpenFileReader(QFile::encodeName(path).constData(), opened));
    xmlTextReaderPtr reader = owner.get();
    if (opened.status == CXmlReadResult::NotOpened)
        return Refused(kReadFailed.arg(path, QString::fromLocal8Bit(std::strerror(opened.openError))));
    if (opened.status == CXmlReadResult::Doctype)
        return Refused(kReadFailed.arg(path, kXmlDoctypeRefused));
    if (!reader)
        return Refused(kReadFailed.arg(path, QString()));
    ReaderErrors errors;
    xmlTextReaderSetStructuredErrorHandler(reader, &CollectError, &errors);
    if (xmlTextReaderSchemaValidate(reader, QFile::encodeName(schemaPath).constData()) != 0)
        return Refused(kValidationFailed);

    CForecastFile file;
    bool rootSeen = false;
    xmlResetLastError();
    int ret = xmlTextReaderRead(reader);
    // After a refusal the rest is only parsed: a document that is not well-formed is reported as such,
    // as a parse of the whole would report it before any validation.
    while (ret == 1 && errors.parse.isEmpty()) {
        if (errors.invalid) {
            ret = xmlTextReaderRead(reader);
            continue;
        }
        if (xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT) {
            ret = xmlTextReaderRead(reader);
            continue;
        }
        const int depth = xmlTextReaderDepth(reader);
        if (depth == 0 && !rootSeen) {
            rootSeen = true;
            // Another version's document is refused before anything of it is read.
            if (Attribute(reader, "version") != GetFileVersionString())
                return Refused(kVersionMismatch);
            file.to = XmlToInt(Attribute(reader, "to"));
            file.from = XmlToInt(Attribute(reader, "from"));
            file.subReceiverCount = XmlToInt(Attribute(reader, "subReceiverCount"));
        } else if (depth == 1
                   && xmlStrcasecmp(xmlTextReaderConstLocalName(reader), BAD_CAST XmlNames::kForecastData) == 0) {
            const xmlNode* node = xmlTextReaderExpand(reader);
            if (!node) {
                ret = -1; // the element does not end: the file was cut
                break;
            }
            QString invalid;
            auto rec = ReadXml<CForecastDataRecord>(node, &invalid);
            if (!rec) {
                if (!invalid.isEmpty())
                    errors.parse = invalid;
                else
                    errors.invalid = true;
                continue;
            }
            if (file.rows.empty())
                file.forecast = rec->prognoz;
            else if (rec->prognoz != file.forecast) {
                // The rows would go into another forecast than the one the question names.
                errors.invalid = true;
                ret = xmlTextReaderNext(reader);
                continue;
            }
            file.rows.push_back(std::move(*rec));
            ret = xmlTextReaderNext(reader);
            continue;
        }
        ret = xmlTextReaderRead(reader);
    }
    const bool valid = ret == 0 && !errors.invalid && xmlTextReaderIsValid(reader) == 1;
    // A file that does not end is a read failure also when the validator has already complained about
    // the cut element.
    if (!errors.parse.isEmpty() || ret < 0)
        return Refused(kReadFailed.arg(path, errors.parse.isEmpty() ? LastParserMessage() : errors.parse));
    if (!valid)
        return Refused(kValidationFailed);
    if (file.rows.empty()) {
        file.status = CForecastFile::NoData;
        file.message = ForecastImportTexts::kNoData;
        return file;
    }
    file.status = CForecastFile::Read;
    return file;
}

bool StoreForecastFile(CForecastFile& file)
{
    const int forecast = file.forecast;
    const int sender = file.from;
    return StoreInOneTransaction([&] {
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
            if (!SaveForecastData(row, false))
                return false;
        }
        return WriteExchangeJournal(forecast, sender, ForecastImportTexts::kJournalComment, IEK_RECEIVED);
    });
}
