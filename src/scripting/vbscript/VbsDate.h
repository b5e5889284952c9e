#pragma once
// Dates as the language keeps them: a double counting days since 1899-12-30,
// the fraction being the time of day. Before that day the whole part counts
// backwards while the fraction still runs forwards (-1.25 is 1899-12-29 06:00),
// so arithmetic that crosses the epoch goes through a continuous "linear" day
// count. Valid dates run from 100-01-01 to 9999-12-31.
//
// Text forms (fixed, not taken from the system locale):
//   CStr / general date  "2026-12-06 07:01:37"; "2026-12-06" at midnight;
//                        "07:01:37" on day 0 (a time alone)
//   long date            "Sunday, December 6, 2026"
//   short date           "2026-12-06"
//   long time            "7:01:37 AM"  (US English, 12-hour)
//   short time           "07:01"       (24-hour)
// Reading accepts the house form, US forms ("12/6/2026 7:01:37 AM"), month
// names ("Dec 6, 2026", "6 December 2026") and times alone ("19:01", "7 PM").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::vbs {

constexpr double kMinDate = -657434.0;                           // 100-01-01
constexpr double kMaxDate = 2958465.0 + 86399.0 / 86400.0;       // 9999-12-31 23:59:59
// Before the epoch a time of day makes the value more negative: 100-01-01 12:00 is -657434.5.
inline bool DateInRange(double d) { return d > kMinDate - 1.0 && d < 2958466.0; }

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

// Broken-down parts (time rounded to the nearest second). The value must be in range.
DateParts SplitDate(double date);
// From parts that are already valid (no rolling).
double MakeDate(const DateParts& p);

// DateSerial: months and days roll over (month 13 is January of the next year,
// day 0 the last day of the previous month); years 0-29 mean 2000-2029 and
// 30-99 mean 1930-1999. nullopt when the result is out of range.
std::optional<double> DateSerial(double year, double month, double day);
// TimeSerial: hours, minutes and seconds roll over; may leave day 0.
std::optional<double> TimeSerial(double hour, double minute, double second);

// Weekday 1..7 counted from firstDay (1 = Sunday ... 7 = Saturday; 0 = Sunday).
int Weekday(double date, int firstDay = 1);
// English names; weekday counted from firstDay as above. Empty when out of 1..7 / 1..12.
std::string WeekdayName(int weekday, bool abbreviate, int firstDay = 1);
std::string MonthName(int month, bool abbreviate);

// Interval names of DateAdd, DateDiff and DatePart: yyyy q m y d w ww h n s.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };
std::optional<Interval> ParseInterval(std::string_view text);

// Adding months clamps the day to the month's end (Jan 31 + 1 month = Feb 28).
// nullopt when the result is out of range.
std::optional<double> DateAdd(Interval interval, double number, double date);
// Boundaries crossed from d1 to d2 (DateDiff("yyyy", #12/31/2025#, #1/1/2026#) = 1).
// firstDay/firstWeek matter for "ww" (weeks counted by their first day).
int64_t DateDiff(Interval interval, double d1, double d2, int firstDay = 1);
// firstWeek: 0/1 week of Jan 1, 2 first week with four days, 3 first full week.
int DatePart(Interval interval, double date, int firstDay = 1, int firstWeek = 1);

// Text to date. currentYear fills in the year for "12/6" and "Dec 6".
std::optional<double> ParseDate(std::string_view text, int currentYear);
// CStr form, see above.
std::string DateToText(double date);
enum class DateFormat { General = 0, LongDate = 1, ShortDate = 2, LongTime = 3, ShortTime = 4 };
std::string FormatDate(double date, DateFormat format);

// Continuous day count (see top) and back.
double DateToLinear(double date);
double LinearToDate(double linear);

} // namespace tarvelo::vbs
