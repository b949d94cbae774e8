#include "ProcessExit.h"

#include <cstdio>
#include <unistd.h>

namespace {
ExitHook& Hook()
{
    static ExitHook hook;
    return hook;
}
} // namespace

ExitHook SetExitHook(ExitHook hook)
{
    ExitHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

void EndProcess(int code)
{
    if (Hook())
        Hook()(code);
    std::fflush(nullptr);
    _exit(code);
}
