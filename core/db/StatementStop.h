// A stop that the user asks for while a long operation runs on another thread: the operation looks at
// it between its steps, and what it runs meanwhile ends at once. Any stop control (a key, a button)
// raises the same request, whatever operation it belongs to.
#pragma once

#include "DbConnection.h"

#include <atomic>

class CStopRequest {
public:
    CStopRequest() = default;
    CStopRequest(const CStopRequest&) = delete;
    CStopRequest& operator=(const CStopRequest&) = delete;

    // From any thread.
    void Stop() { m_stopped = true; }
    bool stopped() const { return m_stopped.load(std::memory_order_relaxed); }
    const std::atomic<bool>* flag() const { return &m_stopped; }

private:
    std::atomic<bool> m_stopped{false};
};

// On the working thread, for its life: the request is the thread's stop (a server statement is
// cancelled and a wait for a lock ends when it is raised, as for any worker asked to stop), and a
// SQLite statement of the thread's connection ends at once too, as an interrupted statement.
class CStatementStopScope {
public:
    CStatementStopScope(CStopRequest& stop, CDBConnection& connection);
    ~CStatementStopScope();
    CStatementStopScope(const CStatementStopScope&) = delete;
    CStatementStopScope& operator=(const CStatementStopScope&) = delete;

private:
    CStopRequest& m_stop;
    const std::atomic<bool>* m_outer;
    void* m_sqlite = nullptr;
};
