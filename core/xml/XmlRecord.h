// Record-level XML of the data documents: one element per record, one child per field. Writers and
// readers are driven by a field table per record; names compare without regard to case, children
// that are missing keep the record's defaults, other children are ignored.
#pragma once

#include "Money.h"
#include "XmlRead.h"
#include "db/TextLimits.h"

#include <QDateTime>
#include <QString>

#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace XmlNames {
inline constexpr char kForecasts[] = "prognozs";
inline constexpr char kForecast[] = "prognoz";
inline constexpr char kForecastData[] = "prognozdata";
inline constexpr char kTotalForecastData[] = "prognozdata";
inline constexpr char kProducts[] = "products";
inline constexpr char kProduct[] = "product";
inline constexpr char kReceivers[] = "receivers";
inline constexpr char kReceiver[] = "receiver";
inline constexpr char kMeasurements[] = "measurements";
inline constexpr char kMeasurement[] = "measurement";
inline constexpr char kConverts[] = "converts";
inline constexpr char kConvert[] = "convert";
inline constexpr char kPrices[] = "pricies";
inline constexpr char kPrice[] = "price";
inline constexpr char kDocuments[] = "documents";
inline constexpr char kDocument[] = "document";
inline constexpr char kMailings[] = "mailings";
inline constexpr char kMailing[] = "mailing";
inline constexpr char kMailingReceivers[] = "mailingReceivers";
inline constexpr char kMailingReceiver[] = "mailingReceiver";
inline constexpr char kSystemUsers[] = "systemUsers";
inline constexpr char kSystemUser[] = "systemUser";
inline constexpr char kUserRights[] = "userRights";
inline constexpr char kUserRight[] = "userRight";
inline constexpr char kOld2NewIdMap[] = "old2NewIDMap";
inline constexpr char kMapProducts[] = "products";
inline constexpr char kMapForecasts[] = "prognoses";
inline constexpr char kMapReceivers[] = "receivers";
inline constexpr char kOldId[] = "oldID";
inline constexpr char kNewId[] = "newID";
} // namespace XmlNames

// One child element of a record: its name and the record's field, whose type gives the encoding.
// A field of a base of R serves as well.
template <class R>
struct XmlField {
    enum Kind { Int, Text, Currency, Decimal6, Date };
    const char* name;
    Kind kind;
    std::variant<int R::*, QString R::*, Money R::*, double R::*, QDateTime R::*> member;

    constexpr XmlField(const char* n, int R::*m)
        : name(n)
        , kind(Int)
        , member(m)
    {
    }
    constexpr XmlField(const char* n, QString R::*m)
        : name(n)
        , kind(Text)
        , member(m)
    {
    }
    constexpr XmlField(const char* n, Money R::*m)
        : name(n)
        , kind(Currency)
        , member(m)
    {
    }
    constexpr XmlField(const char* n, double R::*m)
        : name(n)
        , kind(Decimal6)
        , member(m)
    {
    }
    constexpr XmlField(const char* n, QDateTime R::*m)
        : name(n)
        , kind(Date)
        , member(m)
    {
    }
};

// Low-level helpers shared by the generic code and the few hand-written elements.
bool XmlNameIs(const xmlNode* node, const char* name);
xmlNodePtr XmlAddText(xmlNodePtr parent, const char* name, const QString& text);
// An attribute; the value is escaped when the document is saved.
xmlAttrPtr XmlSetProp(xmlNodePtr node, const char* name, const QString& value);
QString XmlContent(const xmlNode* node);
QString XmlInt(int v);
int XmlToInt(const QString& text); // as the C library's atoi: leading digits, else 0
QString XmlFixed6(double v);       // "%f" in the C locale
// A six-decimal field as atof reads it (the leading number, else 0), but none for a number that is
// not finite or does not fit a six-decimal column ("nan", "inf", "1e999", 1e14 and beyond).
std::optional<double> XmlToDecimal6(const QString& text);
// A money field: text that is no number reads as an invalid zero, but a number beyond the money range
// (±922 337 203 685 477.5807) is none.
std::optional<Money> XmlToMoney(const QString& text);
// The message of a record element refused for such a field.
QString XmlInvalidNumberMessage(const char* field, const QString& text);
// The same for a money field beyond the range, led by the money-overflow message.
QString XmlMoneyOverflowMessage(const char* field, const QString& text);
QString XmlDate(const QDateTime& d); // "yyyy-MM-ddTHH:mm:ss"
QDateTime XmlToDate(const QString& text);

// The text a field is written as.
template <class R>
QString XmlFieldText(const R& rec, const XmlField<R>& f)
{
    switch (f.kind) {
    case XmlField<R>::Int:
        return XmlInt(rec.*std::get<int R::*>(f.member));
    case XmlField<R>::Text:
        return rec.*std::get<QString R::*>(f.member);
    case XmlField<R>::Currency:
        return (rec.*std::get<Money R::*>(f.member)).toXmlText();
    case XmlField<R>::Decimal6:
        return XmlFixed6(rec.*std::get<double R::*>(f.member));
    case XmlField<R>::Date:
        return XmlDate(rec.*std::get<QDateTime R::*>(f.member));
    }
    return QString();
}

template <class R>
xmlNodePtr RecordToXml(xmlNodePtr parent, const char* element, const R& rec, std::span<const XmlField<R>> fields)
{
    xmlNodePtr node = xmlNewChild(parent, nullptr, BAD_CAST element, nullptr);
    for (const auto& f : fields)
        XmlAddText(node, f.name, XmlFieldText(rec, f));
    return node;
}

// The streaming counterparts, for documents too large to build as a tree: the bytes written equal
// what the tree gives when saved indented. False when the writer failed.
bool XmlStreamText(xmlTextWriterPtr writer, const char* name, const QString& text);

template <class R>
bool RecordToXmlStream(xmlTextWriterPtr writer, const char* element, const R& rec, std::span<const XmlField<R>> fields)
{
    if (xmlTextWriterStartElement(writer, BAD_CAST element) < 0)
        return false;
    for (const auto& f : fields)
        if (!XmlStreamText(writer, f.name, XmlFieldText(rec, f)))
            return false;
    return xmlTextWriterEndElement(writer) >= 0;
}

// The three number readers from the text's UTF-8 bytes, as the ones above read the same text.
int XmlUtf8ToInt(std::string_view text);
std::optional<double> XmlUtf8ToDecimal6(std::string_view text);
std::optional<Money> XmlUtf8ToMoney(std::string_view text);

// Sets the record's field from its text (UTF-8); false for a number that is not valid (XmlToDecimal6,
// XmlToMoney), with the message in *invalid.
template <class R>
bool ReadXmlField(R& rec, const XmlField<R>& f, std::string_view text, QString* invalid)
{
    const auto refuse = [&](QString (*message)(const char*, const QString&)) {
        if (invalid)
            *invalid = message(f.name, QString::fromUtf8(text.data(), qsizetype(text.size())));
        return false;
    };
    switch (f.kind) {
    case XmlField<R>::Int:
        rec.*std::get<int R::*>(f.member) = XmlUtf8ToInt(text);
        break;
    case XmlField<R>::Text:
        rec.*std::get<QString R::*>(f.member) = QString::fromUtf8(text.data(), qsizetype(text.size()));
        break;
    case XmlField<R>::Currency: {
        const auto m = XmlUtf8ToMoney(text);
        if (!m)
            return refuse(&XmlMoneyOverflowMessage);
        rec.*std::get<Money R::*>(f.member) = *m;
        break;
    }
    case XmlField<R>::Decimal6: {
        const auto v = XmlUtf8ToDecimal6(text);
        if (!v)
            return refuse(&XmlInvalidNumberMessage);
        rec.*std::get<double R::*>(f.member) = *v;
        break;
    }
    case XmlField<R>::Date:
        rec.*std::get<QDateTime R::*>(f.member) = XmlToDate(QString::fromUtf8(text.data(), qsizetype(text.size())));
        break;
    }
    return true;
}

// The field a child of this name fills, none for a name of no field. Children mostly come in the
// fields' order: the search starts after the field found last (`next`).
template <class R>
const XmlField<R>* FindXmlField(std::span<const XmlField<R>> fields, const xmlChar* name, std::size_t& next)
{
    for (std::size_t tried = 0; tried < fields.size(); ++tried) {
        const std::size_t i = (next + tried) % fields.size();
        if (xmlStrcasecmp(name, BAD_CAST fields[i].name) == 0) {
            next = i + 1;
            return &fields[i];
        }
    }
    return nullptr;
}

// The text of an element as a tree's content gives it (its descendants' text joined), read in place
// when it is the element's one text node.
class CXmlNodeText {
public:
    explicit CXmlNodeText(const xmlNode* node);
    ~CXmlNodeText() { xmlFree(m_copy); }
    CXmlNodeText(const CXmlNodeText&) = delete;
    CXmlNodeText& operator=(const CXmlNodeText&) = delete;
    std::string_view text() const { return m_text; }

private:
    xmlChar* m_copy = nullptr;
    std::string_view m_text;
};

// None when the node is not the element, and also when a field holds a number that is not valid
// (XmlToDecimal6, XmlToMoney): then *invalid gets the message.
template <class R>
std::optional<R> ReadRecordXml(const xmlNode* node, const char* element, std::span<const XmlField<R>> fields,
                               R rec = R{}, QString* invalid = nullptr)
{
    if (!node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, element))
        return std::nullopt;
    std::size_t next = 0;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (const XmlField<R>* f = FindXmlField(fields, child->name, next))
            if (!ReadXmlField(rec, *f, CXmlNodeText(child).text(), invalid))
                return std::nullopt;
    }
    return rec;
}

// A record element as a streamed read gives it without building a tree: each child's name, text (as
// a tree's content gives it) and line; what lies outside the children is not kept.
struct CXmlFlatField {
    const xmlChar* name;
    std::string_view text;
    long line;
};
using CXmlFlatRecord = std::span<const CXmlFlatField>;

template <class R>
std::optional<R> ReadRecordXml(CXmlFlatRecord record, std::span<const XmlField<R>> fields, R rec = R{},
                               QString* invalid = nullptr)
{
    std::size_t next = 0;
    for (const CXmlFlatField& field : record)
        if (const XmlField<R>* f = FindXmlField(fields, field.name, next))
            if (!ReadXmlField(rec, *f, field.text, invalid))
                return std::nullopt;
    return rec;
}

// %1 the element, %2 its line in the file, %3 the most characters its column takes.
inline const QString kXmlTextTooLong = QStringLiteral("Элемент «%1» в строке %2 длиннее %3 знаков.");
// Whether the node is the record element with a child longer than its column (of `limits`, the columns
// of the record's table, which the children are named after); the message then goes to *invalid.
bool XmlTextTooLong(const xmlNode* node, const char* element, std::span<const CTextLimit> limits, QString* invalid);
bool XmlTextTooLong(CXmlFlatRecord record, std::span<const CTextLimit> limits, QString* invalid);

// The XML of a record type, which its table module defines once (XmlFormatOf): the record's element,
// the list element around several, the field table, the table its records are stored in, and for a
// record that carries more than its fields what is written after them and read back from the element.
template <class R>
struct CXmlFormat {
    const char* element;
    const char* list;
    std::span<const XmlField<R>> fields;
    const char* table = nullptr;
    void (*writeMore)(xmlNodePtr node, const R& rec) = nullptr;
    void (*readMore)(const xmlNode* node, R& rec) = nullptr;
};

template <class R>
const CXmlFormat<R>& XmlFormatOf();

// The one naming scheme of record-level XML: WriteXml of a record or a list, ReadXml of a record
// element, ReadXmlList of a list element, ReadXmlSiblings of a run of record elements.
template <class R>
xmlNodePtr WriteXml(xmlNodePtr parent, const R& rec)
{
    const CXmlFormat<R>& f = XmlFormatOf<R>();
    xmlNodePtr node = RecordToXml<R>(parent, f.element, rec, f.fields);
    if (f.writeMore)
        f.writeMore(node, rec);
    return node;
}

template <class R>
xmlNodePtr WriteXml(xmlNodePtr parent, const std::vector<R>& list)
{
    xmlNodePtr node = xmlNewChild(parent, nullptr, BAD_CAST XmlFormatOf<R>().list, nullptr);
    for (const R& rec : list)
        WriteXml(node, rec);
    return node;
}

// None also when a field holds an invalid number: then *invalid gets the message.
template <class R>
std::optional<R> ReadXml(const xmlNode* node, QString* invalid)
{
    const CXmlFormat<R>& f = XmlFormatOf<R>();
    auto rec = ReadRecordXml<R>(node, f.element, f.fields, R{}, invalid);
    if (rec && f.readMore)
        f.readMore(node, *rec);
    return rec;
}

template <class R>
std::optional<R> ReadXml(const xmlNode* node)
{
    return ReadXml<R>(node, nullptr);
}

// A received record, which is to be stored: none also when a text is longer than its column takes
// (with the message in *invalid), so that the database never has to refuse it.
template <class R>
std::optional<R> ReadXmlToStore(const xmlNode* node, QString* invalid)
{
    static const std::span<const CTextLimit> limits = TextLimitsOf(XmlFormatOf<R>().table);
    if (XmlTextTooLong(node, XmlFormatOf<R>().element, limits, invalid))
        return std::nullopt;
    return ReadXml<R>(node, invalid);
}

// The same for a record element read without a tree, of a type that carries nothing but its fields.
template <class R>
std::optional<R> ReadXmlToStore(CXmlFlatRecord record, QString* invalid)
{
    const CXmlFormat<R>& f = XmlFormatOf<R>();
    Q_ASSERT(!f.readMore);
    static const std::span<const CTextLimit> limits = TextLimitsOf(f.table);
    if (XmlTextTooLong(record, limits, invalid))
        return std::nullopt;
    return ReadRecordXml<R>(record, f.fields, R{}, invalid);
}

// None also when one of the records holds an invalid number (with its message in *invalid).
template <class R>
std::optional<std::vector<R>> ReadXmlList(const xmlNode* node, QString* invalid = nullptr)
{
    if (!node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, XmlFormatOf<R>().list))
        return std::nullopt;
    std::vector<R> list;
    for (const xmlNode* child = node->children; child; child = child->next) {
        QString refused;
        if (auto rec = ReadXml<R>(child, &refused))
            list.push_back(std::move(*rec));
        else if (!refused.isEmpty()) {
            if (invalid)
                *invalid = refused;
            return std::nullopt;
        }
    }
    return list;
}

// The node and its following siblings, each read by `read`; none when no node gives a record.
template <class R>
std::optional<std::vector<R>> ReadXmlSiblings(const xmlNode* node, std::optional<R> (*read)(const xmlNode*))
{
    std::optional<std::vector<R>> list;
    for (; node; node = node->next) {
        if (auto rec = read(node)) {
            if (!list)
                list.emplace();
            list->push_back(std::move(*rec));
        }
    }
    return list;
}

// An owned libxml2 document.
struct XmlDocDeleter {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Parses a document through the XML file entry (XmlRead.h); none on failure, with the parser's message
// in *error when asked for. What the entry refuses before parsing has a message of its own.
inline const QString kXmlDoctypeRefused =
    QStringLiteral("Документ содержит объявление типа документа (DOCTYPE); такие документы не принимаются.");
inline const QString kXmlEncodingRefused =
    QStringLiteral("Документ записан не в кодировке UTF-8; такие документы не принимаются.");
// %1 the most the entry takes.
inline const QString kXmlTooManyAttributes =
    QStringLiteral("У элемента документа больше %1 атрибутов; такие документы не принимаются.");
inline const QString kXmlTooDeep = QStringLiteral("Документ вложен глубже %1 уровней; такие документы не принимаются.");
inline const QString kXmlNoMemory = QStringLiteral("Недостаточно памяти для чтения документа.");
inline const QString kXmlAborted = QStringLiteral("Чтение документа прервано.");
// The message of a read that did not end in Read (for Malformed the parser's own, which may be empty).
QString XmlReadFailure(const CXmlReadResult& result);
XmlDocPtr XmlParseFile(const QString& path, QString* error = nullptr);
XmlDocPtr XmlParseMemory(const QByteArray& bytes, QString* error = nullptr);
// The value of an attribute of the root element, without expanding entities and without building
// the document; none when the file is unreadable or not well-formed, has a document type declaration
// or the root has no such attribute.
std::optional<QString> XmlRootAttribute(const QString& path, const char* attribute);
// An attribute's value as a streamed read hands it over (from `value` to `end`).
QString XmlAttributeText(const xmlChar* value, const xmlChar* end);
// Validation against a schema file; its messages go to the trace output.
bool ValidateAgainstSchema(xmlDoc* doc, const QString& schemaPath);
// Serialises as UTF-8 with formatting.
QByteArray XmlToBytes(xmlDoc* doc);
