#include "UiThread.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

thread_local const std::atomic<bool>* t_stopFlag = nullptr;
int g_uiOperations = 0; // user-interface thread only

struct QueuedWork {
    std::mutex mutex;
    std::condition_variable done;
    bool started = false;
    bool finished = false;
    bool abandoned = false;
};

} // namespace

bool IsUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void SetThreadStopFlag(const std::atomic<bool>* flag)
{
    t_stopFlag = flag;
}

const std::atomic<bool>* CurrentThreadStopFlag()
{
    return t_stopFlag;
}

bool ThreadStopRequested()
{
    if (t_stopFlag && t_stopFlag->load())
        return true;
    return QThread::currentThread()->isInterruptionRequested();
}

bool RunOnUiThread(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return true;
    }
    auto state = std::make_shared<QueuedWork>();
    // The work refers to the caller's frame: it runs only while the caller still waits for it.
    QMetaObject::invokeMethod(
        app,
        [state, &work] {
            {
                std::lock_guard lock(state->mutex);
                if (state->abandoned)
                    return;
                state->started = true;
            }
            work();
            std::lock_guard lock(state->mutex);
            state->finished = true;
            state->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(state->mutex);
    while (!state->finished) {
        if (!state->started && ThreadStopRequested()) {
            state->abandoned = true;
            return false;
        }
        state->done.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}

void BeginUiOperation()
{
    ++g_uiOperations;
}

void EndUiOperation()
{
    --g_uiOperations;
}

bool UiOperationRunning()
{
    return g_uiOperations > 0;
}
