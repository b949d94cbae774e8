#include "ExchangeReader.h"

#include "TextUtils.h"

#include <QFile>
#include <QFileInfo>

#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

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

// The reader's parser reports its faults to the thread's last error, not to the handler above.
QString LastParserMessage()
{
    const xmlError* e = xmlGetLastError();
    if (!e || !e->message || e->domain == XML_FROM_SCHEMASV || e->domain == XML_FROM_SCHEMASP)
        return QString();
    return QString::fromUtf8(e->message).trimmed();
}

CExchangeRead Refusal(const QString& message)
{
    CExchangeRead read;
    read.status = CExchangeRead::Refused;
    read.message = message;
    return read;
}

} // namespace

CExchangeDocument::CExchangeDocument(XmlDocPtr doc)
    : m_doc(std::move(doc))
    , m_root(m_doc ? xmlDocGetRootElement(m_doc.get()) : nullptr)
{
}

QString CExchangeDocument::attribute(const char* name) const
{
    if (!m_root)
        return QString();
    xmlChar* value = xmlGetProp(m_root, BAD_CAST name);
    if (!value)
        return QString();
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

int CExchangeDocument::intAttribute(const char* name, int missing) const
{
    if (!m_root || !xmlHasProp(m_root, BAD_CAST name))
        return missing;
    return XmlToInt(attribute(name));
}

const xmlNode* CExchangeDocument::child(const char* name) const
{
    for (const xmlNode* node = m_root ? m_root->children : nullptr; node; node = node->next)
        if (node->type == XML_ELEMENT_NODE && XmlNameIs(node, name))
            return node;
    return nullptr;
}

std::vector<const xmlNode*> CExchangeDocument::children(const char* name) const
{
    std::vector<const xmlNode*> out;
    for (const xmlNode* node = m_root ? m_root->children : nullptr; node; node = node->next)
        if (node->type == XML_ELEMENT_NODE && XmlNameIs(node, name))
            out.push_back(node);
    return out;
}

XmlDocPtr ParseExchangeFile(const QString& path, QString* error)
{
    return XmlParseFile(path, error);
}

QString ReadRootChildText(const QString& path, const char* name)
{
    const CExchangeDocument doc(ParseExchangeFile(path));
    const xmlNode* node = doc.child(name);
    return node ? XmlContent(node) : QString();
}

QString FindSchemaFile(const QString& name, const SchemaChooser& choose)
{
    QString path = GetProgramFolder() + name;
    while (!QFileInfo(path).isFile()) {
        path = choose ? choose() : QString();
        if (path.isEmpty())
            return QString();
    }
    return path;
}

CExchangeRead ReadExchangeDocument(const QString& path, const QString& schemaName, const SchemaChooser& choose)
{
    const QString schema = FindSchemaFile(schemaName, choose);
    if (schema.isEmpty()) {
        CExchangeRead read;
        read.status = CExchangeRead::Cancelled;
        return read;
    }
    QString error;
    CExchangeDocument document(ParseExchangeFile(path, &error));
    if (!document.root())
        return Refusal(ExchangeTexts::kReadFailed.arg(path, error));
    if (document.attribute("version") != GetFileVersionString())
        return Refusal(ExchangeTexts::kVersionMismatch);
    if (!ValidateAgainstSchema(document.doc(), schema))
        return Refusal(ExchangeTexts::kValidationFailed);
    CExchangeRead read;
    read.status = CExchangeRead::Read;
    read.document = std::move(document);
    return read;
}

QString CStreamRoot::attribute(const char* name) const
{
    xmlChar* value = xmlTextReaderGetAttribute(m_reader, BAD_CAST name);
    if (!value)
        return QString();
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

bool CStreamRoot::hasAttribute(const char* name) const
{
    xmlChar* value = xmlTextReaderGetAttribute(m_reader, BAD_CAST name);
    xmlFree(value);
    return value != nullptr;
}

QString StreamExchangeFile(const QString& path, const QString& schemaPath, const CStreamHandler& handler)
{
    using namespace ExchangeTexts;
    // Entities are not substituted, nothing is loaded from outside and a DTD is refused. The messages
    // go to the handler below, not to standard error.
    CXmlReadResult opened;
    std::unique_ptr<xmlTextReader, ReaderCloser> owner(XmlOpenFileReader(QFile::encodeName(path).constData(), opened));
    xmlTextReaderPtr reader = owner.get();
    if (opened.status == CXmlReadResult::NotOpened)
        return kReadFailed.arg(path, QString::fromLocal8Bit(std::strerror(opened.openError)));
    if (opened.status == CXmlReadResult::Doctype)
        return kReadFailed.arg(path, kXmlDoctypeRefused);
    if (!reader)
        return kReadFailed.arg(path, QString());
    ReaderErrors errors;
    xmlTextReaderSetStructuredErrorHandler(reader, &CollectError, &errors);
    if (xmlTextReaderSchemaValidate(reader, QFile::encodeName(schemaPath).constData()) != 0)
        return kValidationFailed;

    bool rootSeen = false;
    std::string section; // the root's child the reader is in, when the handler entered it
    xmlResetLastError();
    int ret = xmlTextReaderRead(reader);
    // After a refusal the rest is only parsed: a document that is not well-formed is reported as such,
    // as a parse of the whole would report it before any validation.
    while (ret == 1 && errors.parse.isEmpty()) {
        if (errors.invalid || xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT) {
            ret = xmlTextReaderRead(reader);
            continue;
        }
        const int depth = xmlTextReaderDepth(reader);
        if (depth == 0) {
            if (!rootSeen) {
                rootSeen = true;
                // Another version's document is refused before anything of it is read.
                const CStreamRoot root(reader);
                if (root.attribute("version") != GetFileVersionString())
                    return kVersionMismatch;
                if (handler.root)
                    handler.root(root);
            }
            ret = xmlTextReaderRead(reader);
            continue;
        }
        if (depth > 2 || (depth == 2 && section.empty())) {
            ret = xmlTextReaderRead(reader);
            continue;
        }
        const char* name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
        if (depth == 1)
            section.clear();
        switch (handler.step(section.c_str(), name ? name : "")) {
        case StreamStep::Skip:
            ret = xmlTextReaderNext(reader);
            break;
        case StreamStep::Enter:
            if (depth == 1)
                section = name ? name : "";
            ret = xmlTextReaderRead(reader);
            break;
        case StreamStep::Read: {
            const std::string inside = depth == 1 ? std::string() : section;
            const xmlNode* node = xmlTextReaderExpand(reader);
            if (!node) {
                ret = -1; // the element does not end: the file was cut
                break;
            }
            const CStreamRead read = handler.read(inside.c_str(), node);
            if (read.status == CStreamRead::Refused) {
                errors.parse = read.message;
                break;
            }
            if (read.status == CStreamRead::Invalid)
                errors.invalid = true;
            ret = xmlTextReaderNext(reader);
            break;
        }
        }
    }
    const bool valid = ret == 0 && !errors.invalid && xmlTextReaderIsValid(reader) == 1;
    // A file that does not end is a read failure also when the validator has already complained about
    // the cut element.
    if (!errors.parse.isEmpty() || ret < 0)
        return kReadFailed.arg(path, errors.parse.isEmpty() ? LastParserMessage() : errors.parse);
    if (!valid)
        return kValidationFailed;
    return QString();
}
