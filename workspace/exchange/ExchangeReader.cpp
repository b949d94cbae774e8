#include "ExchangeReader.h"

#include "TextUtils.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// No network, entities left unexpanded, no DTD loaded; messages come back as values. A stored
// document travels as one base64 text node, which may pass libxml2's default limit of 10 MB: the
// limit is lifted, which is safe as no document with a DTD (and so no entity) is read.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;

// For the whole process: whatever libxml2 loads (a schema the user picks and what it includes
// among it) never goes to the network.
void UseNoNetworkLoader()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader); });
}

// Schema messages go to the trace output, never to the user.
void TraceSchemaError(void*, xmlErrorPtr error)
{
    if (error && error->message)
        qDebug().noquote() << "XSD" << (error->file ? error->file : "") << error->line
                           << QString::fromUtf8(error->message).trimmed();
}

// A DOCTYPE stops the parser before the internal subset is read: no entity of it is declared,
// expanded or loaded.
void RefuseInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    *static_cast<bool*>(parser->_private) = true;
    xmlStopParser(parser);
}

struct ParserDeleter {
    void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};

// Regular files only: a pipe or a device would never end.
int OpenRegularFile(const QString& path)
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

} // namespace

bool ValidateAgainstSchema(xmlDoc* doc, const QString& schemaPath)
{
    UseNoNetworkLoader();
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QFile::encodeName(schemaPath).constData());
    if (!parser)
        return false;
    xmlSchemaSetParserStructuredErrors(parser, &TraceSchemaError, nullptr);
    xmlSchemaPtr schema = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    if (!schema)
        return false;
    int result = -1;
    if (xmlSchemaValidCtxtPtr valid = xmlSchemaNewValidCtxt(schema)) {
        xmlSchemaSetValidStructuredErrors(valid, &TraceSchemaError, nullptr);
        result = xmlSchemaValidateDoc(valid, doc);
        xmlSchemaFreeValidCtxt(valid);
    }
    xmlSchemaFree(schema);
    return result == 0;
}

namespace {

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
    UseNoNetworkLoader();
    std::unique_ptr<xmlParserCtxt, ParserDeleter> parser(xmlNewParserCtxt());
    if (!parser) {
        if (error)
            *error = QStringLiteral("out of memory");
        return nullptr;
    }
    bool doctype = false;
    parser->_private = &doctype;
    parser->sax->internalSubset = &RefuseInternalSubset;
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
        return nullptr;
    }
    XmlDocPtr doc(xmlCtxtReadFd(parser.get(), fd, nullptr, nullptr, kParseOptions));
    ::close(fd);
    if (doc && !doctype && xmlDocGetRootElement(doc.get()))
        return doc;
    if (error) {
        if (doctype)
            *error = ExchangeTexts::kDoctypeRefused;
        else if (const xmlError* e = xmlCtxtGetLastError(parser.get()); e && e->message)
            *error = QString::fromUtf8(e->message).trimmed();
        else
            error->clear();
    }
    return nullptr;
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
