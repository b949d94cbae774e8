// Average prices of products computed over the database.
#pragma once

#include "tables/TableCommon.h"

// The means over the selected products of the lower and upper admissible prices of the three years
// and of the three average prices, all in one unit of price.
struct CAveragePriceRanges {
    double minPrev = 0.0;
    double maxPrev = 0.0;
    double avRep = 0.0;
    double minCur = 0.0;
    double maxCur = 0.0;
    double avCur = 0.0;
    double minNext = 0.0;
    double maxNext = 0.0;
    double avProg = 0.0;
};

// Sum over quantity of the product's figures in the forecast (the current one), per year, over the
// rows with a quantity; 0 for a year without one. False after a database error (all three 0).
[[nodiscard]] bool ComputeDataAveragePrices(int forecast, int productId, double& last, double& curr, double& next);

// Stores the averages of ComputeDataAveragePrices as avRep, avCur and avProg of every element of the
// forecast that has a price row, all or none: a failure part-way leaves the stored averages as they
// were. Only the three averages are written, so that what others changed meanwhile stays, and a
// product deleted meanwhile stays deleted.
[[nodiscard]] bool RecalculateAveragePrices(int forecast);

// The filter is a condition over the aliases p (tclsproduct) and pr (its price row in the same
// forecast). A product whose price unit has no conversion to the unit counts with factor 1. No
// product selected gives zeros; a database error gives zeros and false.
[[nodiscard]] bool ComputeAveragePriceRanges(const SqlFilter& filter, int unit, CAveragePriceRanges& out);
