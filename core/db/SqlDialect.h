// What the two database dialects do differently, in one place. Table modules ask the dialect of the
// main connection (Dialect()) and never test which one it is.
#pragma once

#include "DbConnection.h"
#include "Money.h"

#include <QSqlError>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

class CSqlQuery;

// A column of the rows that CBulkStatement (db/BulkStatement.h) sends.
// Decimal: a six-decimal number (Decimal6), NULL when not finite.
enum class BulkType { Int, Money, Text, Decimal };
struct BulkColumn {
    const char* name;
    BulkType type;
};

// The rows derived from others that a run writes (see CSqlDialect::LockDerivedRows).
enum class DerivedRows {
    ReceiverGroups, // one receiver's product-group rows (and, inside the server's function, the receiver groups')
    WholeForecast,  // every receiver's derived rows of a forecast
    Totals,         // a forecast's consolidated rows
};

// What an upsert did to its row.
struct UpsertedRow {
    bool inserted = false;
    int id = -1; // of an inserted row
};

class CSqlDialect {
public:
    virtual ~CSqlDialect() = default;

    // Money as a bound value: SQLite keeps ten-thousandths as an integer, PostgreSQL a numeric.
    virtual QVariant MoneyParam(Money value) const = 0;
    // A money column as a double precision expression, NULL as 0.
    virtual QString MoneyAsDouble(const QString& column) const = 0;
    // A money value read back: NULL or unreadable gives an invalid zero; a number beyond the
    // program's range also sets *overflow.
    virtual Money MoneyFromValue(const QVariant& value, bool* overflow) const = 0;
    // "a + b" for two money expressions whose NULL counts as 0; the statement fails with an overflow
    // (IsOverflow) rather than store a sum beyond the program's range.
    virtual QString MoneySum(const QString& a, const QString& b) const = 0;
    // MoneySum of a money column and a bound value.
    QString MoneyAdd(const QString& column) const { return MoneySum(column, QStringLiteral("?")); }
    // A six-decimal value as bound: rounded by RoundDecimal6 on both dialects; NULL when not finite.
    virtual QVariant Decimal6Param(double value) const = 0;
    // Whether a statement failed because a number left its range (a sum beyond 64 bits, say).
    virtual bool IsOverflow(const QSqlError& error) const = 0;
    // Whether a statement failed because another connection held the lock it waited for.
    virtual bool IsLocked(const QSqlError& error) const = 0;
    // The message to show when a statement failed for want of room for the connection's temporary
    // tables (the temporary folder, the server's disk); empty for any other failure.
    virtual QString OutOfSpace(const QSqlError& error) const = 0;
    // "<column> is one of the ids" for ids bound as one comma-separated text (IdSetArgument).
    virtual QString IdSetCondition(const QString& column) const = 0;
    // IdSetCondition for a few ids, each sought through an index of the column: a server plans the
    // statement once whatever the ids (a plan made for the ids bound would be made anew on every run,
    // and may read a whole other index instead).
    virtual QString FewIdsCondition(const QString& column) const = 0;
    // "<column> is one of the values of `select`" (a select of one column), sought as FewIdsCondition
    // seeks them.
    virtual QString InSelect(const QString& column, const QString& select) const = 0;
    // The ids bound so as rows: a table expression named `alias` with the one column `column`.
    virtual QString IdSetRows(const QString& alias, const QString& column) const = 0;

    // An insert into a table whose ids the database assigns, made to give the new id back: run it,
    // then ReadNewId, which answers none when the insert stored no row (on conflict do nothing).
    // (SQLite runs RETURNING through a statement journal, a 64 KiB buffer a row, so there the
    // connection's last row id is read instead.)
    virtual QString InsertReturningId(const QString& insert) const = 0;
    virtual std::optional<int> ReadNewId(CSqlQuery& insert) const = 0;

    // An upsert ("insert ... on conflict (key) do update set ...") made to tell what it did: run
    // BeforeUpsert on the prepared statement, then the statement, then ReadUpsert, which answers
    // whether the row was new and then its id; none when the answer cannot be read.
    virtual QString UpsertReportingRow(const QString& upsert) const = 0;
    virtual void BeforeUpsert(CSqlQuery& upsert) const = 0;
    virtual std::optional<UpsertedRow> ReadUpsert(CSqlQuery& upsert) const = 0;
    // After a row was inserted under an id of its own into such a table: the identity must not hand
    // that id out again. It moves up to the table's largest id, never backwards. On the server only
    // the tables that are written under given ids (the exchange journal, mailings) have it. The table
    // name is a program constant.
    [[nodiscard]] virtual bool AdvanceIdentity(const QString& table) const = 0;
    // Inside a transaction: holds off every other taker of a new id of the table until it ends, so
    // that an id taken as max + 1 cannot be taken twice (SQLite serialises writers itself). Rows the
    // transaction already wrote do not matter: two such transactions never wait for each other.
    [[nodiscard]] virtual bool LockTableForNewId(const QString& table) const = 0;
    // Inside a transaction, before the rows that the derived rows are summed from are read: waits for
    // any other run over the same derived rows and holds off the next one until the transaction ends,
    // so that each sums what the one before it wrote. SQLite's transactions take the write lock when
    // they begin, which does the same for every writer.
    [[nodiscard]] virtual bool LockDerivedRows(DerivedRows rows, int forecast, int receiver) const = 0;

    // The rows of a CBulkStatement as a table expression named `alias` with the columns, and how many
    // rows one run of its statement takes: one on SQLite (values bound one by one), a chunk on
    // PostgreSQL (one array of each column's values).
    virtual QString BulkSource(const QString& alias, const std::vector<BulkColumn>& columns) const = 0;
    virtual int BulkChunkRows() const = 0;
    // The statement that empties a table at once (a server's delete would leave the rows' space behind).
    virtual QString EmptyTable(const QString& table) const = 0;

    // Whether the database has logins: users and rights are kept only there.
    virtual bool HasLogins() const = 0;
    // Whether the journal's login and date are written by the program; the server stamps a line
    // with its own, and takes none from the program.
    virtual bool JournalWritesStamp() const = 0;
    // Whether a failed statement spoils the whole enclosing transaction.
    virtual bool FailureSpoilsTransaction() const = 0;

    enum class ConnectFailure {
        Unknown,
        NotADatabase,  // the file is not a database
        Damaged,       // the file is a damaged database
        NoWriteAccess, // the file or its folder cannot be written
        Unreachable,   // the server does not accept connections (down, wrong host or port)
        HostNotFound,  // no address for the server's name
        TimedOut,      // no answer in kConnectTimeoutS
        BadLogin,      // wrong login or password
        NoPassword,    // the server asks for a password and none was given
        NotPermitted,  // the server lets this login not in
        NoDatabase,    // the server has no database of that name
    };
    // Which of the common causes made a connection fail.
    virtual ConnectFailure ClassifyConnectFailure(const QSqlError& error) const = 0;
    // "<column> matches the pattern bound for it", letter case aside (Cyrillic too), with '\' as the
    // escape character of the pattern (LikeArgument). The column is a program constant.
    virtual QString CaseInsensitiveLike(const QString& column) const = 0;
    // The text expression as the lists order texts: by the bytes of its UTF-8 form.
    virtual QString ByteOrder(const QString& text) const = 0;
    // A date-time column as the lists show it, "dd.MM.yyyy H:mm:ss"; NULL for NULL.
    virtual QString ListDateText(const QString& column) const = 0;
};

const CSqlDialect& DialectOf(SqlDialect dialect);
// The dialect of the main connection.
const CSqlDialect& Dialect();

// The error of a money value or sum beyond the program's range, the same on both dialects.
QSqlError MoneyOverflowError();
// The error of a statement that waited kLockWaitMs for another session's lock, on both dialects.
QSqlError LockWaitError();
// The error of a statement whose wait for a lock the user ended (or that the transaction of such a
// wait did not run), on both dialects.
QSqlError WaitStoppedError();
// The error of a statement whose connection the server closed.
QSqlError ConnectionLostError();

// The value to bind for IdSetCondition.
QString IdSetArgument(const std::vector<int>& ids);

enum class LikeMatch { Contains, StartsWith, EndsWith };
// The pattern to bind for CaseInsensitiveLike that matches the text literally: '%', '_' and '\'
// in it stand for themselves.
QString LikeArgument(const QString& text, LikeMatch match);
