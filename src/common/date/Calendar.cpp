#include "common/date/Calendar.h"

#include <cmath>

namespace tarvelo::vbdate {

namespace {

constexpr int64_t kEpoch = -25569;  // DaysFromCivil(1899, 12, 30)

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

} // namespace

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
    static const int kLen[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kLen[m - 1];
}

bool ValidDate(int y, int m, int d) {
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

int64_t SerialDay(int64_t y, int m, int d) { return DaysFromCivil(y, m, d) - kEpoch; }

int64_t SecondNumber(double date) {
    if (!(std::fabs(date) < 1e9)) return 0;
    const double whole = std::trunc(date);
    // The fraction is the time of day on both sides of the epoch; taking it
    // before scaling keeps its seconds exact.
    return static_cast<int64_t>(whole) * 86400 + std::llround(std::fabs(date - whole) * 86400.0);
}

DateParts SplitDate(double date) {
    const int64_t s = SecondNumber(date);
    int64_t day = s / 86400, sec = s % 86400;
    if (sec < 0) {
        sec += 86400;
        --day;
    }
    DateParts p;
    CivilFromDays(day + kEpoch, p.year, p.month, p.day);
    p.hour = static_cast<int>(sec / 3600);
    p.minute = static_cast<int>(sec / 60 % 60);
    p.second = static_cast<int>(sec % 60);
    return p;
}

double MakeDate(const DateParts& p) {
    const double day = static_cast<double>(SerialDay(p.year, p.month, p.day));
    return LinearToDate(day + (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0);
}

double DateFromMillis(int64_t millis) {
    return LinearToDate(static_cast<double>(millis) / 86400000.0 - static_cast<double>(kEpoch));
}

double DateToLinear(double date) {
    if (date >= 0) return date;
    const double whole = std::trunc(date);
    return whole + (whole - date);
}

double LinearToDate(double linear) {
    if (linear >= 0) return linear;
    const double day = std::floor(linear);
    const double frac = linear - day;
    return frac == 0 ? day : day - frac;
}

} // namespace tarvelo::vbdate
