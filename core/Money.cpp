#include "Money.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

std::optional<Money> Money::fromDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double scaled = std::nearbyint(value * double(kScale)); // ties to even in the default mode
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0)
        return std::nullopt;
    return Money(static_cast<std::int64_t>(scaled), true);
}

QString Money::toXmlText() const
{
    const bool negative = units_ < 0;
    // Work in unsigned so that the smallest value has a magnitude.
    const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(units_) : std::uint64_t(units_);
    QString out = negative ? QStringLiteral("-") : QString();
    out += QString::number(magnitude / kScale);
    std::uint64_t frac = magnitude % kScale;
    if (frac) {
        QString digits = QString::number(frac).rightJustified(4, u'0');
        while (digits.endsWith(u'0'))
            digits.chop(1);
        out += u'.';
        out += digits;
    }
    return out;
}

namespace {

// Parses [sign] digits [sep digits] with the given separators; extra decimals round half to even.
std::optional<std::int64_t> ParseDecimal(QStringView text, bool userInput)
{
    // Only typed input may hold grouping blanks, which need a copy without them.
    QString blanksOut;
    if (userInput) {
        blanksOut.reserve(text.size());
        for (QChar c : text)
            if (c != u' ' && c != QChar(0x00A0) && c != QChar(0x202F))
                blanksOut += c;
        text = blanksOut;
    }
    const QStringView s = text.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (s[i] == u'-' || s[i] == u'+') {
        negative = s[i] == u'-';
        ++i;
    }
    unsigned __int128 whole = 0;
    int digits = 0;
    for (; i < s.size() && s[i].isDigit() && s[i].unicode() < 128; ++i, ++digits) {
        whole = whole * 10 + (s[i].unicode() - u'0');
        if (whole > (unsigned __int128)(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
    }
    std::uint64_t frac = 0;
    int fracDigits = 0;
    int roundDigit = -1;
    bool stickyBeyond = false;
    if (i < s.size() && (s[i] == u'.' || (userInput && s[i] == u','))) {
        ++i;
        for (; i < s.size() && s[i].isDigit() && s[i].unicode() < 128; ++i, ++digits) {
            int d = s[i].unicode() - u'0';
            if (fracDigits < 4) {
                frac = frac * 10 + d;
                ++fracDigits;
            } else if (roundDigit < 0) {
                roundDigit = d;
            } else if (d) {
                stickyBeyond = true;
            }
        }
    }
    if (i != s.size() || digits == 0)
        return std::nullopt;
    while (fracDigits < 4) {
        frac *= 10;
        ++fracDigits;
    }
    unsigned __int128 units = whole * Money::kScale + frac;
    if (roundDigit > 5 || (roundDigit == 5 && (stickyBeyond || (units & 1))))
        ++units;
    const unsigned __int128 limit = negative ? (unsigned __int128)(std::numeric_limits<std::int64_t>::max()) + 1
                                             : (unsigned __int128)(std::numeric_limits<std::int64_t>::max());
    if (units > limit)
        return std::nullopt;
    return negative ? std::int64_t(-(__int128)units) : std::int64_t(units);
}

bool AddOverflows(std::int64_t a, std::int64_t b, std::int64_t* out)
{
    return __builtin_add_overflow(a, b, out);
}

} // namespace

Money Money::fromXmlText(QStringView text)
{
    auto v = ParseDecimal(text, false);
    return v ? Money(*v, true) : Money::invalid();
}

std::optional<Money> Money::parseInput(QStringView text)
{
    auto v = ParseDecimal(text, true);
    if (!v)
        return std::nullopt;
    return Money(*v, true);
}

QString Money::toInputText(QChar separator) const
{
    QString t = toXmlText();
    t.replace(u'.', separator);
    return t;
}

Money Money::operator+(Money other) const
{
    std::int64_t r;
    if (!valid_ || !other.valid_ || AddOverflows(units_, other.units_, &r))
        return Money::invalid();
    return Money(r, true);
}

Money Money::operator-(Money other) const
{
    std::int64_t r;
    if (!valid_ || !other.valid_ || __builtin_sub_overflow(units_, other.units_, &r))
        return Money::invalid();
    return Money(r, true);
}

Money Money::operator-() const
{
    if (!valid_ || units_ == std::numeric_limits<std::int64_t>::min())
        return Money::invalid();
    return Money(-units_, true);
}

std::optional<Money> MulMoneyDouble(Money a, double b)
{
    return Money::fromDouble(a.toDouble() * b);
}

bool IsDecimal6(double value)
{
    return std::isfinite(value) && std::fabs(value) < kDecimal6Limit;
}

double RoundDecimal6(double value)
{
    if (!std::isfinite(value))
        return value;
    // The shortest text that reads back as the value, in plain notation (at most 309 digits before
    // the point and 330 after it).
    char buffer[700];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    std::string digits(buffer, r.ptr);
    const auto point = digits.find('.');
    if (point == std::string::npos || digits.size() - point - 1 <= 6)
        return value;
    const bool up = digits[point + 7] >= '5';
    digits.resize(point + 7);
    if (up) {
        // Carry from the last decimal leftwards, over the point.
        std::size_t i = digits.size();
        while (i-- > 0) {
            if (digits[i] == '.')
                continue;
            if (digits[i] != '9') {
                ++digits[i];
                break;
            }
            digits[i] = '0';
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }
    double rounded = 0.0;
    std::from_chars(digits.data(), digits.data() + digits.size(), rounded);
    return value < 0 && rounded != 0.0 ? -rounded : rounded;
}

QString Decimal6Text(double value)
{
    if (!std::isfinite(value))
        return QString();
    // The shortest text of the rounded value has at most six decimals: the six-decimal text it was
    // read from reads back as it too.
    char buffer[700];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, RoundDecimal6(value), std::chars_format::fixed);
    if (r.ptr - buffer == 2 && buffer[0] == '-' && buffer[1] == '0')
        return QStringLiteral("0");
    return QString::fromLatin1(buffer, int(r.ptr - buffer));
}
