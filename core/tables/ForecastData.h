// Forecast data (tfctprognozdata): the figures one receiver enters for one product of a forecast.
#pragma once

#include "tables/ForecastRow.h"

#include <libxml/tree.h>

#include <array>
#include <functional>
#include <memory>
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
// The per-(forecast, product) sums over all receivers' rows that the filter lets through.
std::optional<CForecastDataList> LoadForecastDataSums(const SqlFilter& filter = {});
// None when id, prognoz, product or receiver is not an integer.
std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q);
// The select of whole rows that ReadForecastDataRow reads, without a condition.
const QString& ForecastDataSelect();
// Every field except lastUpdate, which the destination keeps.
void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination);

// Saves by (prognoz, product, receiver); the record's id plays no part in finding the row. A new
// row's id is read back into the record only when takeNewId is set.
[[nodiscard]] bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId);
// Saves rows of one receiver and distinct products as SaveForecastData taking new ids does, on a server by one
// statement; the journal lines follow in the rows' order. False after a reported database error.
[[nodiscard]] bool SaveForecastDataRows(const std::vector<CForecastDataRecord*>& rows);
// The columns of a data row as bulk writes give them: prognoz, product, receiver, the figures, comment,
// base, baseMethod.
std::vector<BulkColumn> ForecastDataBulkColumns();
class CRowStage;

// The rows of a received document staged in a temporary table of the connection while the document is
// read (on a server filled by COPY), so that the document's size costs no memory and storing them once
// the user agreed is done by sets over rows the database already holds. The table is the connection's
// own: nobody else sees it, and filling it locks nothing of the database. Each stage has a table of
// its own.
class CForecastRowStage {
public:
    CForecastRowStage();
    // Drops the staging table.
    ~CForecastRowStage();
    CForecastRowStage(const CForecastRowStage&) = delete;
    CForecastRowStage& operator=(const CForecastRowStage&) = delete;

    // False, with nothing reported, when the rows cannot be staged.
    [[nodiscard]] bool Start();
    [[nodiscard]] bool Add(const CForecastDataRecord& rec);
    // Whether every row added is staged.
    [[nodiscard]] bool Finish();
    // After Add or Finish failed: the message when the rows found no room (CRowStage::shortage).
    QString shortage() const;
    // Whether the rows are staged whole in the connection that is open now.
    bool ready() const;
    // The table, for statements that read it; empty before Start.
    const QString& table() const;
    // Whether two staged rows have the same product; known once finished.
    bool repeatsProducts() const { return m_repeats; }

private:
    std::unique_ptr<CRowStage> m_stage;
    std::vector<int> m_products; // the rows' products, until finished
    bool m_repeats = false;
    bool m_ready = false;
};

// Replaces the receiver's rows in the forecast by the staged rows: its stored rows of products the stage
// does not carry are deleted (with their journal lines); the staged rows are saved as SaveForecastData
// without new ids does them one after another, by sets: each received comment appended to the stored one, of rows with
// the same product the last one, an update line for a stored or repeated product and an insert line
// otherwise, in the document's order (the lines are made by the database once committed). False after
// a reported database error.
[[nodiscard]] bool SaveReceiverForecastData(int prognoz, int receiver,
                                            const std::shared_ptr<const CForecastRowStage>& stage);
// The name of the first staged product whose comment, appended to the receiver's stored one as the
// save appends it, would not fit its column; empty when every one fits, none after a reported error.
std::optional<QString> CommentTooLongWhenJoined(int prognoz, int receiver,
                                                const std::shared_ptr<const CForecastRowStage>& stage);
// Insert (1) or update (0) line.
void WriteForecastDataJournal(const CForecastDataRecord& rec, int operation);
// On a server: the rows of the subordinate receiver groups above the receiver, nearest group first,
// for the products, each the sums of its members' rows over all members, written by the server's own
// function (a user may write only the receiver's rows), with their journal lines as the saves without
// new ids write them. False after a reported error.
[[nodiscard]] bool WriteReceiverGroupSums(int forecast, int receiver, const std::vector<int>& products);

// A row's six year figures by its keys, in the order of kYearFigures.
struct CYearFiguresRow {
    int receiver = 0;
    int product = 0;
    std::array<Money, 6> figures;
};
inline constexpr Money CForecastRowFields::*kYearFigures[6] = {
    &CForecastRowFields::sumLast,   &CForecastRowFields::sumCurr,   &CForecastRowFields::sumNext,
    &CForecastRowFields::valueLast, &CForecastRowFields::valueCurr, &CForecastRowFields::valueNext};
// Every row of the forecast with its year figures, in no particular order, in one statement; false
// after a reported database error.
[[nodiscard]] bool ReadForecastYearFigures(int prognoz, const std::function<void(const CYearFiguresRow&)>& each);
// Writes the year figures of rows of the forecast by sets, inside the caller's transaction: a stored
// row keeps its other figures, comment, base and method (NULL ones become 0 or empty, as the save of
// the row read does), an added row has them empty. Each row journals its line as SaveForecastData
// does, an added row's with its new id.
class CYearFiguresWriter {
public:
    explicit CYearFiguresWriter(int prognoz);
    ~CYearFiguresWriter();
    CYearFiguresWriter(const CYearFiguresWriter&) = delete;
    CYearFiguresWriter& operator=(const CYearFiguresWriter&) = delete;

    // False after a reported database error.
    [[nodiscard]] bool Write(const CYearFiguresRow& row, bool stored);
    // Writes what is left and journals the added rows.
    [[nodiscard]] bool Finish();

private:
    struct Statements;
    int m_prognoz;
    std::unique_ptr<Statements> m_statements;
    std::vector<std::pair<int, int>> m_added;   // (receiver, product)
    std::vector<std::pair<int, int>> m_updated; // stored rows sent but not run yet: their lines wait
};

// The year figures of a receiver group's rows of the products := the sums over the rows of the
// receivers whose category it is (0 without such rows), by one statement; its other columns as
// CYearFiguresWriter keeps them. Journals each row as a save without taking the new id. False with the
// database's error, which is not reported.
[[nodiscard]] bool WriteCategorySums(int prognoz, int group, const std::vector<int>& products, QSqlError* failure);

// "prognozdata" elements of the forecast document, without a list element (ReadXmlSiblings reads a run
// of them).
template <>
const CXmlFormat<CForecastDataRecord>& XmlFormatOf<CForecastDataRecord>();
// The comment element of a row: id, product and comment.
xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec);
void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list);
