#include "ExchangeReader.h"

#include "TextUtils.h"
#include "db/TextLimits.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
    QString path = ProgramFile(name);
    while (!QFileInfo(path).isFile()) {
        path = choose ? choose() : QString();
        if (path.isEmpty())
            return QString();
    }
    return path;
}

CExchangeRead ReadExchangeDocument(const QString& path, const QString& schemaName, const SchemaChooser& choose)
{
    CExchangeRead read;
    const QString schema = FindSchemaFile(schemaName, choose);
    if (schema.isEmpty()) {
        read.status = CExchangeRead::Cancelled;
        return read;
    }
    QString error;
    CExchangeDocument document(ParseExchangeFile(path, &error));
    if (!document.root())
        read.message = ExchangeTexts::kReadFailed.arg(path, error);
    else if (document.attribute("version") != GetFileVersionString())
        read.message = ExchangeTexts::kVersionMismatch;
    else if (!ValidateAgainstSchema(document.doc(), schema))
        read.message = ExchangeTexts::kValidationFailed;
    else {
        read.status = CExchangeRead::Read;
        read.document = std::move(document);
    }
    return read;
}

const xmlChar* const* CStreamRoot::Find(const char* name) const
{
    // A name without a prefix, or a prefixed one written whole ("xsi:noNamespaceSchemaLocation").
    const auto* wanted = reinterpret_cast<const xmlChar*>(name);
    for (int i = 0; i < m_count; ++i) {
        const xmlChar* const* a = m_attributes + 5 * i;
        if (!a[1] ? xmlStrEqual(a[0], wanted) : xmlStrQEqual(a[1], a[0], wanted))
            return a;
    }
    return nullptr;
}

QString CStreamRoot::attribute(const char* name) const
{
    const xmlChar* const* a = Find(name);
    return a ? XmlAttributeText(a[3], a[4]) : QString();
}

bool CStreamRoot::hasAttribute(const char* name) const
{
    return Find(name) != nullptr;
}

namespace {

struct DocDeleter {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

struct TextDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// A line as libxml2's own trees keep it (xmlGetLineNo): beyond the 16 bits of a node an element
// keeps 65535 and its text the line itself.
void SetLine(xmlNode* node, long line)
{
    if (line < 65535) {
        node->line = static_cast<unsigned short>(line);
        return;
    }
    node->line = 65535;
    if (node->type == XML_TEXT_NODE)
        node->psvi = reinterpret_cast<void*>(static_cast<std::ptrdiff_t>(line));
}

// The events of a streamed exchange document: the root to the handler, the elements it asks for built
// as trees of their own, one at a time, and handed to it once the schema has seen them whole.
class CExchangeStream final : public CXmlStreamEvents {
public:
    explicit CExchangeStream(const CStreamHandler& handler)
        : m_handler(handler)
        , m_doc(xmlNewDoc(BAD_CAST "1.0"))
    {
        // The elements' names are kept once for all records, not copied into each.
        if (m_doc)
            m_doc->dict = xmlDictCreate();
    }
    ~CExchangeStream() { FreeElement(); }

    bool StartElement(const xmlChar* name, int count, const xmlChar** attributes) override;
    bool EndElement(const xmlChar* name) override;
    bool WantsText() const override { return true; }
    bool Text(xmlChar*& text, std::size_t) override;
    bool TakesBase64() const override { return bool(m_pieces); }
    bool Base64Text(const xmlChar* piece, std::size_t length) override
    {
        return m_pieces(reinterpret_cast<const char*>(piece), length);
    }
    std::size_t TextLimit() const override { return m_textLimit; }

    // Why the events stopped the read: another version, or the handler's refusal.
    QString refusal;
    bool versionMismatch = false;
    bool invalid = false;

private:
    bool Building() const { return m_current || m_flat; }
    void FreeElement()
    {
        if (m_element) {
            xmlFreeNode(m_element);
            m_element = m_current = nullptr;
        }
    }
    void KeepFieldText(xmlChar*& text, std::size_t length);
    CStreamRead ReadFields();

    const CStreamHandler& m_handler;
    std::unique_ptr<xmlDoc, DocDeleter> m_doc;
    int m_depth = 0;              // of the element that starts next
    int m_skipAbove = INT_MAX;    // the content of an element at this depth is passed by
    std::string m_section;        // the root's child the handler entered
    std::string m_inside;         // the section of the element being built
    xmlNode* m_element = nullptr; // being built, and where it has got to
    xmlNode* m_current = nullptr;
    const xmlNode* m_started = nullptr; // the element that started last, and its line
    long m_startLine = 0;
    int m_elementDepth = -1;
    StreamPieces m_pieces; // of the element that has just started
    // Of the table whose columns the children of the element being built fill: looked up once an
    // element, not once a field.
    std::span<const CTextLimit> m_limits;
    std::size_t m_textLimit = 0; // of the element that has just started

    // Of an element read as fields: each child's name, line and text, kept in m_texts, or a large run
    // as the parser handed it over, so that it is not copied.
    struct CPendingField {
        const xmlChar* name; // the parser's, for the whole read
        long line;
        std::size_t begin, end;
        std::unique_ptr<xmlChar, TextDeleter> owned;
        std::size_t ownedLength = 0;
    };
    bool m_flat = false;
    std::vector<CPendingField> m_pending;
    std::vector<CXmlFlatField> m_fields;
    std::string m_texts;
};

bool CExchangeStream::StartElement(const xmlChar* name, int count, const xmlChar** attributes)
{
    const int depth = m_depth++;
    m_pieces = nullptr;
    m_textLimit = 0;
    if (Building()) {
        const bool field = depth == m_elementDepth + 1;
        if (field && m_handler.base64)
            m_pieces = m_handler.base64(m_inside.c_str(), reinterpret_cast<const char*>(name));
        if (field && !m_limits.empty())
            m_textLimit = std::size_t(TextLimitIn(m_limits, reinterpret_cast<const char*>(name)));
        if (m_flat) {
            // Below a field its text is joined, as a tree's content joins it.
            if (field)
                m_pending.push_back({name, Line(), m_texts.size(), m_texts.size(), nullptr, 0});
            return true;
        }
        xmlNode* child = xmlNewDocNode(m_doc.get(), nullptr, name, nullptr);
        if (!child)
            return false;
        for (int i = 0; i < count; ++i) {
            const xmlChar* const* a = attributes + 5 * i;
            const QByteArray value = XmlAttributeText(a[3], a[4]).toUtf8();
            xmlNewProp(child, a[0], BAD_CAST value.constData());
        }
        SetLine(child, m_startLine = Line());
        m_started = child;
        m_current = xmlAddChild(m_current, child);
        return m_current != nullptr;
    }
    if (depth > m_skipAbove || invalid)
        return true;
    if (depth == 0) {
        // Another version's document is refused before anything of it is read.
        const CStreamRoot root(count, attributes);
        if (root.attribute("version") != GetFileVersionString()) {
            versionMismatch = true;
            return false;
        }
        if (m_handler.root)
            m_handler.root(root);
        return true;
    }
    if (depth == 1)
        m_section.clear();
    if (depth > 2 || (depth == 2 && m_section.empty())) {
        m_skipAbove = depth;
        return true;
    }
    const char* text = reinterpret_cast<const char*>(name);
    switch (m_handler.step(m_section.c_str(), text)) {
    case StreamStep::Skip:
        m_skipAbove = depth;
        break;
    case StreamStep::Enter:
        if (depth == 1)
            m_section = text;
        else
            m_skipAbove = depth;
        break;
    case StreamStep::Read:
        m_inside = depth == 1 ? std::string() : m_section;
        m_elementDepth = depth;
        m_limits = TextLimitsOf(m_handler.table ? m_handler.table(m_inside.c_str(), text) : nullptr);
        if (m_handler.readFields) {
            m_flat = true;
            return true;
        }
        m_element = m_current = xmlNewDocNode(m_doc.get(), nullptr, name, nullptr);
        if (!m_element)
            return false;
        SetLine(m_element, m_startLine = Line());
        m_started = m_element;
        return true;
    }
    return true;
}

bool CExchangeStream::EndElement(const xmlChar*)
{
    const int depth = --m_depth;
    if (depth == m_skipAbove)
        m_skipAbove = INT_MAX;
    if (!Building())
        return true;
    if (depth > m_elementDepth) {
        if (!m_flat)
            m_current = m_current->parent;
        else if (depth == m_elementDepth + 1)
            m_pending.back().end = m_texts.size();
        return true;
    }
    const CStreamRead read = m_flat ? ReadFields() : m_handler.read(m_inside.c_str(), m_element);
    FreeElement();
    if (read.status == CStreamRead::Refused) {
        refusal = read.message;
        return false;
    }
    if (read.status == CStreamRead::Invalid)
        invalid = true; // the rest is only parsed
    return true;
}

CStreamRead CExchangeStream::ReadFields()
{
    m_fields.clear();
    for (const CPendingField& f : m_pending) {
        const std::string_view text = f.owned
            ? std::string_view(reinterpret_cast<const char*>(f.owned.get()), f.ownedLength)
            : std::string_view(m_texts).substr(f.begin, f.end - f.begin);
        m_fields.push_back({f.name, text, f.line});
    }
    CStreamRead read = m_handler.readFields(m_inside.c_str(), m_fields);
    m_flat = false;
    m_pending.clear();
    m_texts.clear();
    // A large text's room is not kept for the small records that follow.
    if (m_texts.capacity() > (1u << 20))
        std::string().swap(m_texts);
    return read;
}

void CExchangeStream::KeepFieldText(xmlChar*& text, std::size_t length)
{
    constexpr std::size_t kOwnedRun = 64 * 1024;
    CPendingField& field = m_pending.back();
    // The field is the last one begun: its text so far ends m_texts.
    if (!field.owned && field.begin == m_texts.size() && length >= kOwnedRun) {
        field.owned.reset(text);
        field.ownedLength = length;
        text = nullptr;
        return;
    }
    if (field.owned) {
        m_texts.append(reinterpret_cast<const char*>(field.owned.get()), field.ownedLength);
        field.owned.reset();
    }
    m_texts.append(reinterpret_cast<const char*>(text), length);
}

bool CExchangeStream::Text(xmlChar*& text, std::size_t length)
{
    if (m_flat) {
        // Only the text inside a field: what lies between the fields is no part of the record.
        if (m_depth > m_elementDepth + 1 && !m_pending.empty())
            KeepFieldText(text, length);
        return true;
    }
    if (!m_current)
        return true;
    // The run becomes the text node's content as it is: a large one is never copied.
    xmlNode* node = xmlNewDocText(m_doc.get(), nullptr);
    if (!node)
        return false;
    node->content = text;
    text = nullptr;
    // An element's text has the element's line, as messages name it.
    SetLine(node, m_current == m_started ? m_startLine : Line());
    xmlAddChild(m_current, node);
    return true;
}

} // namespace

QString StreamExchangeFile(const QString& path, const QString& schemaPath, const CStreamHandler& handler)
{
    using namespace ExchangeTexts;
    // Entities are not substituted, nothing is loaded from outside and a DTD is refused.
    CExchangeStream stream(handler);
    const CXmlReadResult read =
        XmlStreamFile(QFile::encodeName(path).constData(), QFile::encodeName(schemaPath).constData(), stream);
    switch (read.status) {
    case CXmlReadResult::Read:
        return read.invalid || stream.invalid ? kValidationFailed : QString();
    case CXmlReadResult::NoSchema:
        return kValidationFailed;
    case CXmlReadResult::Stopped:
        if (stream.versionMismatch)
            return kVersionMismatch;
        return kReadFailed.arg(path, stream.refusal);
    default:
        // A file that does not end is a read failure also when the validator has already complained
        // about the cut element.
        return kReadFailed.arg(path, XmlReadFailure(read));
    }
}
