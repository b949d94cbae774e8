// The documents that one organisation hands to another: the forecast, the reference data ("НСИ")
// and the comments on a forecast, each with the send description that names it for a transport,
// and the send description of an information message. Each builder makes the whole tree (root
// attributes in their fixed order, the schema location, the sections from the table modules'
// record writers); SaveExchangeDocument writes a tree whole or not at all.
#pragma once

#include "tables/Documentation.h"
#include "tables/ForecastData.h"
#include "tables/Forecasts.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"
#include "tables/Receivers.h"
#include "tables/TotalForecasts.h"
#include "xml/XmlRecord.h"

#include <QString>

#include <functional>
#include <vector>

namespace ExchangeSchemas {
inline constexpr char kForecast[] = "forecast.xsd";
inline constexpr char kNsi[] = "lir.xsd";
inline constexpr char kComment[] = "comment.xsd";
inline constexpr char kSendEnvelope[] = "forecastEnvelope.xsd";
inline constexpr char kInfoEnvelope[] = "infoEnvelope.xsd";
} // namespace ExchangeSchemas

// The kinds of data a send description names (its typeData).
namespace ExchangeDataType {
inline const QString kForecast = QStringLiteral("Данные");
inline const QString kNsi = QStringLiteral("НСИ");
inline const QString kComments = QStringLiteral("Комментарии");
inline const QString kInfo = QStringLiteral("ИНФОРМАЦИЯ");
} // namespace ExchangeDataType

// The answer the user gave to an import's question, checked again inside the import's write once no
// other writer can change what the question said of the database (another copy of the program may
// have stored rows since): when the question no longer fits, nothing is written and the user is
// asked again.
struct CAskedCheck {
    std::function<bool()> stillFits; // none: nothing to check
    bool* askAgain = nullptr;        // set when the question no longer fits
    // Inside the write: whether it may go on; false sets *askAgain.
    bool Holds() const;
};

// Root attributes of the forecast document: receivers by the ids their own organisations gave them.
struct CForecastHeader {
    int to = 0;   // importedId of the receiving organisation
    int from = 0; // importedId of the sending organisation
    QString mail; // e-mail of the receiving organisation
    int subReceiverCount = 0;
};

// Root "forecast", schema forecast.xsd: one "prognozdata" per consolidated row.
XmlDocPtr BuildForecastDocument(const CForecastHeader& header, const CTotalForecastList& rows);

// The same document written as it is made, without a tree: the bytes equal those of the tree saved
// with SaveExchangeDocument, whole or not at all.
[[nodiscard]] bool WriteForecastDocument(const CForecastHeader& header, const CTotalForecastList& rows,
                                         const QString& path);

// Old-to-new id pairs of one kind, written in list order.
struct CIdPair {
    int oldId = 0;
    int newId = 0;
};
using CIdPairList = std::vector<CIdPair>;

struct CIdMaps {
    CIdPairList forecasts; // written as "prognoses"
    CIdPairList products;
    CIdPairList receivers;
};

// The reference-data document: the ids of the sender's database. A section whose pointer is null
// is left out; the lists are the caller's and are not copied.
struct CNsiDocument {
    int forecastId = 0;
    int from = 0;                             // the sender's own receiver
    int to = 0;                               // the receiving organisation
    QString mail;                             // its e-mail
    const CReceiverList* receivers = nullptr; // the sender first, then the receiving organisation
    const CProductList* products = nullptr;
    const CForecastList* forecasts = nullptr; // "prognozs"
    const CIdMaps* idMaps = nullptr;          // "old2NewIDMap"
    const CDocumentationList* documents = nullptr;
    const CMeasurementList* measurements = nullptr;
    const CMConvertList* converts = nullptr;
    const CPriceList* prices = nullptr; // "pricies"
};

// Root "forecast", schema lir.xsd, sections in the order of the struct.
XmlDocPtr BuildNsiDocument(const CNsiDocument& nsi);

struct CCommentHeader {
    int from = 0;     // the sender's own receiver
    int forecast = 0; // the sender's forecast
    int to = 0;       // the receiving organisation
    QString mail;     // its e-mail
};

// Root "comment", schema comment.xsd: id, product and comment of each row.
XmlDocPtr BuildCommentDocument(const CCommentHeader& header, const CForecastDataList& rows);

// The send description of a data document; every child is written, empty ones as empty elements.
struct CSendEnvelope {
    QString toName;
    QString toEmail;
    QString fromName;
    QString fromEmail;
    QString nameFile; // full path of the data document
    QString typeData; // ExchangeDataType
};

// Root "forecastEnvelope", schema forecastEnvelope.xsd.
XmlDocPtr BuildSendEnvelope(const CSendEnvelope& envelope);

struct CInfoEnvelope {
    QString toName;
    QString toEmail;
    QString fromName;
    QString fromEmail;
    QString message;
    QString subject;
};

// Root "infoEnvelope", typeData "ИНФОРМАЦИЯ"; it names no schema.
XmlDocPtr BuildInfoEnvelope(const CInfoEnvelope& envelope);

// UTF-8, indented, through a temporary file renamed into place: the file is whole or not there.
[[nodiscard]] bool SaveExchangeDocument(xmlDoc* doc, const QString& path);
