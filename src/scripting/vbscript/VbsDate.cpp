#include "scripting/vbscript/VbsDate.h"

#include <cmath>
#include <cstdio>

namespace tarvelo::vbs {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

using vbdate::DaysInMonth;
using vbdate::SecondNumber;
using vbdate::SerialDay;

int64_t DayNumber(double date) { return FloorDiv(SecondNumber(date), 86400); }

std::optional<double> FromSeconds(int64_t seconds) {
    double d = LinearToDate(static_cast<double>(seconds) / 86400.0);
    if (!DateInRange(d)) return std::nullopt;
    return d;
}

int WeekdayOfDay(int64_t day, int firstDay) {
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    return static_cast<int>(FloorMod(day - firstDay, 7)) + 1;
}

int WeekOfYear(int64_t day, int year, int firstDay, int firstWeek) {
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    auto weekOne = [&](int y) {
        int64_t jan1 = SerialDay(y, 1, 1);
        int64_t wd = FloorMod(jan1 - firstDay, 7);  // days since the week's first day
        if (firstWeek == 2) return wd <= 3 ? jan1 - wd : jan1 - wd + 7;
        if (firstWeek == 3) return wd == 0 ? jan1 : jan1 - wd + 7;
        return jan1 - wd;
    };
    int64_t start = weekOne(year);
    if (day < start) start = weekOne(year - 1);
    return static_cast<int>(FloorDiv(day - start, 7)) + 1;
}

std::string Two(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

} // namespace

std::optional<double> DateSerial(double year, double month, double day) {
    if (!(std::fabs(year) < 1e6 && std::fabs(month) < 1e8 && std::fabs(day) < 1e9)) return std::nullopt;
    int64_t y = static_cast<int64_t>(year), m = static_cast<int64_t>(month), d = static_cast<int64_t>(day);
    if (y >= 0 && y < 30) y += 2000;
    else if (y >= 30 && y < 100) y += 1900;
    y += FloorDiv(m - 1, 12);
    m = FloorMod(m - 1, 12) + 1;
    if (y < 0 || y > 20000) return std::nullopt;
    double result = static_cast<double>(SerialDay(y, static_cast<int>(m), 1) + d - 1);
    if (result < kMinDate || result > 2958465.0) return std::nullopt;
    return result;
}

std::optional<double> TimeSerial(double hour, double minute, double second) {
    if (!(std::fabs(hour) < 1e8 && std::fabs(minute) < 1e9 && std::fabs(second) < 1e10)) return std::nullopt;
    int64_t s = static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + static_cast<int64_t>(second);
    return FromSeconds(s);
}

int Weekday(double date, int firstDay) { return WeekdayOfDay(DayNumber(date), firstDay); }

std::string WeekdayName(int weekday, bool abbreviate, int firstDay) {
    if (weekday < 1 || weekday > 7) return {};
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    std::string name(vbdate::WeekdayName((weekday - 1 + firstDay - 1) % 7 + 1));
    if (abbreviate) name.resize(3);
    return name;
}

std::string MonthName(int month, bool abbreviate) {
    std::string name(vbdate::MonthName(month));
    if (abbreviate && !name.empty()) name.resize(3);
    return name;
}

std::optional<Interval> ParseInterval(std::string_view text) {
    std::string t;
    for (char c : text) t += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    static const struct { const char* name; Interval iv; } kNames[] = {
        {"yyyy", Interval::Year}, {"q", Interval::Quarter}, {"m", Interval::Month},
        {"y", Interval::DayOfYear}, {"d", Interval::Day}, {"w", Interval::Weekday},
        {"ww", Interval::Week}, {"h", Interval::Hour}, {"n", Interval::Minute}, {"s", Interval::Second}};
    for (const auto& n : kNames)
        if (t == n.name) return n.iv;
    return std::nullopt;
}

std::optional<double> DateAdd(Interval interval, double number, double date) {
    if (!(std::fabs(number) < 1e11)) return std::nullopt;
    int64_t n = static_cast<int64_t>(std::nearbyint(number));
    switch (interval) {
    case Interval::Year: n *= 12; [[fallthrough]];
    case Interval::Quarter: if (interval == Interval::Quarter) n *= 3; [[fallthrough]];
    case Interval::Month: {
        DateParts p = SplitDate(date);
        int64_t months = int64_t{p.year} * 12 + (p.month - 1) + n;
        int64_t y = FloorDiv(months, 12);
        if (y < 100 || y > 9999) return std::nullopt;
        p.year = static_cast<int>(y);
        p.month = static_cast<int>(FloorMod(months, 12)) + 1;
        if (p.day > DaysInMonth(p.year, p.month)) p.day = DaysInMonth(p.year, p.month);
        return MakeDate(p);
    }
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: return FromSeconds(SecondNumber(date) + n * 86400);
    case Interval::Week: return FromSeconds(SecondNumber(date) + n * 7 * 86400);
    case Interval::Hour: return FromSeconds(SecondNumber(date) + n * 3600);
    case Interval::Minute: return FromSeconds(SecondNumber(date) + n * 60);
    case Interval::Second: return FromSeconds(SecondNumber(date) + n);
    }
    return std::nullopt;
}

int64_t DateDiff(Interval interval, double d1, double d2, int firstDay) {
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    switch (interval) {
    case Interval::Year:
    case Interval::Quarter:
    case Interval::Month: {
        DateParts a = SplitDate(d1), b = SplitDate(d2);
        if (interval == Interval::Year) return b.year - a.year;
        if (interval == Interval::Quarter) return (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3);
        return (b.year * 12 + b.month) - (a.year * 12 + a.month);
    }
    case Interval::DayOfYear:
    case Interval::Day: return DayNumber(d2) - DayNumber(d1);
    case Interval::Weekday: return (DayNumber(d2) - DayNumber(d1)) / 7;
    case Interval::Week: return FloorDiv(DayNumber(d2) - firstDay, 7) - FloorDiv(DayNumber(d1) - firstDay, 7);
    case Interval::Hour: return FloorDiv(SecondNumber(d2), 3600) - FloorDiv(SecondNumber(d1), 3600);
    case Interval::Minute: return FloorDiv(SecondNumber(d2), 60) - FloorDiv(SecondNumber(d1), 60);
    case Interval::Second: return SecondNumber(d2) - SecondNumber(d1);
    }
    return 0;
}

int DatePart(Interval interval, double date, int firstDay, int firstWeek) {
    DateParts p = SplitDate(date);
    switch (interval) {
    case Interval::Year: return p.year;
    case Interval::Quarter: return (p.month - 1) / 3 + 1;
    case Interval::Month: return p.month;
    case Interval::DayOfYear: return static_cast<int>(DayNumber(date) - SerialDay(p.year, 1, 1)) + 1;
    case Interval::Day: return p.day;
    case Interval::Weekday: return Weekday(date, firstDay);
    case Interval::Week: return WeekOfYear(DayNumber(date), p.year, firstDay, firstWeek);
    case Interval::Hour: return p.hour;
    case Interval::Minute: return p.minute;
    case Interval::Second: return p.second;
    }
    return 0;
}

std::string FormatDate(double date, DateFormat format) {
    DateParts p = SplitDate(date);
    switch (format) {
    case DateFormat::General: return DateToText(date);
    case DateFormat::ShortDate: return vbdate::FormatDay(date);
    case DateFormat::LongDate:
        return std::string(vbdate::WeekdayName(WeekdayOfDay(DayNumber(date), 1))) + ", " +
               std::string(vbdate::MonthName(p.month)) + ' ' + std::to_string(p.day) + ", " + std::to_string(p.year);
    case DateFormat::LongTime: {
        int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        return std::to_string(h12) + ':' + Two(p.minute) + ':' + Two(p.second) + (p.hour < 12 ? " AM" : " PM");
    }
    case DateFormat::ShortTime: return Two(p.hour) + ':' + Two(p.minute);
    }
    return DateToText(date);
}

} // namespace tarvelo::vbs
