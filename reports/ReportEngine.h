// The report renderer as the program binds it at start-up and releases it at exit.
#pragma once

// Binds the renderer; false when it cannot be used.
bool LoadReportEngine();
void UnloadReportEngine();
bool IsReportEngineLoaded();
