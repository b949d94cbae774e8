// Average prices of products computed over the database.
#pragma once

#include "tables/TableCommon.h"

#include <array>
#include <optional>
#include <vector>

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

// The lowest, highest and average prices of one product over chosen forecasts.
struct CAvPriceRow {
    int productId = 0;
    QString code;
    QString name;
    // Report minimum, maximum, average; estimate likewise; forecast likewise.
    std::array<double, 9> values{};
};
using CAvPriceList = std::vector<CAvPriceRow>;

// The rows of every priced product of the forecast over the source forecasts (by the product's
// code), in the forecast's price unit of each product; none after a database error.
std::optional<CAvPriceList> CollectAveragePrices(int forecast, const std::vector<int>& sources);
// Each product of the rows takes the averages; its bounds become the report year's lowest and
// highest prices divided by its report price (kept when that price is 0). A product deleted
// meanwhile is passed over. All or nothing, in one transaction.
[[nodiscard]] bool ApplyAveragePrices(int forecast, const CAvPriceList& rows);
