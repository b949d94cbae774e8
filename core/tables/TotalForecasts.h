// The consolidated forecast (tfcttotalprognoz): at most one row per (forecast, product) with the
// figures summed over the receivers, the time consolidation last added into it and a comment.
#pragma once

#include "ForecastData.h"
#include "db/TextLimits.h"

// A new record carries the time of its construction as lastUpdate.
struct CTotalForecastRecord : CForecastRowFields {
    CTotalForecastRecord();
};

using CTotalForecastList = std::vector<CTotalForecastRecord>;

// Comments longer than their column are cut when saved.
inline const int kTotalForecastCommentLength = TextLimitOf("tfcttotalprognoz", "comment");

std::optional<CTotalForecastRecord> GetTotalForecastById(int id);
std::optional<CTotalForecastRecord> GetTotalForecast(int prognoz, int product);
// The stored row, or a new record (id -1) with prognoz and product.
CTotalForecastRecord GetOrCreateTotalForecast(int prognoz, int product);
// Rows that cannot be read are left out.
std::optional<CTotalForecastList> LoadTotalForecasts(const SqlFilter& filter = {});
// True also when the count cannot be read, so that the product is treated as used.
bool TotalForecastExists(int product, int prognoz);
// Rows with a non-empty comment; 0 when the count cannot be read.
int CountCommentedTotals(int prognoz);
// Rows that no consolidation has filled since a received comment made them (no lastUpdate); 0 when
// the count cannot be read (reported).
int CountUngeneratedTotals(int prognoz);
// Neither writes a journal line. The reset zeroes the money values of a consolidation and stamps the
// rows with its time.
[[nodiscard]] bool DeleteTotalForecastsOf(int prognoz);
[[nodiscard]] bool ResetTotalForecastSums(int prognoz, const QDateTime& now);
[[nodiscard]] bool DeleteTotalForecast(CTotalForecastRecord& rec);
// Saves by (prognoz, product) in its own transaction (a savepoint inside the caller's); the record's
// id is set only for a new row. lastUpdate is written as the record holds it.
[[nodiscard]] bool SaveTotalForecast(CTotalForecastRecord& rec);
// Only the comment of the row, as a received comment is stored: a new row gets zeros and no lastUpdate
// (no consolidation filled it); the same journal line as the save.
[[nodiscard]] bool SaveTotalForecastComment(CTotalForecastRecord& rec);
// Adds the data row's figures into the consolidated row of its product (created when missing) and
// stamps it; false when anything on the way failed, the save included.
[[nodiscard]] bool AccumulateTotalForecast(const CForecastDataRecord& data);
// The same for every product of the forecast at once: the per-product sums of the forecast data rows
// that `rows` selects (a condition on tfctprognozdata with its values) are added by one statement,
// each row stamped with `now` and journalled as AccumulateTotalForecast journals it. Answers how many
// products were summed; none after a reported database error.
std::optional<int> AccumulateTotalForecastSums(int prognoz, const SqlFilter& rows, const QDateTime& now);
// Sums over a set of products: one product gives its stored row (or a new record), several a record
// with the three year figures, a leaf adding its sums and a group its quantities. None for an empty
// set, and on a database error, which is reported: a caller that decides itself whether to show it
// collects it (CErrorCollector).
std::optional<CTotalForecastRecord> GetTotalForecastSums(int prognoz, const std::vector<int>& products);
void WriteTotalForecastJournal(const CTotalForecastRecord& rec, int operation);
// None when id, prognoz or product is not an integer.
std::optional<CTotalForecastRecord> ReadTotalForecastRow(const CSqlQuery& q);
// The select of whole rows that ReadTotalForecastRow reads, without a condition.
const QString& TotalForecastSelect();

// The consolidated row as it travels in the forecast document; the comment child is always empty.
xmlNodePtr TotalForecastToXml(xmlNodePtr parent, const CTotalForecastRecord& rec);
void TotalForecastsToXml(xmlNodePtr parent, const CTotalForecastList& list);
// The same element through a streaming writer; false when the writer failed.
bool TotalForecastToXmlStream(xmlTextWriterPtr writer, const CTotalForecastRecord& rec);
// id, product and comment of a comments element; prognoz stays 0 for the caller to supply.
// `blank` gives the fields the element does not carry: one for all rows, as a new record reads the clock.
// With `invalid`, none also for a comment longer than its column (the message then in *invalid).
std::optional<CTotalForecastRecord> ReadTotalForecastCommentXml(const xmlNode* node, const CTotalForecastRecord& blank,
                                                                QString* invalid = nullptr);
// The node and its following siblings; none when no node gives a record.
std::optional<CTotalForecastList> ReadTotalForecastCommentsXml(const xmlNode* node);
