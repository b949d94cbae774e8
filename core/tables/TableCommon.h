// The pattern of every table module, and the helpers the modules share. A module has a record, its
// list (a std::vector) and free functions over the main connection (db/SqlQuery.h), and keeps to
// one way each for:
//  - reading rows: one CRowReader per table, with the table's own rule for a row it cannot read;
//  - new ids: max + 1 under the table's new-id lock (NextTableId), or the database's identity
//    (Dialect().InsertReturningId and ReadNewId);
//  - rows found by a natural key: UpsertByKey, one statement safe with other writers of the key;
//  - the journal: one line per operation through QueueJournal, written once the outermost
//    transaction commits, and dropped with a rollback;
//  - dialect differences: through Dialect() (db/SqlDialect.h), never by testing the dialect;
//  - record-level XML: the record's CXmlFormat and WriteXml / ReadXml (xml/XmlRecord.h).
#pragma once

#include "ErrorSink.h"
#include "Journal.h"
#include "db/BulkStatement.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "db/SqliteStatement.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// ---- reading rows

// What a table does with a row that its reader refuses (NULL where a value must be, say).
enum class UnreadableRow {
    Skip,     // lists leave it out, single reads take the next readable row
    FailRead, // the whole read fails
};
// Whether a database error of a read is reported (through ReportComError) or only answered with none.
enum class OnDbError { Report, Silent };

template <class R>
struct CRowReader {
    std::optional<R> (*read)(const CSqlQuery& q);
    UnreadableRow rule;

    // Every row of the statement; none after a database error or a row that fails the read.
    std::optional<std::vector<R>> List(CSqlQuery& q, OnDbError onError = OnDbError::Report) const
    {
        if (!Run(q, onError))
            return std::nullopt;
        std::vector<R> list;
        while (q.next()) {
            auto rec = read(q);
            if (q.readFailed())
                return Refuse(q, onError);
            if (rec)
                list.push_back(std::move(*rec));
            else if (rule == UnreadableRow::FailRead)
                return std::nullopt;
        }
        return list;
    }

    // The first row (the first readable one when the rule skips); none when there is none.
    std::optional<R> First(CSqlQuery& q, OnDbError onError = OnDbError::Report) const
    {
        if (!Run(q, onError))
            return std::nullopt;
        while (q.next()) {
            auto rec = read(q);
            if (q.readFailed())
                return Refuse(q, onError);
            if (rec)
                return rec;
            if (rule == UnreadableRow::FailRead)
                break;
        }
        return std::nullopt;
    }

    // The same over a statement made here, with its values bound in order.
    template <typename... Args>
    std::optional<R> FirstOf(OnDbError onError, const QString& sql, const Args&... args) const
    {
        CSqlQuery q(sql);
        (q.bind(args), ...);
        return First(q, onError);
    }
    std::optional<std::vector<R>> ListOf(OnDbError onError, const QString& sql, const QVariantList& args = {}) const
    {
        CSqlQuery q(sql);
        q.bindAll(args);
        return List(q, onError);
    }

private:
    static bool Run(CSqlQuery& q, OnDbError onError)
    {
        return onError == OnDbError::Report ? q.execOrReport() : q.exec();
    }
    // A row held a value beyond the program's range: the read fails as a failed statement would.
    static std::nullopt_t Refuse(const CSqlQuery& q, OnDbError onError)
    {
        if (onError == OnDbError::Report)
            ReportComError(q.lastError());
        return std::nullopt;
    }
};

// Runs a read that reports its own errors and tells whether it reported one (a failed read and a
// missing row both answer none); the error goes on to the caller's scope, or the sink, as before.
template <class Read>
auto WatchedRead(bool& failed, Read&& read)
{
    CErrorCollector watch;
    auto result = std::forward<Read>(read)();
    failed = !watch.empty();
    return result;
}

// Whether one of the columns of the current row is NULL (a row that a reader refuses).
bool AnyNull(const CSqlQuery& q, std::initializer_list<const char*> columns);
// A key column of a row: none for NULL or anything that is not an integer.
std::optional<int> ReadRowKey(const CSqlQuery& q, const char* column);
// Runs a count; true also when it cannot be read (the error is reported), so that nothing that is
// still in use is deleted by mistake.
template <typename... Args>
bool CountIsNonZero(const QString& sql, const Args&... args)
{
    CSqlQuery q(sql);
    (q.bind(args), ...);
    if (!q.execOrReport() || !q.next())
        return true;
    bool ok = false;
    const qlonglong n = q.value(0).toLongLong(&ok);
    return !ok || n != 0;
}

// Whether the statement (a select) finds a row; none after a reported database error.
template <typename... Args>
std::optional<bool> RowExists(const QString& sql, const Args&... args)
{
    CSqlQuery q(sql);
    (q.bind(args), ...);
    if (!q.execOrReport())
        return std::nullopt;
    return q.next();
}

// The ids in the statement's first column, each once; none after a reported database error.
std::optional<std::set<int>> ReadIdSet(CSqlQuery& q);

// ---- runs over derived rows

// Inside the transaction of a run that sums rows into derived ones (group rows, consolidated rows),
// before it reads what it sums: one such run over the same rows at a time (SqlDialect.h). Outside a
// transaction it fails, as the lock would end with the statement; the failure is reported.
[[nodiscard]] bool LockDerivedRows(DerivedRows rows, int forecast, int receiver = 0);

// ---- new ids

// The largest id of the table + 1 (1 for an empty table), for the tables whose ids the program
// numbers. Run it inside the transaction that inserts the row: it takes the table's new-id lock. The
// table name is a program constant.
std::optional<int> NextTableId(const QString& table);

// Inserts a row into a table whose ids the database assigns: under the database's next id without
// `givenId`, else under that id, moving the identity past it. `columns` names the columns besides
// id, which `bind` binds in that order. Answers the row's id. Table and columns are program constants.
template <class Bind>
std::optional<int> InsertIdentityRow(const char* table, const QString& columns, std::optional<int> givenId, Bind bind)
{
    const CSqlDialect& dialect = Dialect();
    const int count = int(columns.count(u',')) + 1;
    QString values = QStringLiteral("?");
    for (int i = 1; i < count + (givenId ? 1 : 0); ++i)
        values += QStringLiteral(", ?");
    const QString insert =
        QStringLiteral("insert into %1 (%2%3) values (%4)")
            .arg(QLatin1String(table), columns, givenId ? QStringLiteral(", id") : QString(), values);
    CSqlQuery q(givenId ? insert : dialect.InsertReturningId(insert));
    bind(q);
    if (givenId)
        q.bind(*givenId);
    if (!q.execOrReport())
        return std::nullopt;
    if (!givenId)
        return dialect.ReadNewId(q);
    if (!dialect.AdvanceIdentity(QLatin1String(table)))
        return std::nullopt;
    return givenId;
}

// ---- rows found by a natural key

// Writes the row of a natural key with one upsert, "insert into ... values (...) on conflict (key) do
// update set ...", which the unique key keeps safe with other writers of the same key (an
// accumulation adds in its update). Answers whether the row was new and then its id; none after a
// reported error.
// The error of a keyed write whose outcome the database did not tell.
DbError KeyedWriteConflict();
// The upsert through a statement that the SQLite connection keeps; none after a reported error.
std::optional<UpsertedRow> RunKeptUpsert(CSqliteStatement& upsert);
// The upsert through libpq on a server; none after a reported error, and also (with `ran` false)
// when the connection is no server's.
std::optional<UpsertedRow> RunServerUpsert(const QString& upsert, const CServerBinder& values, bool* ran);
// A `bind` that takes any binder (auto&) runs through the library's own interface, the statement
// prepared once for the connection: on SQLite `upsert` is then a text made once.
template <class Bind>
std::optional<UpsertedRow> UpsertByKey(const QString& upsert, Bind bind)
{
    const CSqlDialect& dialect = Dialect();
    if constexpr (std::is_invocable_v<Bind&, CSqliteBinder&>) {
        QSqlError error;
        if (CSqliteStatement* kept =
                GetDBConnection().KeptSqliteStatement(dialect.UpsertReportingRow(upsert), &error)) {
            CSqliteBinder binder(*kept);
            bind(binder);
            return RunKeptUpsert(*kept);
        }
        if (error.type() != QSqlError::NoError) {
            ReportComError(error);
            return std::nullopt;
        }
        CServerBinder values;
        bind(values);
        bool ran = false;
        auto row = RunServerUpsert(dialect.UpsertReportingRow(upsert), values, &ran);
        if (ran)
            return row;
    }
    CSqlQuery q(dialect.UpsertReportingRow(upsert));
    bind(q);
    dialect.BeforeUpsert(q);
    if (!q.execOrReport())
        return std::nullopt;
    const auto row = dialect.ReadUpsert(q);
    if (!row)
        ReportComError(KeyedWriteConflict());
    return row;
}

// Runs one write so that its failure leaves the calling thread's transaction usable: inside one, under
// a savepoint where a failed statement spoils the whole transaction; elsewhere as it is. The write
// answers an optional (or bool), empty on failure.
template <class Write>
auto WithoutSpoiling(Write write) -> decltype(write())
{
    if (!Dialect().FailureSpoilsTransaction() || GetDBConnection().transactionLevel() == 0)
        return write();
    CTransaction tx;
    if (!tx.isActive())
        return {};
    auto result = write();
    if (!result || !tx.commit())
        return {};
    return result;
}

// "column = excluded.column, ..." for the columns of an upsert's update.
QString ExcludedAssignments(const QStringList& columns);

// ---- the journal

enum JournalOperation {
    JOURNAL_UPDATE = 0,
    JOURNAL_INSERT = 1,
    JOURNAL_DELETE = 2,        // also any other value
    JOURNAL_CHANGE_STATUS = 3, // forecasts only
};

// "Insert ", "Update ", "Change status " or "Delete ".
QString JournalOperationWord(int operation);
// The start of a line: the operation word, the table word and "; ", then "id=<id>; " unless the line
// is an update line.
QString JournalHead(int operation, const char* table, int id);

bool OpJournalEnabled();
// Writes the line once the calling thread's outermost transaction commits (at once outside one); a
// rollback drops it. The text is made only while the journal is on.
void QueueJournalLine(const QString& text);
// The same for a UTF-8 text no longer than a row keeps.
void QueueJournalLine(std::string_view utf8);
// Queues the lines of a select as QueueJournalLine queues one line, in their place among the others.
void QueueJournalSelect(CJournalSelect select);
template <class MakeText>
void QueueJournal(MakeText makeText)
{
    if (OpJournalEnabled())
        QueueJournalLine(makeText());
}

// The end of a save in `tx`: the record as stored (under `id`) journals its line, the transaction
// commits, and only then does the caller's record take the id.
template <class R>
[[nodiscard]] bool CommitSave(CTransaction& tx, R& rec, int id, int operation, void (*journal)(const R&, int))
{
    R saved = rec;
    saved.id = id;
    journal(saved, operation);
    if (!tx.commit())
        return false;
    rec.id = id;
    return true;
}

// Deletes with a "delete ... returning" of the reader's columns: the row that went journals its delete
// line (journal(row, JOURNAL_DELETE)); a row that was gone already, or does not read, leaves none.
// Then the record's id becomes goneId.
template <class R, class Journal, typename... Args>
[[nodiscard]] bool DeleteRow(R& rec, int goneId, const CRowReader<R>& rows, Journal journal, OnDbError onError,
                             const QString& sql, const Args&... args)
{
    CSqlQuery q(sql);
    (q.bind(args), ...);
    if (!(onError == OnDbError::Report ? q.execOrReport() : q.exec()))
        return false;
    if (q.next())
        if (const auto stored = rows.read(q))
            journal(*stored, JOURNAL_DELETE);
    rec.id = goneId;
    return true;
}

// ---- other shared helpers

// The text of a value in a table of (value, text) pairs; `otherwise` for a value it does not hold.
QString TextOf(int value, std::initializer_list<std::pair<int, const char16_t*>> texts, const QString& otherwise = {});

// The current local time in whole seconds, as the date columns keep it.
QDateTime CurrentTimeToSecond();

// Moves one of a parent's children one place: the others take the even places 4, 6, 8 ..., the moved
// one the odd place between the two before it (up) or after it (down). Each child is written through
// `save`, in one transaction: all or nothing.
template <class R, class Save>
[[nodiscard]] bool MoveOnePlace(std::vector<R>& siblings, int movedId, bool up, Save save)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    int k = 0;
    for (R& sibling : siblings) {
        sibling.position = sibling.id == movedId ? (up ? 2 * k + 1 : 2 * k + 7) : 2 * k + 4;
        ++k;
        if (!save(sibling))
            return false;
    }
    return tx.commit();
}

// The shape of every import's store: `store` runs in one transaction, all or nothing, and a database
// error it reports reaches the sink only once the transaction has rolled back, so that the message
// stands over a database as it was.
template <class Store>
[[nodiscard]] bool StoreInOneTransaction(Store store)
{
    CErrorCollector errors; // outlives the transaction
    CTransaction transaction;
    return transaction.isActive() && store() && transaction.commit();
}
