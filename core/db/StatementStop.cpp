#include "StatementStop.h"

#include "UiThread.h"

#include <QSqlDriver>

#include <sqlite3.h>

namespace {

// Every so many steps of its virtual machine SQLite asks whether the statement is to end.
constexpr int kSqliteSteps = 1000;

int StopAsked(void* stop)
{
    return static_cast<const CStopRequest*>(stop)->stopped() ? 1 : 0;
}

} // namespace

CStatementStopScope::CStatementStopScope(CStopRequest& stop, CDBConnection& connection)
    : m_stop(stop)
    , m_outer(CurrentThreadStopFlag())
{
    SetThreadStopFlag(stop.flag());
    const QSqlDatabase db = connection.GetConnection();
    if (!db.isValid())
        return;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    auto* sqlite = *static_cast<sqlite3* const*>(handle.data());
    if (!sqlite)
        return;
    m_sqlite = sqlite;
    sqlite3_progress_handler(sqlite, kSqliteSteps, &StopAsked, &m_stop);
}

CStatementStopScope::~CStatementStopScope()
{
    if (m_sqlite)
        sqlite3_progress_handler(static_cast<sqlite3*>(m_sqlite), 0, nullptr, nullptr);
    SetThreadStopFlag(m_outer);
}
