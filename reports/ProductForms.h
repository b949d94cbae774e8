// Builders of the per-product forms 1 (and 1-а), 3, 5 and 6: the product lines of the forecast for
// the chosen receivers (or the consolidated forecast) written into the form's table of the report
// database. Each answers the run's report id, or -1 when nothing was built.
#pragma once

#include "Money.h"
#include "tables/ProductTree.h"

#include <vector>

// numerator ÷ divisor × factor, rounded half to even to four decimals; 0 for a zero divisor.
// Invalid when the quotient leaves the money range.
Money MoneyQuotient(Money numerator, Money divisor, int factor = 1);

// The forecast's top product is put at the head of productIds when it is missing there. An empty
// depth map comes back filled from the product tree.
int BuildReportForm1(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool includeEmptyRows);
int BuildReportForm3(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     bool includeEmptyRows);
// Writes every line, whatever includeEmptyRows says.
int BuildReportForm5(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool includeEmptyRows);
int BuildReportForm6(int forecastId, const std::vector<int>& receiverIds, std::vector<int>& productIds,
                     CProductDepthMap& depthMap, bool includeEmptyRows);
