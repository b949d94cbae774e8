#include "Conversion.h"

#include "CalcTexts.h"

QString CConversionFailure::text() const
{
    if (unknownUnit)
        return CalcTexts::kUnknownMeasurement;
    return CalcTexts::ConversionMissing(sourceName, targetName);
}

CConversionKoef ConversionKoef(CUnitPairCache& units, int base, int produce)
{
    if (const auto koef = units.Factor(base, produce))
        return *koef;
    const auto source = units.Name(base);
    if (!source)
        return CConversionFailure{base, {}, {}};
    const auto target = units.Name(produce);
    if (!target)
        return CConversionFailure{produce, {}, {}};
    return CConversionFailure{std::nullopt, *source, *target};
}

CConversionKoef GetConversionKoef(int base, int produce)
{
    CUnitPairCache units;
    return ConversionKoef(units, base, produce);
}
