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

// Conversions between the program's values and the database's (money as the dialect binds it).
QVariant MoneyParam(Money m, SqlDialect dialect);
QVariant DateParam(const QDateTime& d); // local wall time text on both dialects
QDateTime DateFromValue(const QVariant& v);

// A value of a six-decimal column (decimal(20,6)), bound rounded to six decimals on both dialects.
struct Decimal6 {
    double value;
};

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
    CSqlQuery& bind(Decimal6 v);
    CSqlQuery& bind(const QDateTime& v);
    CSqlQuery& bind(const QByteArray& v);
    CSqlQuery& bindNull();
    // An id of a nullable reference column: 0 (or below) is stored as NULL.
    CSqlQuery& bindId(int id);
    // A value of unknown type (filter arguments); Money and QDateTime go through the dialect.
    CSqlQuery& bindVariant(const QVariant& v);
    CSqlQuery& bindAll(const QVariantList& values);

    // Runs the statement; false on any error (see lastError). The bound values are consumed. A sum
    // beyond the program's range fails with MoneyOverflowError on both dialects.
    [[nodiscard]] bool exec();
    // Runs it and reports a failure with ReportComError.
    [[nodiscard]] bool execOrReport();
    bool next();
    // The error of the last run, or of a value read since that did not fit the program's range.
    QSqlError lastError() const;
    // Whether a money value read since the last run was beyond the program's range (it read as an
    // invalid zero), or the statement failed while its rows came: the rows are not to be trusted.
    bool readFailed() const { return m_readFailed; }
    int numRowsAffected() const;
    // The driver's handle of the connection (sqlite3*, PGconn*), for what the SQL layer cannot ask.
    QVariant driverHandle() const;

    QVariant value(int index) const;
    QVariant value(const char* column) const;
    bool isNull(const char* column) const;
    int intValue(const char* column, int nullValue = -1) const;
    qlonglong longValue(const char* column, qlonglong nullValue = -1) const;
    QString text(const char* column) const; // NULL: empty
    Money money(const char* column) const;  // NULL: invalid zero
    Money money(int index) const;           // by position, for loops over many rows
    double decimal(const char* column, double nullValue = 0.0) const;
    QDateTime date(const char* column) const;
    QByteArray bytes(const char* column) const;

private:
    int indexOf(const char* column) const;
    Money MoneyOf(const QVariant& v) const;

    CDBConnection& m_connection;
    QString m_sql;
    QSqlQuery m_query;
    SqlDialect m_dialect;
    bool m_prepared = false;
    bool m_executed = false;
    int m_pendingBinds = 0;                 // values bound since the last run
    mutable QHash<QByteArray, int> m_index; // column names of the run's rows by position
    mutable bool m_recordRead = false;
    QSqlError m_error;
    mutable bool m_readFailed = false;
};

// Runs a statement without results; answers false after reporting the error.
template <typename... Args>
[[nodiscard]] bool ExecSql(const QString& sql, const Args&... args)
{
    CSqlQuery q(sql);
    (q.bind(args), ...);
    return q.execOrReport();
}

// A transaction of the main connection (nested ones are savepoints) that rolls back unless committed.
class CTransaction {
public:
    explicit CTransaction(CDBConnection& connection = GetDBConnection());
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool isActive() const { return m_level > 0; }
    [[nodiscard]] bool commit();
    void rollback();

private:
    CDBConnection& m_connection;
    int m_level = 0;
};
