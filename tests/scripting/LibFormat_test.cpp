#include "scripting/vbscript/VbsFormat.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvelo::vbs;

TEST(VbsFormat, DoubleTextKeepsFifteenDigitsAndSwitchesToExponent) {
    struct Case { double value; const char* text; } cases[] = {
        {0, "0"}, {-0.0, "0"}, {1, "1"}, {-2.5, "-2.5"}, {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E+15"}, {1e20, "1E+20"}, {1.5e-7, "1.5E-07"}, {0.0001, "0.0001"},
        {1e-5, "1E-05"}, {123456789012345678.0, "1.23456789012346E+17"}, {1e100, "1E+100"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDouble(c.value), c.text) << c.value;
    EXPECT_EQ(FormatSingle(3.14159274f), "3.141593");
    EXPECT_EQ(FormatSingle(0.1f), "0.1");
}

TEST(VbsFormat, CurrencyTextHasUpToFourDecimals) {
    EXPECT_EQ(FormatCurrencyValue(15000), "1.5");
    EXPECT_EQ(FormatCurrencyValue(-1), "-0.0001");
    EXPECT_EQ(FormatCurrencyValue(1230000), "123");
    EXPECT_EQ(FormatCurrencyValue(INT64_MIN), "-922337203685477.5808");
}

TEST(VbsFormat, ParsesNumericTextAsCoercionDoes) {
    struct Case { const char* text; double value; } good[] = {
        {"12", 12}, {"  -3.5  ", -3.5}, {"+.5", 0.5}, {"1.", 1}, {"1e3", 1000}, {"2.5E-2", 0.025},
        {"1,000", 1000}, {"$5", 5}, {"&H1F", 31}, {"&hFFFF", -1}, {"&H10000", 65536},
        {"&HFFFFFFFF", -1}, {"&O17", 15}, {"&17", 15}, {"\t7\r\n", 7},
    };
    for (const auto& c : good) {
        auto v = ParseNumber(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
    }
    for (const char* bad : {"", " ", ".", "+", "1e", "1e+", "12abc", "abc", "1 2", "&H", "&HG",
                            "&H100000000", "&O8", ",1", "1E400", "- 1", "Infinity", "NaN"})
        EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
}

TEST(VbsFormat, RoundIsHalfToEven) {
    EXPECT_EQ(RoundHalfEven(2.5, 0), 2);
    EXPECT_EQ(RoundHalfEven(3.5, 0), 4);
    EXPECT_EQ(RoundHalfEven(-2.5, 0), -2);
    EXPECT_EQ(RoundHalfEven(2.51, 0), 3);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(RoundHalfEven(3.14159, 3), 3.142);
    EXPECT_DOUBLE_EQ(RoundHalfEven(1e300, 5), 1e300);
}

TEST(VbsFormat, HexAndOctOfNegativesAreTwosComplement) {
    EXPECT_EQ(HexText(255, 32), "FF");
    EXPECT_EQ(HexText(0, 16), "0");
    EXPECT_EQ(HexText(-1, 16), "FFFF");
    EXPECT_EQ(HexText(-1, 32), "FFFFFFFF");
    EXPECT_EQ(HexText(-32768, 16), "8000");
    EXPECT_EQ(OctText(8, 32), "10");
    EXPECT_EQ(OctText(-1, 16), "177777");
    EXPECT_EQ(OctText(-1, 32), "37777777777");
}

TEST(VbsFormat, FormatNumberGroupsRoundsAndSignsAsAsked) {
    NumberStyle d;
    EXPECT_EQ(FormatNumberText(1234567.891, d), "1,234,567.89");
    EXPECT_EQ(FormatNumberText(0.125, d), "0.13");
    EXPECT_EQ(FormatNumberText(1.005, d), "1.01");
    EXPECT_EQ(FormatNumberText(999.995, d), "1,000.00");
    EXPECT_EQ(FormatNumberText(-0.001, d), "0.00");
    EXPECT_EQ(FormatNumberText(1e20, d), "100,000,000,000,000,000,000.00");
    EXPECT_EQ(FormatNumberText(2.5, NumberStyle{0, true, false, true}), "3");
    EXPECT_EQ(FormatNumberText(0.5, NumberStyle{2, false, false, true}), ".50");
    EXPECT_EQ(FormatNumberText(-1234.5, NumberStyle{1, true, true, false}), "(1234.5)");
    EXPECT_EQ(FormatPercentText(0.125, d), "12.50%");
    EXPECT_EQ(FormatPercentText(-0.5, NumberStyle{0, true, true, true}), "(50%)");
    EXPECT_EQ(FormatCurrencyText(-1234.5, d), "-$1,234.50");
    EXPECT_EQ(FormatCurrencyText(1234.5, NumberStyle{0, true, false, false}), "$1235");
}
