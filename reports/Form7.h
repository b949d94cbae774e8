// Form 7: the organisations taking part in a forecast, with the final receivers each stands for.
#pragma once

#include <vector>

// Writes one row per chosen receiver of the forecast's receiver tree, in tree order (a chosen id that
// is no receiver of the tree is ignored). The report id, or -1 after a failure (rows rolled back).
int BuildReportForm7(int forecastId, const std::vector<int>& receiverIds);
