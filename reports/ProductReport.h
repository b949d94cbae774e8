// The blank form: the forecast's product classifier as an empty table to fill in by hand, all of it or
// only chosen products (the tree is still walked whole, so that a chosen product under an unchosen
// group appears), with a footer line after each chosen group that carries a balancing line.
#pragma once

#include <QString>

#include <map>
#include <vector>

class CReportTable;
using CUnitSymbolCache = std::map<int, QString>; // unit id -> symbol, for one run

// The report id; 0 when only chosen products are wanted and the forecast has no top product (the
// header row stays); -1 after a failure (rows rolled back). The receiver is not used.
int BuildProductReport(int forecastId, const std::vector<int>& productIds, int receiverId, int allProducts);

// Writes the lines of parentId's subtree at `level` (its children get level + 1 dashes).
void WriteProductTreeRows(int forecastId, int parentId, int level, CReportTable& table, const std::vector<int>& chosen,
                          CUnitSymbolCache& unitCache, int& lineCounter, int allProducts);
