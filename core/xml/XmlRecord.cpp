#include "XmlRecord.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <QFile>

#include <charconv>
#include <climits>
#include <cstring>

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

xmlAttrPtr XmlSetProp(xmlNodePtr node, const char* name, const QString& value)
{
    const QByteArray utf8 = XmlSafeText(value).toUtf8();
    return xmlSetProp(node, BAD_CAST name, BAD_CAST utf8.constData());
}

QString XmlContent(const xmlNode* node)
{
    xmlChar* content = xmlNodeGetContent(node);
    if (!content)
        return QString();
    QString s = QString::fromUtf8(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return s;
}

QString XmlInt(int v)
{
    return QString::number(v);
}

int XmlToInt(const QString& text)
{
    const QByteArray b = text.toLatin1();
    const char* p = b.constData();
    const char* end = p + b.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    if (p < end && *p == '+')
        ++p;
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

QString XmlFixed6(double v)
{
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6);
    return QString::fromLatin1(buffer, int(r.ptr - buffer));
}

double XmlToDouble(const QString& text)
{
    const QByteArray b = text.trimmed().toLatin1();
    const char* p = b.constData();
    const char* end = p + b.size();
    if (p < end && *p == '+')
        ++p;
    double v = 0.0;
    const auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() ? v : 0.0;
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

namespace {
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
}

XmlDocPtr XmlParseFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return nullptr;
    }
    return XmlParseMemory(f.readAll(), error);
}

XmlDocPtr XmlParseMemory(const QByteArray& bytes, QString* error)
{
    xmlResetLastError();
    XmlDocPtr doc(xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, kParseOptions));
    if (!doc && error) {
        const xmlError* e = xmlGetLastError();
        *error = e && e->message ? QString::fromUtf8(e->message).trimmed() : QString();
    }
    return doc;
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
