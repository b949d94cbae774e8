#include "Money.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

TEST(Money, XmlTextForm)
{
    EXPECT_EQ(Money::fromDouble(1234.5)->toXmlText(), "1234.5");
    EXPECT_EQ(Money().toXmlText(), "0");
    EXPECT_EQ(Money::fromDouble(-0.5)->toXmlText(), "-0.5");
    EXPECT_EQ(Money::fromRaw(1).toXmlText(), "0.0001");
    EXPECT_EQ(Money::fromRaw(-123456789).toXmlText(), "-12345.6789");
    EXPECT_EQ(Money::fromRaw(std::numeric_limits<std::int64_t>::min()).toXmlText(), "-922337203685477.5808");
    EXPECT_EQ(Money::fromRaw(std::numeric_limits<std::int64_t>::max()).toXmlText(), "922337203685477.5807");
    EXPECT_EQ(Money::fromRaw(1010852360712344844).toXmlText(), "101085236071234.4844") << "as a double: .484375";
}

// Only the digits that the double holds, never the binary fraction that "%f" shows.
TEST(Money, Decimal6TextHoldsTheDigitsOfTheValueOnly)
{
    for (const auto& [value, text] : {std::pair{4.5, "4.5"},
                                      {0.1 + 0.2, "0.3"},
                                      {-2.0 / 3.0, "-0.666667"},
                                      {0.0000005, "0.000001"},
                                      {-1e-7, "0"},
                                      {-0.0, "0"},
                                      {12345678901234.57, "12345678901234.57"}, // "%f": ...570312
                                      {123456789012.345678, "123456789012.34567"},
                                      {std::numeric_limits<double>::quiet_NaN(), ""}})
        EXPECT_EQ(Decimal6Text(value), text) << value;
}

TEST(Money, XmlTextParsing)
{
    EXPECT_EQ(Money::fromXmlText(u"1234.5").raw(), 12345000);
    EXPECT_TRUE(Money::fromXmlText(u"1234.5").isValid());
    EXPECT_EQ(Money::fromXmlText(u"-0.0001").raw(), -1);
    EXPECT_EQ(Money::fromXmlText(u" 7 ").raw(), 70000);
    EXPECT_EQ(Money::fromXmlText(u"922337203685477.5807").raw(), std::numeric_limits<std::int64_t>::max());

    for (const char16_t* bad : {u"abc", u"", u"12,5", u"1.2.3", u"-", u"922337203685477.5808", u"1e5"}) {
        Money m = Money::fromXmlText(bad);
        EXPECT_FALSE(m.isValid()) << QString::fromUtf16(bad).toStdString();
        EXPECT_EQ(m.raw(), 0);
    }
    // Extra decimals round half to even.
    EXPECT_EQ(Money::fromXmlText(u"0.00025").raw(), 2);
    EXPECT_EQ(Money::fromXmlText(u"0.00035").raw(), 4);
    EXPECT_EQ(Money::fromXmlText(u"0.000251").raw(), 3);
}

TEST(Money, UserInputAcceptsBothSeparators)
{
    EXPECT_EQ(Money::parseInput(u"12,5")->raw(), 125000);
    EXPECT_EQ(Money::parseInput(u"12.5")->raw(), 125000);
    EXPECT_EQ(Money::parseInput(u"1 234,5")->raw(), 12345000);
    EXPECT_EQ(Money::parseInput(u"-3")->raw(), -30000);
    EXPECT_FALSE(Money::parseInput(u"abc"));
    EXPECT_FALSE(Money::parseInput(u""));
    EXPECT_EQ(Money::fromRaw(125000).toInputText(u','), "12,5");
}

TEST(Money, FromDoubleRoundsHalfToEvenAndRefusesOverflow)
{
    EXPECT_EQ(Money::fromDouble(0.00025)->raw(), 2);
    EXPECT_EQ(Money::fromDouble(0.00035)->raw(), 4);
    EXPECT_EQ(Money::fromDouble(-0.00025)->raw(), -2);
    EXPECT_EQ(Money::fromDouble(12.5)->raw(), 125000);
    EXPECT_FALSE(Money::fromDouble(1e15));
    EXPECT_FALSE(Money::fromDouble(-1e15));
    EXPECT_FALSE(Money::fromDouble(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(Money::fromDouble(std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(Money::fromDouble(9e14));
}

TEST(Money, ArithmeticKeepsValidity)
{
    Money a = Money::fromRaw(15000), b = Money::fromRaw(2500);
    EXPECT_EQ((a + b).raw(), 17500);
    EXPECT_EQ((a - b).raw(), 12500);
    EXPECT_FALSE((a + Money::invalid()).isValid());
    EXPECT_FALSE((Money::fromRaw(std::numeric_limits<std::int64_t>::max()) + Money::fromRaw(1)).isValid());
    EXPECT_FALSE((-Money::fromRaw(std::numeric_limits<std::int64_t>::min())).isValid());
    EXPECT_EQ(MulMoneyDouble(Money::fromInt(3), 2.5)->raw(), 75000);
    EXPECT_FALSE(MulMoneyDouble(Money::fromInt(900000000000000), 100.0));
}

TEST(Money, TextIsLocaleFree)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
    EXPECT_EQ(Money::fromDouble(1234.5)->toXmlText(), "1234.5");
    EXPECT_EQ(Money::fromXmlText(u"1234.5").raw(), 12345000);
    std::setlocale(LC_ALL, saved.c_str());
}
