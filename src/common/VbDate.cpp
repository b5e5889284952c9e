#include "common/VbDate.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tarvelo {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr int64_t kEpochOffsetDays = 25569;  // 1899-12-30 -> 1970-01-01

bool ValidDate(int y, int m, int d) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int max = days[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) max = 29;
    return d <= max;
}

// Reads an unsigned decimal number at text[i]; returns -1 when none.
int ReadNumber(std::string_view t, size_t& i, int maxDigits = 4) {
    int v = 0, n = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && n < maxDigits) {
        v = v * 10 + (t[i] - '0');
        ++i;
        ++n;
    }
    return n ? v : -1;
}

void SkipBlanks(std::string_view t, size_t& i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
}

// Time part "h:mm[:ss] [AM|PM]" from i to the end.
bool ReadTime(std::string_view t, size_t& i, int& h, int& mi, int& s) {
    h = ReadNumber(t, i, 2);
    if (h < 0 || i >= t.size() || t[i] != ':') return false;
    ++i;
    mi = ReadNumber(t, i, 2);
    if (mi < 0) return false;
    s = 0;
    if (i < t.size() && t[i] == ':') {
        ++i;
        s = ReadNumber(t, i, 2);
        if (s < 0) return false;
    }
    SkipBlanks(t, i);
    if (i + 1 < t.size() + 0 && i < t.size()) {
        char a = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
        if ((a == 'A' || a == 'P') && i + 1 < t.size() &&
            std::toupper(static_cast<unsigned char>(t[i + 1])) == 'M') {
            if (h < 1 || h > 12) return false;
            if (a == 'A' && h == 12) h = 0;
            if (a == 'P' && h != 12) h += 12;
            i += 2;
        }
    }
    SkipBlanks(t, i);
    return h <= 23 && mi <= 59 && s <= 59;
}

} // namespace

VbDate DateFromLocalMillis(int64_t localMillis) {
    return static_cast<double>(localMillis) / 86400000.0 + static_cast<double>(kEpochOffsetDays);
}

VbDate MakeDate(int year, int month, int day, int hour, int minute, int second) {
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kEpochOffsetDays;
    double frac = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before 1899-12-30 the fraction counts away from zero, as VB stores it.
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

DateParts SplitDate(VbDate date) {
    double whole = std::trunc(date);
    double frac = std::fabs(date - whole);
    int64_t secs = static_cast<int64_t>(std::llround(frac * 86400.0));
    int64_t days = static_cast<int64_t>(whole);
    if (secs >= 86400) { secs -= 86400; days += date >= 0 ? 1 : -1; }
    DateParts p{};
    CivilFromDays(days - kEpochOffsetDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>((secs / 60) % 60);
    p.second = static_cast<int>(secs % 60);
    return p;
}

std::string FormatDateTime(VbDate date) {
    DateParts p = SplitDate(date);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
}

std::string FormatTime(VbDate date) {
    DateParts p = SplitDate(date);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

std::optional<VbDate> ParseDate(std::string_view text) {
    size_t i = 0;
    SkipBlanks(text, i);
    size_t start = i;
    int a = ReadNumber(text, i);
    if (a < 0) return std::nullopt;
    int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
    if (i < text.size() && text[i] == '-' && i - start == 4) {
        // yyyy-mm-dd
        ++i;
        m = ReadNumber(text, i, 2);
        if (m < 0 || i >= text.size() || text[i] != '-') return std::nullopt;
        ++i;
        d = ReadNumber(text, i, 2);
        y = a;
    } else if (i < text.size() && text[i] == '/') {
        // m/d/yyyy
        ++i;
        d = ReadNumber(text, i, 2);
        if (d < 0 || i >= text.size() || text[i] != '/') return std::nullopt;
        ++i;
        size_t ys = i;
        y = ReadNumber(text, i);
        if (y < 0) return std::nullopt;
        if (i - ys <= 2) y += y < 30 ? 2000 : 1900;
        m = a;
    } else if (i < text.size() && text[i] == ':') {
        // A time alone: the time of day on day zero.
        i = start;
        if (!ReadTime(text, i, h, mi, s) || i != text.size()) return std::nullopt;
        return (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    } else {
        return std::nullopt;
    }
    if (!ValidDate(y, m, d)) return std::nullopt;
    if (i < text.size() && (text[i] == ' ' || text[i] == 'T' || text[i] == '\t')) {
        ++i;
        SkipBlanks(text, i);
        if (i < text.size() && !ReadTime(text, i, h, mi, s)) return std::nullopt;
    }
    SkipBlanks(text, i);
    if (i != text.size()) return std::nullopt;
    return MakeDate(y, m, d, h, mi, s);
}

} // namespace tarvelo
