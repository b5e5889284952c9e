#pragma once
// Text forms of dates, fixed rather than taken from the system's locale.
//   FormatDateTime  "2026-12-06 07:01:37"  the one form written to files and messages
//   FormatDay       "2026-12-06"
//   FormatTime      "07:01:37"
//   DateToText      the general form: "2026-12-06 07:01:37", "2026-12-06" at
//                   midnight, "07:01:37" on day 0 (a time alone)

#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::vbdate {

std::string FormatDateTime(double date);
std::string FormatDay(double date);
std::string FormatTime(double date);
std::string DateToText(double date);

// English names: month 1..12, weekday 1..7 from Sunday; empty outside.
std::string_view MonthName(int month);
std::string_view WeekdayName(int weekday);

enum class DateForms {
    // What files carry, also when written on Windows: "yyyy-mm-dd" or "m/d/yyyy"
    // (a year of one or two digits means 2000-2029 or 1930-1999), optionally
    // followed, after a blank or "T", by "h:mm[:ss]" and "AM" or "PM"; or that
    // time alone. Nothing is guessed: "13/1/2026" is no date.
    Stored,
    // Whatever a script may write: also month names ("Dec 6, 2026", "6 December
    // 2026"), a weekday in front, "-", "." or "," between the numbers, the year
    // first or last, the day first when the month cannot be ("13/1/2026"), the
    // time first, "7 PM", and the year left out ("12/6") when currentYear is set.
    Lenient,
};

// nullopt when the text is not a date of the given forms.
std::optional<double> ParseDate(std::string_view text, DateForms forms, int currentYear = 0);

} // namespace tarvelo::vbdate
