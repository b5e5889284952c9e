#pragma once
// VB date values: a double counting days since 1899-12-30, the fraction being
// the time of day. Before that day the whole part counts backwards while the
// fraction still runs forwards (-1.25 is 1899-12-29 06:00), so arithmetic that
// crosses it goes through a continuous "linear" day count. Valid dates run from
// 100-01-01 to 9999-12-31.

#include <cstdint>

namespace tarvelo::vbdate {

constexpr double kMinDate = -657434.0;                      // 100-01-01
constexpr double kMaxDate = 2958465.0 + 86399.0 / 86400.0;  // 9999-12-31 23:59:59
// Before the epoch a time of day makes the value more negative: 100-01-01 12:00 is -657434.5.
inline bool DateInRange(double d) { return d > kMinDate - 1.0 && d < 2958466.0; }

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);  // month 1..12
// A calendar day of the years 100 to 9999.
bool ValidDate(int year, int month, int day);
// Days since 1899-12-30 of a proleptic Gregorian day; month 1..12, day may run past the month.
int64_t SerialDay(int64_t year, int month, int day);

// Whole seconds since 1899-12-30 00:00 on the continuous time line, rounded to
// the nearest second. A value far outside the calendar (or NaN) gives 0.
int64_t SecondNumber(double date);
// Parts of that second (23:59:59.6 is the next midnight).
DateParts SplitDate(double date);
// From valid parts (nothing rolls over).
double MakeDate(const DateParts& p);
// Milliseconds since 1970-01-01 00:00 of some clock to a date on that clock.
double DateFromMillis(int64_t millis);

// Continuous day count (see top) and back.
double DateToLinear(double date);
double LinearToDate(double linear);

} // namespace tarvelo::vbdate
