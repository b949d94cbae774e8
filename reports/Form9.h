// Form 9, the control forecast: two forecasts (each side its consolidated forecast or the summed data
// of chosen receivers) compared product by product; listed are the products whose money sums of any
// of the three years differ by at least a threshold in percent of the larger one, and those that one
// side lacks.
#pragma once

#include "ErrorSink.h"

#include <QString>

#include <vector>

// An empty receiver list compares that side's consolidated forecast. Rows follow the first forecast's
// product tree. The report id, or -1 after a failure (rows rolled back), which has been shown.
int BuildReportForm9(int threshold, int firstForecast, int secondForecast, const std::vector<int>& firstReceivers,
                     const std::vector<int>& secondReceivers);

// The message of a failed comparison.
QString Form9ErrorText(const DbError& error);
