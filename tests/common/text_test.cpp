#include <gtest/gtest.h>

#include "common/Guard.h"
#include "common/Text.h"
#include "common/VbDate.h"
#include "support/CommaLocale.h"

using namespace tarvelo;

TEST(Val, ReadsTheLeadingNumberLikeVb) {
    EXPECT_EQ(Val("12abc"), 12);
    EXPECT_EQ(Val("  -3.5e2x"), -350);
    EXPECT_EQ(Val("1 2 3"), 123);  // blanks between digits are skipped
    EXPECT_EQ(Val("&H1F"), 31);
    EXPECT_EQ(Val("abc"), 0);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("\"3\""), 0);  // a quote is not a number
    EXPECT_EQ(Val(".5"), 0.5);
}

// The Qt application object sets the user's locale; numbers must not follow it.
TEST(Val, IgnoresTheProcessLocale) {
    if (!tarvelo::testing::UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
    const double v = Val("1.5");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(v, 1.5);
}

TEST(IsNumeric, WholeTextMustBeANumber) {
    EXPECT_TRUE(IsNumeric("90"));
    EXPECT_TRUE(IsNumeric(" 90 "));
    EXPECT_TRUE(IsNumeric("-1.5"));
    EXPECT_FALSE(IsNumeric(""));
    EXPECT_FALSE(IsNumeric("90s"));
    EXPECT_FALSE(IsNumeric("abc"));
    EXPECT_FALSE(IsNumeric("1 2"));
}

TEST(ToInt16, RoundsHalfToEvenAndRejectsOverflow) {
    EXPECT_EQ(ToInt16(2.5), 2);
    EXPECT_EQ(ToInt16(3.5), 4);
    EXPECT_EQ(ToInt16(-32768), -32768);
    EXPECT_EQ(ToInt16(32767.4), 32767);
    EXPECT_THROW(ToInt16(32768), VbError);
    EXPECT_THROW(ToInt16(-40000), VbError);
}

TEST(BoolText, TrueWordOrNonZeroNumber) {
    EXPECT_TRUE(BoolText("True"));
    EXPECT_TRUE(BoolText("\"true\""));
    EXPECT_TRUE(BoolText("-1"));
    EXPECT_TRUE(BoolText("1"));
    EXPECT_FALSE(BoolText("yes"));
    EXPECT_FALSE(BoolText("False"));
    EXPECT_FALSE(BoolText(""));
    EXPECT_FALSE(BoolText("0"));
}

TEST(Hex, TwoUpperCaseDigitsAndZeroOutsideAByte) {
    EXPECT_EQ(Hex2(0), "00");
    EXPECT_EQ(Hex2(0xAB), "AB");
    EXPECT_EQ(Hex2(255), "FF");
    EXPECT_EQ(Hex2(256), "00");
    EXPECT_EQ(Hex2(-1), "00");
    EXPECT_EQ(HexValue("1e"), 30);
    EXPECT_EQ(HexValue("FFzz"), 255);
}

TEST(TextHelpers, SplitReplaceTrimCase) {
    EXPECT_EQ(Split("a,b,,c", ","), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(Split("", ","), (std::vector<std::string>{""}));
    EXPECT_EQ(Replace("a b  c", " ", "_"), "a_b__c");
    EXPECT_EQ(TrimSpaces("  \ta b\t  "), "\ta b\t");
    EXPECT_TRUE(EqualsNoCase("UPB\xC9", "upb\xE9"));  // Latin-1 letters fold too
}

TEST(VbDate, WritesOneFormAndReadsItBack) {
    VbDate d = MakeDate(2026, 12, 6, 7, 1, 37);
    EXPECT_EQ(FormatDateTime(d), "2026-12-06 07:01:37");
    EXPECT_EQ(FormatTime(d), "07:01:37");
    auto back = ParseDate(FormatDateTime(d));
    ASSERT_TRUE(back);
    EXPECT_EQ(FormatDateTime(*back), "2026-12-06 07:01:37");
    EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(MakeDate(1970, 1, 1), 25569.0);
}

TEST(VbDate, ReadsUsFormsWrittenOnWindows) {
    EXPECT_EQ(FormatDateTime(*ParseDate("12/6/2026 7:01:37 AM")), "2026-12-06 07:01:37");
    EXPECT_EQ(FormatDateTime(*ParseDate("12/6/2026 7:01:37 PM")), "2026-12-06 19:01:37");
    EXPECT_EQ(FormatDateTime(*ParseDate("12/6/2026 12:05 AM")), "2026-12-06 00:05:00");
    EXPECT_EQ(FormatDateTime(*ParseDate("12/6/2026")), "2026-12-06 00:00:00");
    EXPECT_EQ(FormatDateTime(*ParseDate("2026-12-06")), "2026-12-06 00:00:00");
}

TEST(VbDate, RejectsWhatIsNotADate) {
    for (const char* bad : {"", "abc", "13/40/2026", "2026-02-30", "100", "12/6/2026 25:00", "2026-12-06 junk"})
        EXPECT_FALSE(ParseDate(bad)) << bad;
}
