// Work that belongs to the user-interface thread (windows, message boxes), asked for from any thread.
#pragma once

#include <atomic>
#include <functional>

// On the user-interface thread, or without an application object, the work runs at once. From
// another thread it is queued to the user-interface thread and the caller waits until it has run,
// unless the calling thread is asked to stop before the work has started: then the work is dropped
// and the answer is false at once, so that a user-interface thread that joins a worker never
// deadlocks with it.
bool RunOnUiThread(const std::function<void()>& work);

// Whether the calling thread is the user-interface thread (false without an application object).
bool IsUiThread();

// A worker names the flag that asks it to stop (none: only a QThread's interruption request counts).
void SetThreadStopFlag(const std::atomic<bool>* flag);
bool ThreadStopRequested();
// The calling thread's stop flag, none without one.
const std::atomic<bool>* CurrentThreadStopFlag();

// A long operation of the user-interface thread that lets events through while it runs (a log that
// keeps painting): work queued from other threads that must not run inside it asks first.
void BeginUiOperation();
void EndUiOperation();
bool UiOperationRunning();
