#include "ReportEngine.h"

#include <atomic>

namespace {
std::atomic<bool> g_loaded{false};
} // namespace

// The renderer is built into the program: there is no library to find, binding only marks it
// ready for the report dialogs.
bool LoadReportEngine()
{
    g_loaded = true;
    return true;
}

void UnloadReportEngine()
{
    g_loaded = false;
}

bool IsReportEngineLoaded()
{
    return g_loaded;
}
