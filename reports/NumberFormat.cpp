#include "NumberFormat.h"

#include <cstdint>

namespace {

constexpr std::uint64_t kPowers[] = {1,        10,        100,        1000,        10000,        100000,       1000000,
                                     10000000, 100000000, 1000000000, 10000000000, 100000000000, 1000000000000};

// |raw| in units of `unit` ten-thousandths, rounded half away from zero.
std::uint64_t Rounded(std::int64_t raw, std::uint64_t unit)
{
    const std::uint64_t magnitude = raw < 0 ? 0 - std::uint64_t(raw) : std::uint64_t(raw);
    std::uint64_t q = magnitude / unit;
    if ((magnitude % unit) * 2 >= unit)
        ++q;
    return q;
}

// q with `decimals` digits after the comma; a rounded zero has no sign.
QString Digits(bool negative, std::uint64_t q, int decimals)
{
    QString text = QString::number(q / kPowers[decimals]);
    if (decimals > 0)
        text += QLatin1Char(',') + QString::number(q % kPowers[decimals]).rightJustified(decimals, u'0');
    return negative && q != 0 ? QLatin1Char('-') + text : text;
}

} // namespace

QString FormatReportNumber(Money value, int format)
{
    const std::int64_t raw = value.raw();
    const bool negative = raw < 0;
    if (format == REPORT_FORMAT_2_DECIMALS || format == REPORT_FORMAT_1_DECIMAL || format == REPORT_FORMAT_WHOLE)
        return FormatFixedDecimals(value, REPORT_FORMAT_WHOLE - format);
    if (format >= REPORT_FORMAT_TENS && format <= REPORT_FORMAT_MILLIONS) {
        const int zeros = format - REPORT_FORMAT_WHOLE;
        const std::uint64_t q = Rounded(raw, kPowers[4 + zeros]);
        return Digits(negative, q, 0) + (q != 0 ? QString(zeros, u'0') : QString());
    }
    QString text = Digits(negative, Rounded(raw, 1), 4);
    while (text.endsWith(u'0') && text.contains(u','))
        text.chop(1);
    if (text.endsWith(u','))
        text.chop(1);
    return text;
}

QString FormatFixedDecimals(Money value, int decimals)
{
    decimals = decimals < 0 ? 0 : decimals > 4 ? 4 : decimals;
    return Digits(value.raw() < 0, Rounded(value.raw(), kPowers[4 - decimals]), decimals);
}
