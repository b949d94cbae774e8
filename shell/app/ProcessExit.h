// Ending the process at once, without the application's shut-down steps. Tests replace the hook
// (it may throw to unwind); the default flushes the standard streams and calls _exit.
#pragma once

#include <functional>

using ExitHook = std::function<void(int code)>;

ExitHook SetExitHook(ExitHook hook);
[[noreturn]] void EndProcess(int code);
