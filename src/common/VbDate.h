#pragma once
// VB-style local date-time values: days since 1899-12-30 with the time of day
// as the fraction, kept by the shared date core (vbdate/). One text form is
// written ("yyyy-mm-dd hh:mm:ss"); reading also accepts the US forms that files
// edited on Windows carry ("12/6/2026 7:01:37 AM", "12/6/2026").

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/date/Calendar.h"
#include "common/date/DateText.h"

namespace tarvelo {

using VbDate = double;

using vbdate::DateParts;
using vbdate::FormatDateTime;  // "yyyy-mm-dd hh:mm:ss"
using vbdate::FormatTime;      // "hh:mm:ss"
using vbdate::SplitDate;

inline VbDate DateFromLocalMillis(int64_t localMillis) { return vbdate::DateFromMillis(localMillis); }

inline VbDate MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return vbdate::MakeDate({year, month, day, hour, minute, second});
}

// The stored forms only: a file's date is never guessed at. nullopt when the text is not one.
inline std::optional<VbDate> ParseDate(std::string_view text) {
    return vbdate::ParseDate(text, vbdate::DateForms::Stored);
}

} // namespace tarvelo
