// A statement run through SQLite's own interface on the calling thread's connection to the main
// database, for loops over many rows: Qt binds and reads every value through a QVariant and a
// generated name, which costs more than SQLite's own work on a row. The bulk helpers (CBulkStatement,
// CRowStream) and the statements a connection keeps (CDBConnection::KeptSqliteStatement) use it.
#pragma once

#include "Money.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class CSqliteStatement {
public:
    // None when the main connection is not a SQLite one; `error` is set when the text does not
    // prepare.
    static std::unique_ptr<CSqliteStatement> Prepare(const QString& sql, QSqlError* error);
    // The same on a given connection.
    static std::unique_ptr<CSqliteStatement> Prepare(const QSqlDatabase& db, const QString& sql, QSqlError* error);
    ~CSqliteStatement();
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    // Parameters count from 1.
    void bind(int index, std::int64_t value);
    void bind(int index, const QString& value);
    void bindUtf8(int index, std::string_view value);
    // Without a copy: the bytes must stay as they are until the statement has run and is bound anew.
    void bindUtf8Held(int index, std::string_view value);
    void bind(int index, double value);
    void bindNull(int index);

    // One step: true for a row, false at the end or on an error (see error()).
    bool step();
    // Runs a statement without rows to its end and makes it ready for the next run (the values
    // bound stay).
    bool run();
    void reset();
    QSqlError error() const { return m_error; }
    // The connection's last new row id, and clearing it (an upsert's update leaves it as it was).
    std::int64_t lastInsertRowId() const;
    void clearLastInsertRowId();

    std::int64_t int64(int column) const;
    bool isNull(int column) const;
    // As the dialect reads money: NULL an invalid zero; *overflow for a number beyond the range.
    Money money(int column, bool* overflow) const;

private:
    CSqliteStatement(sqlite3* db, sqlite3_stmt* statement);
    void Fail();

    sqlite3* m_db;
    sqlite3_stmt* m_statement;
    QSqlError m_error;
};

// Binds values one after another from parameter 1 as CSqlQuery binds them on SQLite: money as its
// units, a text never as NULL.
class CSqliteBinder {
public:
    explicit CSqliteBinder(CSqliteStatement& statement)
        : m_statement(statement)
    {
    }
    CSqliteBinder& bind(int v)
    {
        m_statement.bind(++m_index, std::int64_t(v));
        return *this;
    }
    CSqliteBinder& bind(Money v)
    {
        m_statement.bind(++m_index, std::int64_t(v.raw()));
        return *this;
    }
    CSqliteBinder& bind(const QString& v)
    {
        m_statement.bind(++m_index, v);
        return *this;
    }

private:
    CSqliteStatement& m_statement;
    int m_index = 0;
};
