// Forecast data (tfctprognozdata): the figures one receiver enters for one product of a forecast.
#pragma once

#include "tables/ForecastRow.h"

#include <QHash>

#include <libxml/tree.h>

#include <optional>
#include <vector>

// lastUpdate has no column in this table: it is only carried along by copies.
struct CForecastDataRecord : CForecastRowFields {
    int receiver = 0;
};

using CForecastDataList = std::vector<CForecastDataRecord>;

std::optional<CForecastDataRecord> GetForecastData(const CForecastKey& key);
// The stored row, else a new record (id -1) with the three keys.
CForecastDataRecord GetOrNewForecastData(const CForecastKey& key);
std::optional<CForecastDataList> LoadForecastData(const SqlFilter& filter = {});
// Deletes the forecast's rows without journal lines.
[[nodiscard]] bool DeleteForecastData(int prognoz);
// Both answer true when the count cannot be read, so that nothing is deleted by mistake.
bool HasForecastDataForReceiver(int receiver, int prognoz, OnDbError onError = OnDbError::Report);
bool HasForecastDataForProduct(int product, int prognoz);
// Totals of one receiver over a set of products: a leaf adds its sums, a group its quantities.
// None for an empty set, and on a database error, which is reported: a caller that decides itself
// whether to show it collects it (CErrorCollector).
std::optional<CForecastDataRecord> GetForecastDataTotals(int prognoz, int receiver, const std::vector<int>& products);
// The non-empty comments of the receiver's rows in the forecast by product, in one statement; none
// after a reported database error.
std::optional<QHash<int, QString>> LoadForecastComments(int prognoz, int receiver);
// The per-(forecast, product) sums over all receivers' rows that the filter lets through.
std::optional<CForecastDataList> LoadForecastDataSums(const SqlFilter& filter = {});
// None when id, prognoz, product or receiver is not an integer.
std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q);
// Every field except lastUpdate, which the destination keeps.
void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination);

// Saves by (prognoz, product, receiver); the record's id plays no part in finding the row. A new
// row's id is read back into the record only when takeNewId is set.
[[nodiscard]] bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId);
// Insert (1) or update (0) line.
void WriteForecastDataJournal(const CForecastDataRecord& rec, int operation);
// On a server: the rows of the subordinate receiver groups above the receiver, nearest group first,
// for the products, each the sums of its members' rows over all members, written by the server's own
// function (a user may write only the receiver's rows), with their journal lines as the saves without
// new ids write them. False after a reported error.
[[nodiscard]] bool WriteReceiverGroupSums(int forecast, int receiver, const std::vector<int>& products);

// "prognozdata" elements of the forecast document, without a list element (ReadXmlSiblings reads a run
// of them).
template <>
const CXmlFormat<CForecastDataRecord>& XmlFormatOf<CForecastDataRecord>();
// The comment element of a row: id, product and comment.
xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec);
void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list);
