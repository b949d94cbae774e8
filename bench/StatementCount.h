// Counts the SQL statements the main SQLite connection starts while an object of it lives, through
// SQLite's trace (trigger programs aside).
#pragma once

#include "db/DbConnection.h"

#include <QSqlDriver>

#include <sqlite3.h>

class CStatementCount {
public:
    // Nothing is counted when the main connection is not a SQLite one (valid() is false).
    CStatementCount()
    {
        const QVariant v = GetDBConnection().GetConnection().driver()->handle();
        if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
            m_handle = *static_cast<sqlite3* const*>(v.data());
        if (m_handle)
            sqlite3_trace_v2(m_handle, SQLITE_TRACE_STMT, &Count, this);
    }
    ~CStatementCount()
    {
        if (m_handle)
            sqlite3_trace_v2(m_handle, 0, nullptr, nullptr);
    }
    CStatementCount(const CStatementCount&) = delete;
    CStatementCount& operator=(const CStatementCount&) = delete;

    bool valid() const { return m_handle != nullptr; }
    sqlite3* handle() const { return m_handle; }
    long long statements() const { return m_statements; }

private:
    static int Count(unsigned, void* self, void*, void* text)
    {
        const char* sql = static_cast<const char*>(text);
        if (!(sql && sql[0] == '-' && sql[1] == '-'))
            ++static_cast<CStatementCount*>(self)->m_statements;
        return 0;
    }

    sqlite3* m_handle = nullptr;
    long long m_statements = 0;
};
