#include "WorkspaceRefresh.h"

namespace {
IWorkspaceRefresh* g_refresh = nullptr;
}

IWorkspaceRefresh* WorkspaceRefresh()
{
    return g_refresh;
}

void SetWorkspaceRefresh(IWorkspaceRefresh* refresh)
{
    g_refresh = refresh;
}
