#include "ForecastFile.h"

#include "ExchangeReader.h"
#include "TextUtils.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/ReceiverMap.h"

#include <QFile>

#include <libxml/xmlreader.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

struct ReaderCloser {
    void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};

// A regular file only: a pipe or a device would never end.
int OpenDocument(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st { };
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    return fd;
}

QString Attribute(xmlTextReaderPtr reader, const char* name)
{
    xmlChar* value = xmlTextReaderGetAttribute(reader, BAD_CAST name);
    if (!value)
        return QString();
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
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
    XmlUseNoNetworkLoader();
    const int fd = OpenDocument(path);
    if (fd < 0)
        return Refused(kReadFailed.arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    const FdCloser closer{fd}; // after the reader, which does not close it
    // Entities are not substituted and nothing is loaded from outside; a DTD is refused below. The
    // messages go to the handler below, not to standard error.
    std::unique_ptr<xmlTextReader, ReaderCloser> owner(
        xmlReaderForFd(fd, nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_HUGE));
    xmlTextReaderPtr reader = owner.get();
    if (!reader)
        return Refused(kReadFailed.arg(path, QString()));
    ReaderErrors errors;
    xmlTextReaderSetStructuredErrorHandler(reader, &CollectError, &errors);
    if (xmlTextReaderSchemaValidate(reader, QFile::encodeName(schemaPath).constData()) != 0)
        return Refused(kValidationFailed);

    CForecastFile file;
    bool rootSeen = false;
    int ret = xmlTextReaderRead(reader);
    // After a refusal the rest is only parsed: a document that is not well-formed is reported as such,
    // as a parse of the whole would report it before any validation.
    while (ret == 1 && errors.parse.isEmpty()) {
        if (errors.invalid) {
            ret = xmlTextReaderRead(reader);
            continue;
        }
        const int type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
            errors.parse = kXmlDoctypeRefused;
            break;
        }
        if (type != XML_READER_TYPE_ELEMENT) {
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
    if (!errors.parse.isEmpty() || (ret < 0 && !errors.invalid))
        return Refused(kReadFailed.arg(path, errors.parse));
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
