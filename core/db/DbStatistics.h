// The planner's statistics, kept up to date by the program itself: after a write that changes many
// rows (an import, a deletion) the tables it changed are analysed when their size has moved far from
// what their statistics say, and at the end of the program SQLite analyses what its work showed to
// need it. Neither ever fails an operation: without fresh statistics the plans stay as they were.
#pragma once

#include <initializer_list>
#include <span>

// Once the calling thread's outermost transaction has committed (at once outside one): each named
// table (a program constant) is analysed when it has rows and was never analysed, or holds more than
// twice or less than half the rows its statistics counted. SQLite analyses itself; on a server only a
// table's owner may analyse it, so a function of the owner's (lir_refresh_statistics) decides and
// analyses, and a database without that function (not yet prepared by this version) stays as it is.
void RefreshStatistics(std::span<const char* const> tables);
void RefreshStatistics(std::initializer_list<const char*> tables);

// Before the main connection of the user-interface thread closes: SQLite's PRAGMA optimize, which
// analyses the tables whose statistics that connection's statements would have used and that lack
// them or have grown much since. A server's own autovacuum keeps its statistics meanwhile.
void OptimizeStatisticsBeforeClose();
