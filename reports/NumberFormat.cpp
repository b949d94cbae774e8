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

// q with `decimals` digits after the comma and `zeros` zeros after a q that is not 0; a rounded zero
// has no sign.
int Digits(bool negative, std::uint64_t q, int decimals, int zeros, char16_t* out)
{
    char16_t digits[24];
    int n = 0;
    std::uint64_t v = q;
    do {
        digits[n++] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < decimals + 1)
        digits[n++] = u'0';
    int length = 0;
    if (negative && q != 0)
        out[length++] = u'-';
    for (int i = n - 1; i >= 0; --i) {
        out[length++] = digits[i];
        if (i == decimals && decimals > 0)
            out[length++] = u',';
    }
    for (int i = 0; q != 0 && i < zeros; ++i)
        out[length++] = u'0';
    return length;
}

QString Text(const char16_t* text, int length)
{
    return QString(reinterpret_cast<const QChar*>(text), length);
}

} // namespace

int WriteReportNumber(Money value, int format, char16_t* out)
{
    const std::int64_t raw = value.raw();
    const bool negative = raw < 0;
    if (format == REPORT_FORMAT_2_DECIMALS || format == REPORT_FORMAT_1_DECIMAL || format == REPORT_FORMAT_WHOLE)
        return WriteFixedDecimals(value, REPORT_FORMAT_WHOLE - format, out);
    if (format >= REPORT_FORMAT_TENS && format <= REPORT_FORMAT_MILLIONS) {
        const int zeros = format - REPORT_FORMAT_WHOLE;
        return Digits(negative, Rounded(raw, kPowers[4 + zeros]), 0, zeros, out);
    }
    int length = Digits(negative, Rounded(raw, 1), 4, 0, out);
    while (out[length - 1] == u'0')
        --length;
    if (out[length - 1] == u',')
        --length;
    return length;
}

int WriteFixedDecimals(Money value, int decimals, char16_t* out)
{
    decimals = decimals < 0 ? 0 : decimals > 4 ? 4 : decimals;
    return Digits(value.raw() < 0, Rounded(value.raw(), kPowers[4 - decimals]), decimals, 0, out);
}

QString FormatReportNumber(Money value, int format)
{
    char16_t text[kReportNumberLength];
    return Text(text, WriteReportNumber(value, format, text));
}

QString FormatFixedDecimals(Money value, int decimals)
{
    char16_t text[kReportNumberLength];
    return Text(text, WriteFixedDecimals(value, decimals, text));
}
