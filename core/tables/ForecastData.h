// Forecast data (tfctprognozdata): the figures one receiver enters for one product of a forecast.
#pragma once

#include "db/SqlQuery.h"
#include "xml/XmlRecord.h"

#include <libxml/tree.h>

#include <array>
#include <optional>
#include <vector>

// The time value of a record that has none: the zero of the old date type (1899-12-30 00:00).
QDateTime ZeroRecordDate();

// The fields that a forecast data row and a consolidated row share, in this order.
struct CForecastRowFields {
    int id = -1;
    int prognoz = 0;
    int product = 0;
    Money sumLast;
    Money sumCurr;
    Money sumNext;
    Money valueLast;
    Money valueCurr;
    Money valueNext;
    Money valueNorm;
    Money valueIndex;
    Money valuePlan;
    Money valueFormula;
    Money valueOther;
    Money sumNorm;
    Money sumIndex;
    Money sumPlan;
    Money sumFormula;
    Money sumOther;
    QDateTime lastUpdate = ZeroRecordDate();
    QString comment;
    QString base;
    int baseMethod = 0;
};

// The sixteen money figures in field order, with their column names.
struct ForecastMoneyColumn {
    const char* column;
    Money CForecastRowFields::*field;
};
extern const ForecastMoneyColumn kForecastMoneyColumns[16];

// The children of a "prognozdata" element in their order: id, prognoz, product, the sixteen figures,
// base, baseMethod, then comment.
template <class R>
std::array<XmlField<R>, 22> ForecastRowXmlFields()
{
    using F = CForecastRowFields;
    return {{
        XmlField<R>::integer("id", &F::id),
        XmlField<R>::integer("prognoz", &F::prognoz),
        XmlField<R>::integer("product", &F::product),
        XmlField<R>::money("sumlast", &F::sumLast),
        XmlField<R>::money("sumcurr", &F::sumCurr),
        XmlField<R>::money("sumnext", &F::sumNext),
        XmlField<R>::money("valuelast", &F::valueLast),
        XmlField<R>::money("valuecurr", &F::valueCurr),
        XmlField<R>::money("valuenext", &F::valueNext),
        XmlField<R>::money("valueNorm", &F::valueNorm),
        XmlField<R>::money("valueIndex", &F::valueIndex),
        XmlField<R>::money("valuePlan", &F::valuePlan),
        XmlField<R>::money("valueFormula", &F::valueFormula),
        XmlField<R>::money("valueOther", &F::valueOther),
        XmlField<R>::money("sumNorm", &F::sumNorm),
        XmlField<R>::money("sumIndex", &F::sumIndex),
        XmlField<R>::money("sumPlan", &F::sumPlan),
        XmlField<R>::money("sumFormula", &F::sumFormula),
        XmlField<R>::money("sumOther", &F::sumOther),
        XmlField<R>::text("base", &F::base),
        XmlField<R>::integer("baseMethod", &F::baseMethod),
        XmlField<R>::text("comment", &F::comment),
    }};
}

// lastUpdate has no column in this table: it is only carried along by copies.
struct CForecastDataRecord : CForecastRowFields {
    int receiver = 0;
};

using CForecastDataList = std::vector<CForecastDataRecord>;

enum ForecastDataJournalKind { FDJ_UPDATE = 0, FDJ_INSERT = 1 };

std::optional<CForecastDataRecord> GetForecastData(int prognoz, int receiver, int product);
// The stored row, else a new record (id -1) with the three keys.
CForecastDataRecord GetOrNewForecastData(int prognoz, int receiver, int product);
std::optional<CForecastDataList> LoadForecastData(const SqlFilter& filter = {});
// Deletes the forecast's rows without journal lines.
bool DeleteForecastData(int prognoz);
// Both answer true when the count cannot be read, so that nothing is deleted by mistake.
bool HasForecastDataForReceiver(int receiver, int prognoz);
bool HasForecastDataForProduct(int product, int prognoz);
// Totals of one receiver over a set of products: a leaf adds its sums, a group its quantities.
// None for an empty set, and on a database error, which is not shown but handed to the caller.
std::optional<CForecastDataRecord> GetForecastDataTotals(int prognoz, int receiver, const std::vector<int>& products,
                                                         QSqlError* error = nullptr);
// The per-(forecast, product) sums over all receivers' rows that the filter lets through.
std::optional<CForecastDataList> LoadForecastDataSums(const SqlFilter& filter = {});
// None when id, prognoz, product or receiver is not an integer.
std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q);
// Every field except lastUpdate, which the destination keeps.
void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination);

// Saves by (prognoz, product, receiver); the record's id plays no part in finding the row. A new
// row's id is read back into the record only when takeNewId is set.
bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId);
void FormatForecastDataJournal(const CForecastDataRecord& rec, int kind);
std::optional<CForecastDataRecord> ReadForecastDataXml(const xmlNode* node);
// The node and its following siblings; none when no node gives a record.
std::optional<CForecastDataList> ReadForecastDataListXml(const xmlNode* node);
xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec);
void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list);

// A set of product ids as one bound value: the condition "<column> in the set" for the dialect of
// the main connection, and the value to bind for it.
QString ProductSetCondition(const QString& column);
QString ProductSetArgument(const std::vector<int>& products);
// A key column of a row: none for NULL or anything that is not an integer.
std::optional<int> ReadRowKey(const CSqlQuery& q, const char* column);

// New ids of the tables whose ids the database assigns. PostgreSQL returns it from the insert; SQLite
// runs RETURNING through a statement journal (a 64 KiB buffer per row), so there the connection's
// last rowid is read instead. Build the insert with InsertReturningId, then call ReadNewId after exec.
QString InsertReturningId(const QString& insert);
std::optional<int> ReadNewId(CSqlQuery& insert);
