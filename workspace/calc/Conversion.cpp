#include "Conversion.h"

#include "CalcTexts.h"

CConversionError::CConversionError(const QString& sourceName, const QString& targetName)
    : std::logic_error(CalcTexts::ConversionMissing(sourceName, targetName).toStdString())
    , m_source(sourceName)
    , m_target(targetName)
{
}

CUnknownMeasurementError::CUnknownMeasurementError(int id)
    : std::logic_error(CalcTexts::kUnknownMeasurement)
    , m_id(id)
{
}

double ConversionKoef(CUnitPairCache& units, int base, int produce)
{
    if (const auto koef = units.Factor(base, produce))
        return *koef;
    const auto source = units.Name(base);
    if (!source)
        throw CUnknownMeasurementError(base);
    const auto target = units.Name(produce);
    if (!target)
        throw CUnknownMeasurementError(produce);
    throw CConversionError(*source, *target);
}

double GetConversionKoef(int base, int produce)
{
    CUnitPairCache units;
    return ConversionKoef(units, base, produce);
}
