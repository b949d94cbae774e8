// Prepared statements with bound values over the calling thread's connection, and the typed
// reading of columns (money and dates through the dialect).
#pragma once

#include "DbConnection.h"
#include "Money.h"

#include <QDateTime>
#include <QHash>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>
#include <QVariantList>

#include <optional>
#include <type_traits>
#include <vector>

Q_DECLARE_METATYPE(Money)

// A caller's condition: SQL text with '?' placeholders and its arguments, plus an order.
// Condition and order texts come from the program's constants, never from values.
struct SqlFilter {
    QString where;
    QVariantList args;
    QString orderBy;

    SqlFilter() = default;
    SqlFilter(QString condition, QVariantList arguments = {}, QString order = {})
        : where(std::move(condition))
        , args(std::move(arguments))
        , orderBy(std::move(order))
    {
    }
    bool hasCondition() const { return !where.trimmed().isEmpty(); }
    // base + " where " + condition + " order by " + order, as present.
    QString apply(const QString& base, const QString& defaultOrder = QString()) const;
    // For a statement that has its own where clause: base + " and (" + condition + ")" + order.
    // The parentheses keep an "or" of the caller's from reaching past the statement's own condition.
    QString applyAnd(const QString& base, const QString& defaultOrder = QString()) const;
};

// Conversions between the program's values and the database's, per dialect.
QVariant MoneyParam(Money m, SqlDialect dialect);
Money MoneyFromValue(const QVariant& v); // NULL or unreadable: invalid zero
QVariant DateParam(const QDateTime& d);  // local wall time text on both dialects
QDateTime DateFromValue(const QVariant& v);

class CSqlQuery {
public:
    explicit CSqlQuery(const QString& sql, CDBConnection& connection = GetDBConnection());
    ~CSqlQuery();
    CSqlQuery(const CSqlQuery&) = delete;
    CSqlQuery& operator=(const CSqlQuery&) = delete;

    bool isPrepared() const { return m_prepared; }
    SqlDialect dialect() const { return m_dialect; }

    // Positional values, in the order of the '?' placeholders.
    CSqlQuery& bind(int v);
    CSqlQuery& bind(qlonglong v);
    CSqlQuery& bind(bool v) { return bind(v ? 1 : 0); }
    CSqlQuery& bind(const QString& v);
    CSqlQuery& bind(const char16_t* v) { return bind(QString::fromUtf16(v)); }
    CSqlQuery& bind(Money v);
    CSqlQuery& bind(double v);
    CSqlQuery& bind(const QDateTime& v);
    CSqlQuery& bind(const QByteArray& v);
    CSqlQuery& bindNull();
    // An id of a nullable reference column: 0 (or below) is stored as NULL.
    CSqlQuery& bindId(int id);
    // A value of unknown type (filter arguments); Money and QDateTime go through the dialect.
    CSqlQuery& bindVariant(const QVariant& v);
    CSqlQuery& bindAll(const QVariantList& values);

    // Runs the statement; false on any error (see lastError). The bound values are consumed.
    bool exec();
    // Runs it and shows a failure with ReportComError.
    bool execOrReport();
    bool next();
    QSqlError lastError() const;
    int numRowsAffected() const;

    QVariant value(int index) const;
    QVariant value(const char* column) const;
    bool isNull(const char* column) const;
    int intValue(const char* column, int nullValue = -1) const;
    qlonglong longValue(const char* column, qlonglong nullValue = -1) const;
    QString text(const char* column) const; // NULL: empty
    Money money(const char* column) const;  // NULL: invalid zero
    double decimal(const char* column, double nullValue = 0.0) const;
    QDateTime date(const char* column) const;
    QByteArray bytes(const char* column) const;

private:
    int indexOf(const char* column) const;

    CDBConnection& m_connection;
    QString m_sql;
    QSqlQuery m_query;
    SqlDialect m_dialect;
    bool m_prepared = false;
    bool m_executed = false;
    int m_pendingBinds = 0; // values bound since the last run
    mutable QHash<QByteArray, int> m_index;
    mutable bool m_recordRead = false;
    mutable QSqlRecord m_record;
    QSqlError m_error;
};

// Runs the statement and keeps every row the reader accepts (it answers none for a row it refuses).
// None after a failure, which is shown first when `report` is set.
template <class Reader>
auto ReadRows(CSqlQuery& q, Reader read, bool report = true)
    -> std::optional<std::vector<typename std::invoke_result_t<Reader, const CSqlQuery&>::value_type>>
{
    if (!(report ? q.execOrReport() : q.exec()))
        return std::nullopt;
    std::vector<typename std::invoke_result_t<Reader, const CSqlQuery&>::value_type> list;
    while (q.next())
        if (auto rec = read(q))
            list.push_back(std::move(*rec));
    return list;
}

// Runs a statement without results; answers false after showing the error.
template <typename... Args>
bool ExecSql(const QString& sql, const Args&... args)
{
    CSqlQuery q(sql);
    (q.bind(args), ...);
    return q.execOrReport();
}

// Inside a transaction: on PostgreSQL, holds off every other writer of the table until the
// transaction ends, so that an id taken as max + 1 cannot be taken twice. SQLite serialises writers
// itself. The table name is a program constant.
bool LockTableForNewId(const QString& table);

// The largest id of a table + 1 (1 for an empty table), for the tables whose ids the program numbers.
// Run it inside the transaction that inserts the row: it takes the table's writer lock.
std::optional<int> NextTableId(const QString& table);

// A transaction of the main connection (nested ones are savepoints) that rolls back unless committed.
class CTransaction {
public:
    explicit CTransaction(CDBConnection& connection = GetDBConnection());
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool isActive() const { return m_level > 0; }
    bool commit();
    void rollback();

private:
    CDBConnection& m_connection;
    int m_level = 0;
};
