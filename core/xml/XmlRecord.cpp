#include "XmlRecord.h"

#include "db/SqlDialect.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlschemas.h>

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

bool XmlNameIs(const xmlNode* node, const char* name)
{
    return node && node->name && xmlStrcasecmp(node->name, BAD_CAST name) == 0;
}

namespace {

// XML 1.0 cannot carry control characters other than tab and line ends, nor U+FFFE/U+FFFF or a lone
// surrogate: one of them would make the whole document unreadable at the other end.
QString XmlSafeText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF || QChar::isSurrogate(c))
            continue;
        out += text[i];
    }
    return out;
}

} // namespace

xmlNodePtr XmlAddText(xmlNodePtr parent, const char* name, const QString& text)
{
    // xmlNewTextChild escapes &, < and >.
    const QByteArray utf8 = XmlSafeText(text).toUtf8();
    return xmlNewTextChild(parent, nullptr, BAD_CAST name, BAD_CAST utf8.constData());
}

bool XmlStreamText(xmlTextWriterPtr writer, const char* name, const QString& text)
{
    // Escaped as the tree's serialiser escapes text (the writer's own escaping also turns '"' into
    // an entity, which would change the bytes).
    QByteArray escaped;
    const QByteArray utf8 = XmlSafeText(text).toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '\r':
            escaped += "&#13;";
            break;
        default:
            escaped += c;
        }
    }
    return xmlTextWriterStartElement(writer, BAD_CAST name) >= 0
        && xmlTextWriterWriteRawLen(writer, BAD_CAST escaped.constData(), int(escaped.size())) >= 0
        && xmlTextWriterEndElement(writer) >= 0;
}

xmlAttrPtr XmlSetProp(xmlNodePtr node, const char* name, const QString& value)
{
    const QByteArray utf8 = XmlSafeText(value).toUtf8();
    return xmlSetProp(node, BAD_CAST name, BAD_CAST utf8.constData());
}

CXmlNodeText::CXmlNodeText(const xmlNode* node)
{
    // Mostly the element's one text node: read in place.
    if (const xmlNode* only = node->children;
        only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE)) {
        if (only->content)
            m_text = reinterpret_cast<const char*>(only->content);
        return;
    }
    m_copy = xmlNodeGetContent(node);
    if (m_copy)
        m_text = reinterpret_cast<const char*>(m_copy);
}

QString XmlContent(const xmlNode* node)
{
    const CXmlNodeText text(node);
    return QString::fromUtf8(text.text().data(), qsizetype(text.text().size()));
}

namespace {

bool LongerThan(std::string_view text, int limit)
{
    return text.size() > std::size_t(limit) && Utf8TextLength(text) > std::size_t(limit);
}

QString TextTooLong(const xmlChar* name, long line, int limit)
{
    return kXmlTextTooLong.arg(QString::fromUtf8(reinterpret_cast<const char*>(name))).arg(line).arg(limit);
}

const CTextLimit* LimitOf(std::span<const CTextLimit> limits, const xmlChar* name)
{
    const auto limit = std::find_if(limits.begin(), limits.end(),
                                    [&](const CTextLimit& l) { return xmlStrcasecmp(name, BAD_CAST l.column) == 0; });
    return limit == limits.end() ? nullptr : &*limit;
}

} // namespace

bool XmlTextTooLong(const xmlNode* node, const char* element, std::span<const CTextLimit> limits, QString* invalid)
{
    if (limits.empty() || !node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, element))
        return false;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        const CTextLimit* limit = LimitOf(limits, child->name);
        if (!limit || !LongerThan(CXmlNodeText(child).text(), limit->length))
            continue;
        if (invalid)
            *invalid = TextTooLong(child->name, xmlGetLineNo(child), limit->length);
        return true;
    }
    return false;
}

bool XmlTextTooLong(CXmlFlatRecord record, std::span<const CTextLimit> limits, QString* invalid)
{
    if (limits.empty())
        return false;
    for (const CXmlFlatField& field : record) {
        const CTextLimit* limit = LimitOf(limits, field.name);
        if (!limit || !LongerThan(field.text, limit->length))
            continue;
        if (invalid)
            *invalid = TextTooLong(field.name, field.line, limit->length);
        return true;
    }
    return false;
}

QString XmlInt(int v)
{
    return QString::number(v);
}

namespace {

// Text of ASCII characters alone: the number readers take it as it is, since none of its other
// characters can be part of a number or a blank that they skip.
bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

int LeadingInt(std::string_view text)
{
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    // One sign: from_chars takes '-' but not '+', and "+-5" is no number.
    if (p < end && *p == '+' && !(++p < end && *p >= '0' && *p <= '9'))
        return 0;
    long long v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc::result_out_of_range)
        return (p < end && *p == '-') ? INT_MIN : INT_MAX;
    if (r.ec != std::errc())
        return 0;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return int(v);
}

} // namespace

int XmlToInt(const QString& text)
{
    const QByteArray b = text.toLatin1();
    return LeadingInt(std::string_view(b.constData(), std::size_t(b.size())));
}

int XmlUtf8ToInt(std::string_view text)
{
    return IsAscii(text) ? LeadingInt(text) : XmlToInt(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

QString XmlFixed6(double v)
{
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6);
    return QString::fromLatin1(buffer, int(r.ptr - buffer));
}

namespace {

// The leading decimal number of the text, as atof reads it: text without one reads 0, and so does a
// number too small for a double; none for one that is not finite or too large for a double.
std::optional<double> ReadLeadingDouble(std::string_view text)
{
    const char* p = text.data();
    const char* end = p + text.size();
    // One sign: from_chars takes '-' but not '+'.
    if (p < end && *p == '+' && (++p == end || *p == '-'))
        return 0.0;
    double v = 0.0;
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small: a negative exponent, or only zeros before the point, makes it small.
        const std::string_view number(p, std::size_t(r.ptr - p));
        const std::size_t e = number.find_first_of("eE");
        const bool small = e != std::string_view::npos ? e + 1 < number.size() && number[e + 1] == '-'
                                                       : number.find_first_not_of("-0") == number.find('.');
        return small ? std::optional<double>(0.0) : std::nullopt;
    }
    if (r.ec != std::errc())
        return 0.0;
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

std::optional<double> Decimal6Of(std::optional<double> v)
{
    return v && IsDecimal6(*v) ? v : std::nullopt;
}

// The blanks that QString::trimmed takes off ASCII text.
std::string_view TrimmedAscii(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<Money> MoneyOf(QStringView text)
{
    const Money m = Money::fromXmlText(text);
    if (m.isValid())
        return m;
    // The schema's decimal: a sign, digits and one point. Only such a text is a number too large.
    const QStringView s = text.trimmed();
    qsizetype i = !s.isEmpty() && (s[0] == u'-' || s[0] == u'+') ? 1 : 0;
    bool digit = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9')
            digit = true;
        else if (s[i] == u'.' && !point)
            point = true;
        else
            return m;
    }
    return digit ? std::nullopt : std::optional<Money>(m);
}

} // namespace

std::optional<double> XmlToDecimal6(const QString& text)
{
    const QByteArray b = text.trimmed().toLatin1();
    return Decimal6Of(ReadLeadingDouble(std::string_view(b.constData(), std::size_t(b.size()))));
}

std::optional<double> XmlUtf8ToDecimal6(std::string_view text)
{
    return IsAscii(text) ? Decimal6Of(ReadLeadingDouble(TrimmedAscii(text)))
                         : XmlToDecimal6(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

std::optional<Money> XmlToMoney(const QString& text)
{
    return MoneyOf(text);
}

std::optional<Money> XmlUtf8ToMoney(std::string_view text)
{
    // A figure's text is short: widened on the stack, with no string made for it.
    char16_t wide[64];
    if (text.size() > std::size(wide) || !IsAscii(text))
        return MoneyOf(QString::fromUtf8(text.data(), qsizetype(text.size())));
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = char16_t(text[i]);
    return MoneyOf(QStringView(wide, qsizetype(text.size())));
}

QString XmlInvalidNumberMessage(const char* field, const QString& text)
{
    return QStringLiteral("Недопустимое число в поле «%1»: %2").arg(QLatin1String(field), text.trimmed().left(40));
}

QString XmlMoneyOverflowMessage(const char* field, const QString& text)
{
    return MoneyOverflowError().databaseText() + u' ' + XmlInvalidNumberMessage(field, text);
}

QString XmlDate(const QDateTime& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
}

QDateTime XmlToDate(const QString& text)
{
    QDateTime d = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (d.isValid())
        d = QDateTime(d.date(), d.time());
    return d;
}

QString XmlReadFailure(const CXmlReadResult& result)
{
    switch (result.status) {
    case CXmlReadResult::NotOpened:
        return QString::fromLocal8Bit(std::strerror(result.openError));
    case CXmlReadResult::NoMemory:
        return kXmlNoMemory;
    case CXmlReadResult::Doctype:
        return kXmlDoctypeRefused;
    case CXmlReadResult::Encoding:
        return kXmlEncodingRefused;
    case CXmlReadResult::TooManyAttributes:
        return kXmlTooManyAttributes.arg(kXmlMostAttributes);
    case CXmlReadResult::TooDeep:
        return kXmlTooDeep.arg(kXmlMostDepth);
    case CXmlReadResult::Aborted:
        return kXmlAborted;
    default:
        return QString::fromStdString(result.message);
    }
}

namespace {

XmlDocPtr Concluded(xmlDocPtr doc, const CXmlReadResult& result, QString* error)
{
    if (!doc && error)
        *error = XmlReadFailure(result);
    return XmlDocPtr(doc);
}

// The root's attribute, and whether the root has been seen.
class CRootAttribute final : public CXmlStreamEvents {
public:
    explicit CRootAttribute(const char* name)
        : m_name(reinterpret_cast<const xmlChar*>(name))
    {
    }
    bool StartElement(const xmlChar*, int count, const xmlChar** attributes) override
    {
        if (m_rootSeen)
            return true;
        m_rootSeen = true;
        for (int i = 0; i < count; ++i, attributes += 5) {
            if (!attributes[1] && xmlStrEqual(attributes[0], m_name))
                value = XmlAttributeText(attributes[3], attributes[4]);
        }
        return true;
    }

    std::optional<QString> value;

private:
    const xmlChar* m_name;
    bool m_rootSeen = false;
};

} // namespace

QString XmlAttributeText(const xmlChar* value, const xmlChar* end)
{
    // libxml2's parser hands an ampersand on as "&#38;" (its tree turns it back).
    QByteArray bytes(reinterpret_cast<const char*>(value), qsizetype(end - value));
    bytes.replace("&#38;", "&");
    return QString::fromUtf8(bytes);
}

XmlDocPtr XmlParseFile(const QString& path, QString* error)
{
    CXmlReadResult result;
    xmlDocPtr doc = XmlReadFileTree(QFile::encodeName(path).constData(), result);
    return Concluded(doc, result, error);
}

XmlDocPtr XmlParseMemory(const QByteArray& bytes, QString* error)
{
    CXmlReadResult result;
    xmlDocPtr doc = XmlReadMemoryTree(bytes.constData(), int(bytes.size()), result);
    return Concluded(doc, result, error);
}

std::optional<QString> XmlRootAttribute(const QString& path, const char* attribute)
{
    // A stream, no tree: the document is checked whole in little memory.
    CRootAttribute root(attribute);
    const CXmlReadResult result = XmlStreamFile(QFile::encodeName(path).constData(), nullptr, root);
    return result.status == CXmlReadResult::Read ? root.value : std::nullopt;
}

QByteArray XmlToBytes(xmlDoc* doc)
{
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc, &mem, &size, "UTF-8", 1);
    QByteArray out(reinterpret_cast<const char*>(mem), size);
    xmlFree(mem);
    return out;
}

namespace {

// Schema messages go to the trace output, never to the user.
void TraceSchemaError(void*, xmlErrorPtr error)
{
    if (error && error->message)
        qDebug().noquote() << "XSD" << (error->file ? error->file : "") << error->line
                           << QString::fromUtf8(error->message).trimmed();
}

} // namespace

bool ValidateAgainstSchema(xmlDoc* doc, const QString& schemaPath)
{
    XmlUseNoNetworkLoader();
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
