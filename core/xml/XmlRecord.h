// Record-level XML of the data documents: one element per record, one child per field. Writers and
// readers are driven by a field table per record; names compare without regard to case, children
// that are missing keep the record's defaults, other children are ignored.
#pragma once

#include "Money.h"

#include <QDateTime>
#include <QString>

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <span>
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

template <class R>
struct XmlField {
    enum Kind { Int, Text, Currency, Decimal6, Date };
    const char* name;
    Kind kind;
    std::variant<int R::*, QString R::*, Money R::*, double R::*, QDateTime R::*> member;

    static constexpr XmlField integer(const char* n, int R::*m) { return {n, Int, m}; }
    static constexpr XmlField text(const char* n, QString R::*m) { return {n, Text, m}; }
    static constexpr XmlField money(const char* n, Money R::*m) { return {n, Currency, m}; }
    static constexpr XmlField decimal6(const char* n, double R::*m) { return {n, Decimal6, m}; }
    static constexpr XmlField date(const char* n, QDateTime R::*m) { return {n, Date, m}; }
};

// Low-level helpers shared by the generic code and the few hand-written elements.
bool XmlNameIs(const xmlNode* node, const char* name);
xmlNodePtr XmlAddText(xmlNodePtr parent, const char* name, const QString& text);
QString XmlContent(const xmlNode* node);
QString XmlInt(int v);
int XmlToInt(const QString& text);           // as the C library's atoi: leading digits, else 0
QString XmlFixed6(double v);                 // "%f" in the C locale
double XmlToDouble(const QString& text);     // as atof: the leading number, else 0
QString XmlDate(const QDateTime& d);         // "yyyy-MM-ddTHH:mm:ss"
QDateTime XmlToDate(const QString& text);

template <class R>
xmlNodePtr RecordToXml(xmlNodePtr parent, const char* element, const R& rec, std::span<const XmlField<R>> fields)
{
    xmlNodePtr node = xmlNewChild(parent, nullptr, BAD_CAST element, nullptr);
    for (const auto& f : fields) {
        QString value;
        switch (f.kind) {
        case XmlField<R>::Int:
            value = XmlInt(rec.*std::get<int R::*>(f.member));
            break;
        case XmlField<R>::Text:
            value = rec.*std::get<QString R::*>(f.member);
            break;
        case XmlField<R>::Currency:
            value = (rec.*std::get<Money R::*>(f.member)).toXmlText();
            break;
        case XmlField<R>::Decimal6:
            value = XmlFixed6(rec.*std::get<double R::*>(f.member));
            break;
        case XmlField<R>::Date:
            value = XmlDate(rec.*std::get<QDateTime R::*>(f.member));
            break;
        }
        XmlAddText(node, f.name, value);
    }
    return node;
}

template <class R>
std::optional<R> ReadRecordXml(const xmlNode* node, const char* element, std::span<const XmlField<R>> fields,
                               R rec = R{})
{
    if (!node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, element))
        return std::nullopt;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        for (const auto& f : fields) {
            if (!XmlNameIs(child, f.name))
                continue;
            const QString content = XmlContent(child);
            switch (f.kind) {
            case XmlField<R>::Int:
                rec.*std::get<int R::*>(f.member) = XmlToInt(content);
                break;
            case XmlField<R>::Text:
                rec.*std::get<QString R::*>(f.member) = content;
                break;
            case XmlField<R>::Currency:
                rec.*std::get<Money R::*>(f.member) = Money::fromXmlText(content);
                break;
            case XmlField<R>::Decimal6:
                rec.*std::get<double R::*>(f.member) = XmlToDouble(content);
                break;
            case XmlField<R>::Date:
                rec.*std::get<QDateTime R::*>(f.member) = XmlToDate(content);
                break;
            }
            break;
        }
    }
    return rec;
}

template <class R>
xmlNodePtr ListToXml(xmlNodePtr parent, const char* listName, const char* element, const std::vector<R>& list,
                     std::span<const XmlField<R>> fields)
{
    xmlNodePtr node = xmlNewChild(parent, nullptr, BAD_CAST listName, nullptr);
    for (const R& rec : list)
        RecordToXml(node, element, rec, fields);
    return node;
}

// Each child element that reads as a record is appended; another list name gives none.
template <class R>
std::optional<std::vector<R>> ReadListXml(const xmlNode* node, const char* listName, const char* element,
                                          std::span<const XmlField<R>> fields)
{
    if (!node || node->type != XML_ELEMENT_NODE || !XmlNameIs(node, listName))
        return std::nullopt;
    std::vector<R> list;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (auto rec = ReadRecordXml<R>(child, element, fields))
            list.push_back(std::move(*rec));
    }
    return list;
}

// An owned libxml2 document.
struct XmlDocDeleter {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Parses a document without network access or outside entities; none on failure, with the parser's
// message in *error when asked for.
XmlDocPtr XmlParseFile(const QString& path, QString* error = nullptr);
XmlDocPtr XmlParseMemory(const QByteArray& bytes, QString* error = nullptr);
// Serialises as UTF-8 with formatting.
QByteArray XmlToBytes(xmlDoc* doc);
