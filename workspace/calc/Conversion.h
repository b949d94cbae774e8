// Conversion of sums between price units, as the group sums need it.
#pragma once

#include "tables/MConverts.h"

#include <QString>

#include <stdexcept>

// No coefficient is stored for the pair, in either direction.
class CConversionError : public std::logic_error {
public:
    CConversionError(const QString& sourceName, const QString& targetName);
    const QString& sourceName() const { return m_source; }
    const QString& targetName() const { return m_target; }

private:
    QString m_source;
    QString m_target;
};

// A unit of the pair does not exist.
class CUnknownMeasurementError : public std::logic_error {
public:
    explicit CUnknownMeasurementError(int id);
    int measurementId() const { return m_id; }

private:
    int m_id;
};

// The factor that turns a value in `base` into `produce` (CUnitPairCache::Factor): the first stored
// row of the pair (by id), else the reciprocal of the first row of the reverse pair when that is not
// 0. Throws CUnknownMeasurementError for a unit that does not exist, else CConversionError. A
// database error is reported on the way (through ReportComError) and the lookup goes on as if the
// row were missing. The cache holds the coefficients of one run.
double ConversionKoef(CUnitPairCache& units, int base, int produce);
// The same for one pair, without a cache of the caller's.
double GetConversionKoef(int base, int produce);
