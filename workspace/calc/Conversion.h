// Conversion of sums between price units, as the group sums need it.
#pragma once

#include "CalcResult.h"
#include "tables/MConverts.h"

#include <QString>

#include <optional>

// Why a pair of units has no factor: a unit of the pair does not exist, or no coefficient is stored
// for the pair in either direction.
struct CConversionFailure {
    std::optional<int> unknownUnit;
    QString sourceName; // the names of the pair, when both units exist
    QString targetName;

    // The message the user is shown.
    QString text() const;
};

using CConversionKoef = CCalcResult<double, CConversionFailure>;

// The factor that turns a value in `base` into `produce` (CUnitPairCache::Factor): the first stored
// row of the pair (by id), else the reciprocal of the first row of the reverse pair when that is not
// 0; otherwise why there is none. A database error is reported on the way (through ReportComError)
// and the lookup goes on as if the row were missing. The cache holds the coefficients of one run.
CConversionKoef ConversionKoef(CUnitPairCache& units, int base, int produce);
// The same for one pair, without a cache of the caller's.
CConversionKoef GetConversionKoef(int base, int produce);
