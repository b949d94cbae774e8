#include "Conversion.h"

#include "CalcTexts.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"

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

double GetConversionKoef(int base, int produce)
{
    if (const auto direct = FindMConvert(base, produce))
        return direct->koef;
    if (const auto reverse = FindMConvert(produce, base); reverse && reverse->koef != 0.0)
        return 1.0 / reverse->koef;
    const auto source = GetMeasurement(base);
    if (!source)
        throw CUnknownMeasurementError(base);
    const auto target = GetMeasurement(produce);
    if (!target)
        throw CUnknownMeasurementError(produce);
    throw CConversionError(source->name, target->name);
}

double CConversionCache::Koef(int base, int produce)
{
    if (base == produce)
        return 1.0;
    const auto key = std::make_pair(base, produce);
    if (const auto it = m_known.find(key); it != m_known.end())
        return it->second;
    if (const auto it = m_missing.find(key); it != m_missing.end())
        std::rethrow_exception(it->second);
    try {
        const double koef = GetConversionKoef(base, produce);
        m_known.emplace(key, koef);
        return koef;
    } catch (const std::logic_error&) {
        m_missing.emplace(key, std::current_exception());
        throw;
    }
}
