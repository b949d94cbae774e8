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
#include <mutex>

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
