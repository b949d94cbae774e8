#include "ExchangeDocuments.h"

#include "TextUtils.h"

#include <QSaveFile>

#include <libxml/xmlsave.h>
#include <libxml/xmlwriter.h>

#include <cstring>

namespace {

// The schema location among the root attributes; the xsi prefix is declared on the root.
constexpr char kSchemaLocation[] = "xsi:noNamespaceSchemaLocation";
constexpr char kSchemaInstance[] = "http://www.w3.org/2001/XMLSchema-instance";

struct RootAttribute {
    const char* name;
    QString value;
};

// A document with its root element and the root's attributes in the given order; none when libxml2
// cannot allocate them.
XmlDocPtr NewDocument(const char* rootName, std::initializer_list<RootAttribute> attributes, xmlNodePtr* root)
{
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    if (!doc)
        return nullptr;
    *root = xmlNewDocNode(doc.get(), nullptr, BAD_CAST rootName, nullptr);
    if (!*root)
        return nullptr;
    xmlDocSetRootElement(doc.get(), *root);
    for (const RootAttribute& a : attributes) {
        if (std::strcmp(a.name, kSchemaLocation) != 0) {
            XmlSetProp(*root, a.name, a.value);
            continue;
        }
        xmlNsPtr xsi = xmlNewNs(*root, BAD_CAST kSchemaInstance, BAD_CAST "xsi");
        xmlNewNsProp(*root, xsi, BAD_CAST "noNamespaceSchemaLocation", BAD_CAST a.value.toUtf8().constData());
    }
    return doc;
}

template <class R>
void WriteSection(xmlNodePtr root, const std::vector<R>* list)
{
    if (list)
        WriteXml(root, *list);
}

void WriteIdPairs(xmlNodePtr map, const char* name, const CIdPairList& pairs)
{
    for (const CIdPair& pair : pairs) {
        xmlNodePtr node = xmlNewChild(map, nullptr, BAD_CAST name, nullptr);
        XmlAddText(node, XmlNames::kOldId, XmlInt(pair.oldId));
        XmlAddText(node, XmlNames::kNewId, XmlInt(pair.newId));
    }
}

// The children of a send description, in their order.
void WriteEnvelopeParties(xmlNodePtr root, const QString& toName, const QString& toEmail, const QString& fromName,
                          const QString& fromEmail)
{
    XmlAddText(root, "toName", toName);
    XmlAddText(root, "toEmail", toEmail);
    XmlAddText(root, "fromName", fromName);
    XmlAddText(root, "fromEmail", fromEmail);
}

int WriteToSaveFile(void* context, const char* buffer, int length)
{
    auto* file = static_cast<QSaveFile*>(context);
    return file->write(buffer, length) == length ? length : -1;
}

} // namespace

XmlDocPtr BuildForecastDocument(const CForecastHeader& header, const CTotalForecastList& rows)
{
    xmlNodePtr root = nullptr;
    XmlDocPtr doc = NewDocument("forecast",
                                {{"to", XmlInt(header.to)},
                                 {"version", GetFileVersionString()},
                                 {"from", XmlInt(header.from)},
                                 {kSchemaLocation, ExchangeSchemas::kForecast},
                                 {"mail", header.mail},
                                 {"subReceiverCount", XmlInt(header.subReceiverCount)}},
                                &root);
    if (doc)
        TotalForecastsToXml(root, rows);
    return doc;
}

namespace {

bool WriteAttribute(xmlTextWriterPtr writer, const char* name, const QString& value)
{
    return xmlTextWriterWriteAttribute(writer, BAD_CAST name, BAD_CAST value.toUtf8().constData()) >= 0;
}

bool StreamForecastDocument(xmlTextWriterPtr w, const CForecastHeader& header, const CTotalForecastList& rows)
{
    // The tree's serialiser puts the namespace declaration before the attributes.
    if (xmlTextWriterSetIndent(w, 1) < 0 || xmlTextWriterSetIndentString(w, BAD_CAST "  ") < 0
        || xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr) < 0
        || xmlTextWriterStartElement(w, BAD_CAST "forecast") < 0 || !WriteAttribute(w, "xmlns:xsi", kSchemaInstance)
        || !WriteAttribute(w, "to", XmlInt(header.to)) || !WriteAttribute(w, "version", GetFileVersionString())
        || !WriteAttribute(w, "from", XmlInt(header.from))
        || !WriteAttribute(w, kSchemaLocation, ExchangeSchemas::kForecast) || !WriteAttribute(w, "mail", header.mail)
        || !WriteAttribute(w, "subReceiverCount", XmlInt(header.subReceiverCount)))
        return false;
    for (const CTotalForecastRecord& rec : rows)
        if (!TotalForecastToXmlStream(w, rec))
            return false;
    return xmlTextWriterEndElement(w) >= 0 && xmlTextWriterEndDocument(w) >= 0;
}

} // namespace

bool WriteForecastDocument(const CForecastHeader& header, const CTotalForecastList& rows, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    xmlOutputBufferPtr out = xmlOutputBufferCreateIO(&WriteToSaveFile, nullptr, &file, nullptr);
    xmlTextWriterPtr writer = out ? xmlNewTextWriter(out) : nullptr;
    if (!writer) {
        if (out)
            xmlOutputBufferClose(out);
        file.cancelWriting();
        return false;
    }
    const bool written = StreamForecastDocument(writer, header, rows) && xmlTextWriterFlush(writer) >= 0;
    xmlFreeTextWriter(writer); // closes the buffer, which writes what it still holds
    if (!written || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

XmlDocPtr BuildNsiDocument(const CNsiDocument& nsi)
{
    xmlNodePtr root = nullptr;
    XmlDocPtr doc = NewDocument("forecast",
                                {{"version", GetFileVersionString()},
                                 {"id", XmlInt(nsi.forecastId)},
                                 {"from", XmlInt(nsi.from)},
                                 {"to", XmlInt(nsi.to)},
                                 {"mail", nsi.mail},
                                 {kSchemaLocation, ExchangeSchemas::kNsi}},
                                &root);
    if (!doc)
        return nullptr;
    WriteSection(root, nsi.receivers);
    WriteSection(root, nsi.products);
    WriteSection(root, nsi.forecasts);
    if (nsi.idMaps) {
        xmlNodePtr map = xmlNewChild(root, nullptr, BAD_CAST XmlNames::kOld2NewIdMap, nullptr);
        WriteIdPairs(map, XmlNames::kMapForecasts, nsi.idMaps->forecasts);
        WriteIdPairs(map, XmlNames::kMapProducts, nsi.idMaps->products);
        WriteIdPairs(map, XmlNames::kMapReceivers, nsi.idMaps->receivers);
    }
    WriteSection(root, nsi.documents);
    WriteSection(root, nsi.measurements);
    WriteSection(root, nsi.converts);
    WriteSection(root, nsi.prices);
    return doc;
}

XmlDocPtr BuildCommentDocument(const CCommentHeader& header, const CForecastDataList& rows)
{
    xmlNodePtr root = nullptr;
    XmlDocPtr doc = NewDocument("comment",
                                {{"version", GetFileVersionString()},
                                 {"from", XmlInt(header.from)},
                                 {"forecast", XmlInt(header.forecast)},
                                 {"to", XmlInt(header.to)},
                                 {"mail", header.mail},
                                 {kSchemaLocation, ExchangeSchemas::kComment}},
                                &root);
    if (doc)
        ForecastCommentsToXml(root, rows);
    return doc;
}

XmlDocPtr BuildSendEnvelope(const CSendEnvelope& envelope)
{
    xmlNodePtr root = nullptr;
    XmlDocPtr doc = NewDocument("forecastEnvelope", {{kSchemaLocation, ExchangeSchemas::kSendEnvelope}}, &root);
    if (!doc)
        return nullptr;
    WriteEnvelopeParties(root, envelope.toName, envelope.toEmail, envelope.fromName, envelope.fromEmail);
    XmlAddText(root, "nameFile", envelope.nameFile);
    XmlAddText(root, "typeData", envelope.typeData);
    return doc;
}

XmlDocPtr BuildInfoEnvelope(const CInfoEnvelope& envelope)
{
    xmlNodePtr root = nullptr;
    XmlDocPtr doc = NewDocument("infoEnvelope", {}, &root);
    if (!doc)
        return nullptr;
    WriteEnvelopeParties(root, envelope.toName, envelope.toEmail, envelope.fromName, envelope.fromEmail);
    XmlAddText(root, "message", envelope.message);
    XmlAddText(root, "subject", envelope.subject);
    XmlAddText(root, "typeData", ExchangeDataType::kInfo);
    return doc;
}

bool SaveExchangeDocument(xmlDoc* doc, const QString& path)
{
    if (!doc)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Serialised straight into the file: a large document is not held a second time as text.
    xmlSaveCtxtPtr save = xmlSaveToIO(&WriteToSaveFile, nullptr, &file, "UTF-8", XML_SAVE_FORMAT);
    if (!save) {
        file.cancelWriting();
        return false;
    }
    const long saved = xmlSaveDoc(save, doc);
    const int closed = xmlSaveClose(save);
    if (saved < 0 || closed < 0 || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool CAskedCheck::Holds() const
{
    if (!stillFits || stillFits())
        return true;
    if (askAgain)
        *askAgain = true;
    return false;
}
