#include "Conversion.h"

#include "CalcTexts.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"

QString CConversionFailure::text() const
{
    if (unknownUnit)
        return CalcTexts::kUnknownMeasurement + QString::number(*unknownUnit);
    return CalcTexts::ConversionMissing(sourceName, targetName);
}

CConversionKoef GetConversionKoef(int base, int produce)
{
    if (const auto direct = FindMConvert(base, produce))
        return direct->koef;
    if (const auto reverse = FindMConvert(produce, base); reverse && reverse->koef != 0.0)
        return 1.0 / reverse->koef;
    const auto source = GetMeasurement(base);
    if (!source)
        return CConversionFailure{base, {}, {}};
    const auto target = GetMeasurement(produce);
    if (!target)
        return CConversionFailure{produce, {}, {}};
    return CConversionFailure{std::nullopt, source->name, target->name};
}

CConversionKoef CConversionCache::Koef(int base, int produce)
{
    if (base == produce)
        return 1.0;
    const auto key = std::make_pair(base, produce);
    if (const auto it = m_known.find(key); it != m_known.end())
        return it->second;
    if (const auto it = m_missing.find(key); it != m_missing.end())
        return it->second;
    CConversionKoef koef = GetConversionKoef(base, produce);
    if (koef)
        m_known.emplace(key, *koef);
    else
        m_missing.emplace(key, koef.failure());
    return koef;
}
