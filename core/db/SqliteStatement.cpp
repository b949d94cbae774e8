#include "SqliteStatement.h"

#include "DbConnection.h"
#include "SqlDialect.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

std::unique_ptr<CSqliteStatement> CSqliteStatement::Prepare(const QString& sql, QSqlError* error)
{
    CDBConnection& connection = GetDBConnection();
    if (connection.dialect() != SqlDialect::SQLite)
        return nullptr;
    return Prepare(connection.GetConnection(), sql, error);
}

std::unique_ptr<CSqliteStatement> CSqliteStatement::Prepare(const QSqlDatabase& db, const QString& sql,
                                                            QSqlError* error)
{
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3* handle = *static_cast<sqlite3* const*>(v.data());
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare16_v3(handle, sql.utf16(), int(sql.size() * 2), SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
        != SQLITE_OK) {
        if (error)
            *error = QSqlError(QStringLiteral("Unable to execute statement"),
                               QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(handle))),
                               QSqlError::StatementError, QString::number(sqlite3_extended_errcode(handle)));
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::unique_ptr<CSqliteStatement>(new CSqliteStatement(handle, statement));
}

CSqliteStatement::CSqliteStatement(sqlite3* db, sqlite3_stmt* statement)
    : m_db(db)
    , m_statement(statement)
{
}

CSqliteStatement::~CSqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void CSqliteStatement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

void CSqliteStatement::bind(int index, const QString& value)
{
    // An empty text (a null one too) is bound as a text: a null pointer would bind NULL.
    if (value.isEmpty())
        sqlite3_bind_text16(m_statement, index, u"", 0, SQLITE_STATIC);
    else
        sqlite3_bind_text16(m_statement, index, value.utf16(), int(value.size() * 2), SQLITE_TRANSIENT);
}

void CSqliteStatement::bindUtf8(int index, std::string_view value)
{
    // Never a null pointer, which would bind NULL.
    sqlite3_bind_text(m_statement, index, value.empty() ? "" : value.data(), int(value.size()), SQLITE_TRANSIENT);
}

void CSqliteStatement::bindUtf8Held(int index, std::string_view value)
{
    sqlite3_bind_text(m_statement, index, value.empty() ? "" : value.data(), int(value.size()), SQLITE_STATIC);
}

void CSqliteStatement::bind(int index, double value)
{
    sqlite3_bind_double(m_statement, index, value);
}

void CSqliteStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

void CSqliteStatement::Fail()
{
    const int code = sqlite3_extended_errcode(m_db);
    m_error = QSqlError(QStringLiteral("Unable to fetch row"),
                        QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(m_db))),
                        QSqlError::StatementError, QString::number(code));
    if (DialectOf(SqlDialect::SQLite).IsOverflow(m_error))
        m_error = MoneyOverflowError();
}

bool CSqliteStatement::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        Fail();
    return false;
}

bool CSqliteStatement::run()
{
    m_error = QSqlError();
    const int rc = sqlite3_step(m_statement);
    const bool done = rc == SQLITE_DONE || rc == SQLITE_ROW;
    if (!done)
        Fail();
    sqlite3_reset(m_statement);
    return done;
}

std::int64_t CSqliteStatement::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

void CSqliteStatement::clearLastInsertRowId()
{
    sqlite3_set_last_insert_rowid(m_db, 0);
}

void CSqliteStatement::reset()
{
    sqlite3_reset(m_statement);
}

std::int64_t CSqliteStatement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

bool CSqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

Money CSqliteStatement::money(int column, bool* overflow) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return Money::fromRaw(sqlite3_column_int64(m_statement, column));
    case SQLITE_NULL:
        return Money::invalid();
    case SQLITE_FLOAT:
        return DialectOf(SqlDialect::SQLite)
            .MoneyFromValue(QVariant(sqlite3_column_double(m_statement, column)), overflow);
    default:
        return DialectOf(SqlDialect::SQLite)
            .MoneyFromValue(
                QVariant(QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_text16(m_statement, column)))),
                overflow);
    }
}
