#include "ShellHooks.h"

CShellHooks& ShellHooks()
{
    static CShellHooks hooks;
    return hooks;
}
