#include "scripting/vbscript/VbsDate.h"

#include <gtest/gtest.h>

using namespace tarvelo::vbs;

namespace {

double D(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) { return MakeDate({y, m, d, hh, mm, ss}); }

std::string Text(std::optional<double> d) { return d ? DateToText(*d) : "none"; }

} // namespace

TEST(VbsDate, DayNumbersMatchTheEpochAndBothEnds) {
    EXPECT_EQ(D(1899, 12, 30), 0);
    EXPECT_EQ(D(1900, 1, 1), 2);
    EXPECT_EQ(D(2026, 12, 6), 46362);
    EXPECT_EQ(D(100, 1, 1), kMinDate);
    EXPECT_TRUE(DateInRange(D(100, 1, 1, 12)));
    EXPECT_FALSE(DateInRange(D(100, 1, 1) - 1));
    EXPECT_FALSE(DateInRange(D(9999, 12, 31) + 1));
    EXPECT_EQ(D(9999, 12, 31), 2958465);
    // Before the epoch the time still runs forwards: -1.25 is Dec 29 06:00.
    EXPECT_EQ(D(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(DateToText(-1.25), "1899-12-29 06:00:00");
    EXPECT_EQ(DateToText(-0.5), "12:00:00");
}

TEST(VbsDate, TextFormShowsOnlyThePartsPresent) {
    EXPECT_EQ(DateToText(D(2026, 12, 6, 7, 1, 37)), "2026-12-06 07:01:37");
    EXPECT_EQ(DateToText(D(2026, 12, 6)), "2026-12-06");
    EXPECT_EQ(DateToText(D(1899, 12, 30, 19, 5)), "19:05:00");
    EXPECT_EQ(DateToText(0), "00:00:00");
    EXPECT_EQ(DateToText(D(100, 1, 1)), "0100-01-01");
    // Rounds to the nearest second, carrying into the next day.
    EXPECT_EQ(DateToText(D(2026, 12, 6) + 86399.6 / 86400), "2026-12-07");
}

TEST(VbsDate, SerialFunctionsRollOver) {
    EXPECT_EQ(Text(DateSerial(2026, 13, 1)), "2027-01-01");
    EXPECT_EQ(Text(DateSerial(2026, 3, 0)), "2026-02-28");
    EXPECT_EQ(Text(DateSerial(2024, 3, 0)), "2024-02-29");
    EXPECT_EQ(Text(DateSerial(2026, 0, 1)), "2025-12-01");
    EXPECT_EQ(Text(DateSerial(2026, -13, 1)), "2024-11-01");
    EXPECT_EQ(Text(DateSerial(2026, 1, -1)), "2025-12-30");
    EXPECT_EQ(Text(DateSerial(26, 1, 1)), "2026-01-01");
    EXPECT_EQ(Text(DateSerial(30, 1, 1)), "1930-01-01");
    EXPECT_EQ(Text(DateSerial(10000, 1, 1)), "none");
    EXPECT_EQ(Text(DateSerial(1e300, 1, 1)), "none");
    EXPECT_EQ(Text(TimeSerial(25, 0, 0)), "1899-12-31 01:00:00");
    EXPECT_EQ(Text(TimeSerial(12, -15, 0)), "11:45:00");
    EXPECT_EQ(Text(TimeSerial(0, 0, 90)), "00:01:30");
    EXPECT_EQ(Text(TimeSerial(0, -1, 0)), "1899-12-29 23:59:00");
}

TEST(VbsDate, WeekdaysAndNamesFollowTheFirstDay) {
    double sun = D(2026, 12, 6);
    EXPECT_EQ(Weekday(sun), 1);
    EXPECT_EQ(Weekday(sun, 2), 7);  // Monday first
    EXPECT_EQ(Weekday(0), 7);       // 1899-12-30 was a Saturday
    EXPECT_EQ(Weekday(-1.25), 6);
    EXPECT_EQ(WeekdayName(1, false), "Sunday");
    EXPECT_EQ(WeekdayName(1, true, 2), "Mon");
    EXPECT_EQ(WeekdayName(8, false), "");
    EXPECT_EQ(MonthName(12, false), "December");
    EXPECT_EQ(MonthName(9, true), "Sep");
    EXPECT_EQ(MonthName(0, true), "");
}

TEST(VbsDate, DateAddClampsToMonthEndAndKeepsTime) {
    auto add = [](const char* iv, double n, double d) { return Text(DateAdd(*ParseInterval(iv), n, d)); };
    EXPECT_EQ(add("m", 1, D(2026, 1, 31, 8)), "2026-02-28 08:00:00");
    EXPECT_EQ(add("M", -1, D(2024, 3, 31)), "2024-02-29");
    EXPECT_EQ(add("yyyy", 1, D(2024, 2, 29)), "2025-02-28");
    EXPECT_EQ(add("q", 1, D(2026, 11, 30)), "2027-02-28");
    EXPECT_EQ(add("d", -1, D(1899, 12, 30, 6)), "1899-12-29 06:00:00");
    EXPECT_EQ(add("w", 2, D(2026, 12, 6)), "2026-12-08");
    EXPECT_EQ(add("ww", 1, D(2026, 12, 6)), "2026-12-13");
    EXPECT_EQ(add("h", 18, D(2026, 12, 6, 7)), "2026-12-07 01:00:00");
    EXPECT_EQ(add("n", -5, D(2026, 12, 6)), "2026-12-05 23:55:00");
    EXPECT_EQ(add("s", 3600, 0), "01:00:00");
    EXPECT_EQ(add("yyyy", 1, D(9999, 1, 1)), "none");
    EXPECT_FALSE(ParseInterval("x").has_value());
    EXPECT_FALSE(ParseInterval("").has_value());
}

TEST(VbsDate, DateDiffCountsBoundariesCrossed) {
    auto diff = [](const char* iv, double a, double b, int first = 1) {
        return DateDiff(*ParseInterval(iv), a, b, first);
    };
    EXPECT_EQ(diff("yyyy", D(2025, 12, 31), D(2026, 1, 1)), 1);
    EXPECT_EQ(diff("q", D(2026, 3, 31), D(2026, 4, 1)), 1);
    EXPECT_EQ(diff("m", D(2026, 12, 6), D(2026, 1, 31)), -11);
    EXPECT_EQ(diff("d", D(2026, 1, 1, 23), D(2026, 1, 2, 1)), 1);
    EXPECT_EQ(diff("d", D(1899, 12, 29, 6), D(1899, 12, 30, 1)), 1);
    EXPECT_EQ(diff("w", D(2026, 12, 6), D(2026, 12, 19)), 1);
    EXPECT_EQ(diff("w", D(2026, 12, 19), D(2026, 12, 6)), -1);
    EXPECT_EQ(diff("ww", D(2026, 12, 5), D(2026, 12, 6)), 1);     // Sat -> Sun crosses a Sunday
    EXPECT_EQ(diff("ww", D(2026, 12, 5), D(2026, 12, 6), 2), 0);  // not a Monday
    EXPECT_EQ(diff("h", D(2026, 1, 1, 1, 59), D(2026, 1, 1, 2, 1)), 1);
    EXPECT_EQ(diff("n", D(2026, 1, 1, 10, 0, 59), D(2026, 1, 1, 10, 1, 0)), 1);
    EXPECT_EQ(diff("s", D(2026, 1, 1), D(2026, 1, 2)), 86400);
}

TEST(VbsDate, DatePartWeeksOfTheYear) {
    auto part = [](const char* iv, double d, int first = 1, int week = 1) {
        return DatePart(*ParseInterval(iv), d, first, week);
    };
    double d = D(2026, 12, 6, 7, 1, 37);
    EXPECT_EQ(part("yyyy", d), 2026);
    EXPECT_EQ(part("q", d), 4);
    EXPECT_EQ(part("y", d), 340);
    EXPECT_EQ(part("w", d, 2), 7);
    EXPECT_EQ(part("s", d), 37);
    EXPECT_EQ(part("ww", D(2026, 1, 1)), 1);
    EXPECT_EQ(part("ww", D(2026, 1, 4)), 2);  // 2026-01-01 is a Thursday
    EXPECT_EQ(part("ww", D(2026, 1, 4), 2, 2), 1);  // Monday weeks with four days: ISO-like
    EXPECT_EQ(part("ww", D(2026, 1, 5), 2, 2), 2);
    EXPECT_EQ(part("ww", D(2027, 1, 1), 2, 2), 53);  // falls in the last week of 2026
    EXPECT_EQ(part("ww", D(2026, 1, 4), 2, 3), 52);  // before the first full week
}

TEST(VbsDate, ParsesHouseUsAndNamedForms) {
    struct Case { const char* text; const char* want; } cases[] = {
        {"2026-12-06 07:01:37", "2026-12-06 07:01:37"},
        {"2026-12-06", "2026-12-06"},
        {"2026/12/6", "2026-12-06"},
        {"12/6/2026 7:01:37 AM", "2026-12-06 07:01:37"},
        {"12/6/2026 12:00 AM", "2026-12-06"},
        {"12/6/2026 12:30 PM", "2026-12-06 12:30:00"},
        {"12-6-26", "2026-12-06"},
        {"1/2/99", "1999-01-02"},
        {"13/1/2026", "2026-01-13"},
        {"19:01", "19:01:00"},
        {"7:01:37 pm", "19:01:37"},
        {"7 PM", "19:00:00"},
        {"Dec 6, 2026", "2026-12-06"},
        {"6 December 2026 7:00", "2026-12-06 07:00:00"},
        {"Sunday, December 6, 2026", "2026-12-06"},
        {"December 2026", "2026-12-01"},
        {"12/6", "2026-12-06"},
        {"  2/29/2024  ", "2024-02-29"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(ParseDate(c.text, 2026)), c.want) << c.text;
    for (const char* bad : {"", " ", "12", "abc", "2/30/2026", "13/13/2026", "25:00", "7:60", "13:00 PM",
                            "12//2026", "/1/2", "1/2/3/4", "Dec Jan 1", "AM", "12/6/0099", "1.5.2026.1",
                            "12:00 12:00", "2026-12-06x", "12345/1/1"})
        EXPECT_FALSE(ParseDate(bad, 2026).has_value()) << bad;
    EXPECT_FALSE(ParseDate("12/6", 0).has_value());
}

TEST(VbsDate, FormatsNamedForms) {
    double d = D(2026, 12, 6, 19, 1, 37);
    EXPECT_EQ(FormatDate(d, DateFormat::General), "2026-12-06 19:01:37");
    EXPECT_EQ(FormatDate(d, DateFormat::LongDate), "Sunday, December 6, 2026");
    EXPECT_EQ(FormatDate(d, DateFormat::ShortDate), "2026-12-06");
    EXPECT_EQ(FormatDate(d, DateFormat::LongTime), "7:01:37 PM");
    EXPECT_EQ(FormatDate(D(2026, 1, 1, 0, 5), DateFormat::LongTime), "12:05:00 AM");
    EXPECT_EQ(FormatDate(d, DateFormat::ShortTime), "19:01");
    // The long date reads back.
    EXPECT_EQ(ParseDate(FormatDate(d, DateFormat::LongDate), 0), D(2026, 12, 6));
}
