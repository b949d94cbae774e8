#include "StatementStop.h"

#include <QSqlDriver>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

// Every so many steps of its virtual machine SQLite asks whether the statement is to end.
constexpr int kSqliteSteps = 1000;

int StopAsked(void* stop)
{
    return static_cast<const CStopRequest*>(stop)->stopped() ? 1 : 0;
}

} // namespace

void CStopRequest::Stop()
{
    m_stopped = true;
    std::lock_guard lock(m_mutex);
    for (auto& [key, cancel] : m_cancels)
        cancel();
}

int CStopRequest::AddCancel(std::function<void()> cancel)
{
    std::lock_guard lock(m_mutex);
    m_cancels.emplace(m_next, std::move(cancel));
    return m_next++;
}

void CStopRequest::RemoveCancel(int key)
{
    std::lock_guard lock(m_mutex);
    m_cancels.erase(key);
}

CStatementStopScope::CStatementStopScope(CStopRequest& stop, CDBConnection& connection)
    : m_stop(stop)
{
    const QSqlDatabase db = connection.GetConnection();
    if (!db.isValid())
        return;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid())
        return;
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        auto* sqlite = *static_cast<sqlite3* const*>(handle.data());
        if (!sqlite)
            return;
        m_sqlite = sqlite;
        sqlite3_progress_handler(sqlite, kSqliteSteps, &StopAsked, &m_stop);
    } else if (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0) {
        // The driver's handle names the struct behind libpq's type.
        auto* conn = *static_cast<PGconn* const*>(handle.data());
        PGcancel* cancel = conn ? PQgetCancel(conn) : nullptr;
        if (!cancel)
            return;
        m_cancel = cancel;
        // The cancel request is made for another thread to send.
        m_key = m_stop.AddCancel([cancel] {
            char reason[256];
            PQcancel(cancel, reason, int(sizeof reason));
        });
    }
}

CStatementStopScope::~CStatementStopScope()
{
    if (m_sqlite)
        sqlite3_progress_handler(static_cast<sqlite3*>(m_sqlite), 0, nullptr, nullptr);
    if (m_key >= 0)
        m_stop.RemoveCancel(m_key);
    if (m_cancel)
        PQfreeCancel(static_cast<PGcancel*>(m_cancel));
}
