// Conversion of sums between price units, as the group sums need it.
#pragma once

#include <QString>

#include <exception>
#include <map>
#include <stdexcept>
#include <utility>

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

// The factor that turns a value in `base` into `produce`: the first stored row of the pair (by id),
// else the reciprocal of the first row of the reverse pair when that is not 0. Throws
// CUnknownMeasurementError for a unit that does not exist, else CConversionError. A database error
// is reported on the way (through ReportComError) and the lookup goes on as if the row were missing.
double GetConversionKoef(int base, int produce);

// The coefficients of one run: each pair is looked up once, a pair without a coefficient too (its
// error is thrown again). Equal units need no lookup.
class CConversionCache {
public:
    double Koef(int base, int produce);

private:
    std::map<std::pair<int, int>, double> m_known;
    std::map<std::pair<int, int>, std::exception_ptr> m_missing;
};
