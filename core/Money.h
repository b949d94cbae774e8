// Money and quantities: a 64-bit integer in ten-thousandths with a validity state.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

class Money {
public:
    static constexpr std::int64_t kScale = 10000;

    constexpr Money() = default;
    static constexpr Money fromRaw(std::int64_t units, bool valid = true) { return Money(units, valid); }
    static constexpr Money invalid() { return Money(0, false); }
    static constexpr Money fromInt(std::int64_t whole) { return Money(whole * kScale, true); }
    // Rounds half to even to four decimals; none for NaN, infinity or a value outside the range.
    static std::optional<Money> fromDouble(double value);

    constexpr std::int64_t raw() const { return units_; }
    constexpr bool isValid() const { return valid_; }
    constexpr bool isZero() const { return units_ == 0; }
    double toDouble() const { return double(units_) / double(kScale); }

    // Text as written in the data documents: "1234.5", "-0.5", "0"; no grouping, '.' always.
    QString toXmlText() const;
    // Reads that text; anything else gives an invalid zero.
    static Money fromXmlText(QStringView text);
    // Reads what a user typed: ',' or '.' as the decimal separator, blanks as grouping.
    static std::optional<Money> parseInput(QStringView text);
    // The text for an edit field, with the given decimal separator.
    QString toInputText(QChar separator = u',') const;

    // Arithmetic keeps the validity: an invalid operand or an overflow gives an invalid result.
    Money operator+(Money other) const;
    Money operator-(Money other) const;
    Money operator-() const;
    Money& operator+=(Money other) { return *this = *this + other; }
    Money& operator-=(Money other) { return *this = *this - other; }

    friend constexpr bool operator==(Money a, Money b) { return a.units_ == b.units_; }
    friend constexpr auto operator<=>(Money a, Money b) { return a.units_ <=> b.units_; }

private:
    constexpr Money(std::int64_t units, bool valid)
        : units_(units)
        , valid_(valid)
    {
    }

    std::int64_t units_ = 0;
    bool valid_ = true;
};

// quantity × price through doubles, rounded back to four decimals; none on overflow.
std::optional<Money> MulMoneyDouble(Money a, double b);

// Six-decimal values (decimal(20,6) in the schema): at most 14 digits before the point.
inline constexpr double kDecimal6Limit = 1e14;
// Whether a value fits a six-decimal column: finite and below the limit.
bool IsDecimal6(double value);
// The value rounded to six decimals, half away from zero, as its shortest decimal text reads (what a
// user typed), so 0.0000005 gives 0.000001 and 1e-7 gives 0. Not finite: unchanged.
double RoundDecimal6(double value);
// The text of a six-decimal value as RoundDecimal6 leaves it, without the zeros after its last digit
// or a bare point: "4.5", "-0.000001", "100", "0"; '.' always, no grouping. Only the digits the value
// holds: 12345678901234.57, never the binary fraction's 12345678901234.570312. Empty when not finite.
QString Decimal6Text(double value);
