#pragma once
// The language's date functions over the shared date core (common/date/): values are
// days since 1899-12-30 with the time of day as the fraction.
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

#include "common/date/Calendar.h"
#include "common/date/DateText.h"

namespace tarvelo::vbs {

using vbdate::DateInRange;
using vbdate::DateParts;
using vbdate::DateToLinear;
using vbdate::DateToText;
using vbdate::kMinDate;
using vbdate::LinearToDate;
using vbdate::MakeDate;
using vbdate::SplitDate;

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

// Text to date, in any form a script may write. currentYear fills in the year for "12/6" and "Dec 6".
inline std::optional<double> ParseDate(std::string_view text, int currentYear) {
    return vbdate::ParseDate(text, vbdate::DateForms::Lenient, currentYear);
}
enum class DateFormat { General = 0, LongDate = 1, ShortDate = 2, LongTime = 3, ShortTime = 4 };
std::string FormatDate(double date, DateFormat format);

} // namespace tarvelo::vbs
