// The whole forecast's derived rows at once. One read of the forecast's rows gives every receiver's
// member sums and every receiver group's category sums; the rows are then computed in memory by the
// rules of the walks (GroupSums.h), in the walks' order, and written by sets. Nothing is written when a
// member has no price unit or no conversion, or a sum leaves the money range: the run stops with the
// message the walks give.
#pragma once

#include "RecalcRun.h"

// The rows of every receiver below the root (receiver groups with their members, deepest first), then
// the root's group rows, from the top product down. `children` are the root's children in position
// order.
CCalcStatus RecalcWholeForecast(CRecalcRun& run, const CProductRecord& top, const CReceiverRecord& root,
                                const CReceiverList& children);
