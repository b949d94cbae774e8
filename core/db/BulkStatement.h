// Many rows through one statement. The statement takes its rows from a source that the dialect
// makes: on SQLite one row of bound values, the statement prepared once and run for every row (a run
// costs no round trip there; a statement that returns nothing is run through SQLite's own
// interface, CSqliteStatement); on PostgreSQL a chunk of rows bound as one array per column, the
// statement run once for each chunk. There a statement that returns nothing is sent without waiting
// for its answer, so that the server writes one chunk while the program makes the next; the answer
// comes before the next statement of the connection (finish waits for the last).
#pragma once

#include "Money.h"
#include "SqlDialect.h"
#include "SqlQuery.h"

#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CSqliteStatement;
struct pg_conn;

// Whether the statement's runs give rows that the caller reads (onRows).
enum class BulkRows { None, Read };

class CBulkStatement {
public:
    // `sql` holds %1 where the source goes: a table expression named `alias` whose columns are
    // `columns`. `before` and `after` are the statement's other values, bound before and after the
    // source's.
    CBulkStatement(const QString& sql, const QString& alias, std::vector<BulkColumn> columns, QVariantList before = {},
                   QVariantList after = {}, BulkRows rows = BulkRows::None);
    ~CBulkStatement();
    CBulkStatement(const CBulkStatement&) = delete;
    CBulkStatement& operator=(const CBulkStatement&) = delete;

    // After each run: the rows it gave (BulkRows::Read), false stops the work; and that it ran.
    std::function<bool(CSqlQuery&)> onRows;
    std::function<void()> afterRun;

    // The values of one row, in the columns' order; then endRow, which runs the statement once a
    // chunk is full. False after an error, which was reported.
    CBulkStatement& add(int value);
    CBulkStatement& add(Money value);
    CBulkStatement& add(const QString& value);
    CBulkStatement& add(Decimal6 value);
    [[nodiscard]] bool endRow();
    // Runs the statement for the rows not run yet.
    [[nodiscard]] bool finish();

private:
    void AddValue(const QVariant& value, const QString& arrayElement);
    [[nodiscard]] bool run();
    // Sends the chunk to the server without waiting: none when the connection cannot take it now
    // (the chunk then runs as any statement).
    std::optional<bool> send();

    QString m_text;
    bool m_send = false;
    std::vector<BulkColumn> m_columns;
    QVariantList m_before;
    QVariantList m_after;
    std::unique_ptr<CSqlQuery> m_query;
    std::unique_ptr<CSqliteStatement> m_native;
    bool m_prepareFailed = false;
    int m_chunk;
    bool m_arrays;
    std::vector<QString> m_arrayTexts; // one per column, while rows collect as arrays
    std::size_t m_column = 0;
    int m_rows = 0;
};

// Rows sent by COPY into a table of the calling thread's server connection while they are made, in
// COPY's text form: the server stores each part as the next is made. Only a server copies (start
// answers false elsewhere). No other statement may run on the connection until finish.
class CServerCopy {
public:
    CServerCopy() = default;
    // An unfinished copy is ended as failed, so that none of its rows is stored.
    ~CServerCopy();
    CServerCopy(const CServerCopy&) = delete;
    CServerCopy& operator=(const CServerCopy&) = delete;

    // False, with nothing reported, when the connection is no server's or the copy cannot begin.
    [[nodiscard]] bool start(const QString& table, const std::vector<BulkColumn>& columns);
    CServerCopy& add(int value);
    CServerCopy& add(Money value);
    CServerCopy& add(const QString& value);
    CServerCopy& add(Decimal6 value);
    // False once a part could not be sent; the copy is then ended as failed.
    [[nodiscard]] bool endRow();
    // Ends the copy: its error, none when every row is stored.
    std::optional<QSqlError> finish();

private:
    void separate();
    [[nodiscard]] bool flush();
    void abandon();

    pg_conn* m_connection = nullptr;
    QByteArray m_buffer;
    bool m_firstField = true;
};

// The values of one row for a server statement run through libpq, in the order of its placeholders,
// as text the way CSqlQuery binds them there (money in its decimal text, a text never as NULL).
class CServerBinder {
public:
    CServerBinder& bind(int value);
    CServerBinder& bind(Money value);
    CServerBinder& bind(const QString& value);
    const std::vector<QByteArray>& values() const { return m_values; }

private:
    std::vector<QByteArray> m_values;
};

// What a statement of one row run through libpq gave: whether it ran at all (not on a connection
// that is no server's), its error as CSqlQuery would give it (not reported), else its first row's
// values as text (none without a row; a NULL as a null array).
struct ServerRowAnswer {
    bool ran = false;
    std::optional<QSqlError> error;
    std::optional<std::vector<QByteArray>> firstRow;
};
// Runs `sql` ('?' placeholders) with the values on the calling thread's server connection, prepared
// by name once for the connection, waiting as any statement waits: one round trip without the SQL
// layer's own work on every value.
ServerRowAnswer RunServerRow(const QString& sql, const CServerBinder& values);

// Rows written into a temporary table of the calling thread's connection while they are made: on a
// server by COPY (CServerCopy), on SQLite by one insert prepared once, run in a transaction that
// writes the temporary database alone. The table is the connection's own: nobody else sees it, and
// the main database is neither written nor locked. No other statement may run on the connection
// until finish.
class CTempTableCopy {
public:
    CTempTableCopy();
    // An unfinished copy stores none of its rows.
    ~CTempTableCopy();
    CTempTableCopy(const CTempTableCopy&) = delete;
    CTempTableCopy& operator=(const CTempTableCopy&) = delete;

    // False, with nothing reported, when the copy cannot begin.
    [[nodiscard]] bool start(const QString& table, const std::vector<BulkColumn>& columns);
    CTempTableCopy& add(int value);
    CTempTableCopy& add(Money value);
    CTempTableCopy& add(const QString& value);
    CTempTableCopy& add(Decimal6 value);
    // False once a row could not be written; the copy is then ended as failed.
    [[nodiscard]] bool endRow();
    // True when every row is stored.
    [[nodiscard]] bool finish();
    // Why the copy failed, as the database said it; none when it did not, or would not say.
    const QSqlError& error() const { return m_error; }

private:
    void abandon();

    QSqlError m_error;
    std::unique_ptr<CServerCopy> m_server;
    std::unique_ptr<CSqliteStatement> m_native;
    bool m_ownTransaction = false;
    int m_column = 0;
};

// The server's number of the calling thread's connection (its backend process), 0 without one: what
// a connection keeps for itself, such as a temporary table, is gone when the number changed.
int ServerSessionId();

// A statement of a temporary table of the calling thread's connection, run as it is, outside the
// cache of prepared statements (the table may not exist yet, or no longer); `value`, when given,
// takes the first column of its first row. Failures are not reported.
bool RunOnStage(const QString& sql, qlonglong* value = nullptr);

// Quotes a text as an element of a PostgreSQL array literal.
QString ArrayElementText(const QString& text);

// The rows of a select read one after another, for a pass over many rows: on SQLite through
// SQLite's own interface, elsewhere through a forward-only query.
class CRowStream {
public:
    CRowStream(const QString& sql, const QVariantList& args);
    ~CRowStream();
    CRowStream(const CRowStream&) = delete;
    CRowStream& operator=(const CRowStream&) = delete;

    // False when the statement cannot run; the error is reported.
    [[nodiscard]] bool start();
    bool next();
    // False after a failed step or a money value beyond the range; the error is reported.
    [[nodiscard]] bool finish();

    int intAt(int column) const;
    Money moneyAt(int column); // NULL: an invalid zero

private:
    QString m_sql;
    QVariantList m_args;
    std::unique_ptr<CSqlQuery> m_query;
    std::unique_ptr<CSqliteStatement> m_native;
    bool m_overflow = false;
};
