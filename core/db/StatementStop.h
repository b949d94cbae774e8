// A stop that the user asks for while a long operation runs on another thread: the operation looks at
// it between its steps, and a statement it is running ends at once (SQLite through its progress
// handler, a server through a cancel request), failing as an interrupted statement. Any stop control
// (a key, a button) raises the same request, whatever operation it belongs to.
#pragma once

#include "DbConnection.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

class CStopRequest {
public:
    CStopRequest() = default;
    CStopRequest(const CStopRequest&) = delete;
    CStopRequest& operator=(const CStopRequest&) = delete;

    // From any thread; the statements that the stopped work runs are cancelled.
    void Stop();
    bool stopped() const { return m_stopped.load(std::memory_order_relaxed); }

    // What ends a running statement, registered by the working thread; the key to remove it.
    int AddCancel(std::function<void()> cancel);
    void RemoveCancel(int key);

private:
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
    std::map<int, std::function<void()>> m_cancels;
    int m_next = 0;
};

// On the working thread, for its life: the statements of that thread's connection end when the
// request is raised.
class CStatementStopScope {
public:
    CStatementStopScope(CStopRequest& stop, CDBConnection& connection);
    ~CStatementStopScope();
    CStatementStopScope(const CStatementStopScope&) = delete;
    CStatementStopScope& operator=(const CStatementStopScope&) = delete;

private:
    CStopRequest& m_stop;
    void* m_sqlite = nullptr;
    void* m_cancel = nullptr; // the server's cancel handle
    int m_key = -1;
};
