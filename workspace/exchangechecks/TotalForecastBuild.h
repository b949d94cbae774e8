// The consolidated forecast ("сводный прогноз"): one row per product in tfcttotalprognoz, the sums of
// the data rows of the receivers that count (every leaf receiver and every top-level receiver mapped
// to the forecast; all rows of the forecast when it maps none).
#pragma once

#include "CheckLog.h"

// Builds the consolidated rows anew in one transaction: rows that carry a comment keep it with their
// figures zeroed, the others are deleted, then the sums are added in. True when the sums were written.
// No data for the counted receivers is no failure: the cleared rows stay, the log says so, and the
// answer is false. A database error rolls everything back (the rows and comments stay as they were),
// is reported once (ReportComError) and answers false.
bool BuildTotalForecast(CCheckLog& log, int forecast);
