// The ten report number formats on money, quantity and price cells, and fixed decimals.
#include "NumberFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportNumberFormat, RoundsHalfAwayFromZeroOnTheExactValue)
{
    struct Case {
        std::int64_t raw;
        int format;
        const char* text;
    };
    const Case cases[] = {
        {12345678910, 0, "1234567,891"},
        {12345678910, 1, "1234567,89"},
        {12345678910, 2, "1234567,9"},
        {12345678910, 3, "1234568"},
        {12345678910, 4, "1234570"},
        {12345678910, 5, "1234600"},
        {12345678910, 6, "1235000"},
        {12345678910, 7, "1230000"},
        {12345678910, 8, "1200000"},
        {12345678910, 9, "1000000"},
        {-12345678910, 6, "-1235000"},
        {12345678910, -1, "1234567,891"},
        {12345678910, 10, "1234567,891"},
        {25000, 0, "2,5"},
        {-5000, 0, "-0,5"},
        {0, 0, "0"},
        {1000000, 0, "100"},
        {125, 1, "0,01"},
        {-125, 1, "-0,01"},
        {49, 1, "0,00"},
        {-4000, 3, "0"},
        {5000, 3, "1"},
        {-5000, 3, "-1"},
        {4999999, 6, "0"},
        {5000000, 6, "1000"},
        {INT64_MAX, 9, "922337204000000"},
        {INT64_MIN + 1, 0, "-922337203685477,5807"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatReportNumber(Money::fromRaw(c.raw), c.format).toStdString(), c.text)
            << c.raw << " in format " << c.format;
}

TEST(ReportNumberFormat, PercentagesKeepTheirDecimals)
{
    EXPECT_EQ(FormatFixedDecimals(Money::fromInt(100), 2), "100,00");
    EXPECT_EQ(FormatFixedDecimals(Money::fromRaw(333333), 2), "33,33");
    EXPECT_EQ(FormatFixedDecimals(Money::fromRaw(-6667), 1), "-0,7");
    EXPECT_EQ(FormatFixedDecimals(Money::fromRaw(5), 4), "0,0005");
    EXPECT_EQ(FormatFixedDecimals(Money::fromRaw(5), 9), "0,0005");
}

} // namespace
