#pragma once
// VB-style local date-time values: days since 1899-12-30 with the time of day
// as the fraction. One text form is written ("yyyy-mm-dd hh:mm:ss"); reading
// also accepts the US forms that files edited on Windows carry
// ("12/6/2026 7:01:37 AM", "12/6/2026").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

using VbDate = double;

VbDate DateFromLocalMillis(int64_t localMillis);
VbDate MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

struct DateParts {
    int year, month, day, hour, minute, second;
};
DateParts SplitDate(VbDate date);

// "yyyy-mm-dd hh:mm:ss"
std::string FormatDateTime(VbDate date);
// "hh:mm:ss"
std::string FormatTime(VbDate date);
// nullopt when the text is not a date.
std::optional<VbDate> ParseDate(std::string_view text);

} // namespace tarvelo
