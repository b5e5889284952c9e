#include "scripting/vbscript/VbsDate.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace tarvelo::vbs {

namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Days since 1970-01-01 of a proleptic Gregorian date.
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

constexpr int64_t kEpoch = -25569;  // DaysFromCivil(1899, 12, 30)

int64_t DayIndex(int y, int m, int d) { return DaysFromCivil(y, m, d) - kEpoch; }

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int64_t y, int m) {
    static const int kLen[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kLen[m - 1];
}

// Whole seconds on the linear time line (rounded to the nearest second).
int64_t SecondNumber(double date) { return std::llround(DateToLinear(date) * 86400.0); }
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
        int64_t jan1 = DayIndex(y, 1, 1);
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

std::string DatePartText(const DateParts& p) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buf;
}

std::string TimePartText(const DateParts& p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

// ---- text to date ----

struct Token {
    enum Kind { Number, Month, AmPm } kind;
    int value;     // number, month 1..12, or 0 = AM / 12 = PM
    int digits;    // digits of a number
    char sepBefore;  // the separator before it (' ' for blanks only, 0 at the start)
};

bool Lex(std::string_view t, std::vector<Token>& out) {
    char sep = 0;
    bool any = false;  // a word or number was read
    size_t i = 0;
    while (i < t.size()) {
        char c = t[i];
        if (c != ' ' && c != '\t' && ((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))) any = true;
        if (c == ' ' || c == '\t') {
            if (sep == 0 && !out.empty()) sep = ' ';
            ++i;
        } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
            if (!any || (sep != 0 && sep != ' ')) return false;  // "/1/2", "1//2"
            sep = c;
            ++i;
        } else if (c >= '0' && c <= '9') {
            int v = 0, n = 0;
            for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++n) {
                if (n == 4) return false;
                v = v * 10 + (t[i] - '0');
            }
            out.push_back({Token::Number, v, n, sep});
            sep = 0;
        } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
            std::string w;
            for (; i < t.size() && (t[i] | 0x20) >= 'a' && (t[i] | 0x20) <= 'z'; ++i)
                w += static_cast<char>(t[i] | 0x20);
            if (w == "am" || w == "a" || w == "pm" || w == "p") {
                out.push_back({Token::AmPm, w[0] == 'p' ? 12 : 0, 0, sep});
                sep = 0;
                continue;
            }
            auto matches = [&](const char* name) {
                std::string n;
                for (const char* p = name; *p; ++p) n += static_cast<char>(*p | 0x20);
                return w == n || (w.size() >= 3 && n.compare(0, w.size(), w) == 0);
            };
            bool found = false;
            for (int m = 0; m < 12 && !found; ++m)
                if (matches(kMonths[m])) {
                    out.push_back({Token::Month, m + 1, 0, sep});
                    sep = 0;
                    found = true;
                }
            // A weekday name in front ("Sunday, December 6, 2026") is allowed and ignored.
            for (int d = 0; d < 7 && !found; ++d) found = matches(kDays[d]) && out.empty();
            if (!found) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool YearLike(const Token& t) { return t.digits >= 3 || t.value > 31; }

bool ResolveYear(const Token& t, int& year) {
    if (t.digits <= 2) year = t.value < 30 ? 2000 + t.value : 1900 + t.value;
    else if (t.value < 100) return false;
    else year = t.value;
    return true;
}

} // namespace

double DateToLinear(double date) {
    if (date >= 0) return date;
    double whole = std::trunc(date);
    return whole + (whole - date);
}

double LinearToDate(double linear) {
    if (linear >= 0) return linear;
    double day = std::floor(linear);
    double frac = linear - day;
    return frac == 0 ? day : day - frac;
}

DateParts SplitDate(double date) {
    int64_t s = SecondNumber(date);
    int64_t day = FloorDiv(s, 86400);
    int64_t sec = s - day * 86400;
    DateParts p;
    CivilFromDays(day + kEpoch, p.year, p.month, p.day);
    p.hour = static_cast<int>(sec / 3600);
    p.minute = static_cast<int>(sec / 60 % 60);
    p.second = static_cast<int>(sec % 60);
    return p;
}

double MakeDate(const DateParts& p) {
    double days = static_cast<double>(DayIndex(p.year, p.month, p.day));
    return LinearToDate(days + (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0);
}

std::optional<double> DateSerial(double year, double month, double day) {
    if (!(std::fabs(year) < 1e6 && std::fabs(month) < 1e8 && std::fabs(day) < 1e9)) return std::nullopt;
    int64_t y = static_cast<int64_t>(year), m = static_cast<int64_t>(month), d = static_cast<int64_t>(day);
    if (y >= 0 && y < 30) y += 2000;
    else if (y >= 30 && y < 100) y += 1900;
    y += FloorDiv(m - 1, 12);
    m = FloorMod(m - 1, 12) + 1;
    if (y < 0 || y > 20000) return std::nullopt;
    double result = static_cast<double>(DayIndex(static_cast<int>(y), static_cast<int>(m), 1) + d - 1);
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
    std::string name = kDays[(weekday - 1 + firstDay - 1) % 7];
    if (abbreviate) name.resize(3);
    return name;
}

std::string MonthName(int month, bool abbreviate) {
    if (month < 1 || month > 12) return {};
    std::string name = kMonths[month - 1];
    if (abbreviate) name.resize(3);
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
    case Interval::DayOfYear: return static_cast<int>(DayNumber(date) - DayIndex(p.year, 1, 1)) + 1;
    case Interval::Day: return p.day;
    case Interval::Weekday: return Weekday(date, firstDay);
    case Interval::Week: return WeekOfYear(DayNumber(date), p.year, firstDay, firstWeek);
    case Interval::Hour: return p.hour;
    case Interval::Minute: return p.minute;
    case Interval::Second: return p.second;
    }
    return 0;
}

std::optional<double> ParseDate(std::string_view text, int currentYear) {
    std::vector<Token> toks;
    if (!Lex(text, toks) || toks.empty()) return std::nullopt;

    // The time: "h:mm[:ss]" or "h AM", with an optional AM/PM after it.
    bool hasTime = false;
    int hour = 0, minute = 0, second = 0;
    std::vector<Token> dateToks;
    for (size_t i = 0; i < toks.size(); ++i) {
        const Token& t = toks[i];
        bool colonNext = i + 1 < toks.size() && toks[i + 1].kind == Token::Number && toks[i + 1].sepBefore == ':';
        bool ampmNext = i + 1 < toks.size() && toks[i + 1].kind == Token::AmPm;
        if (t.kind == Token::Number && (colonNext || ampmNext)) {
            if (hasTime) return std::nullopt;
            hasTime = true;
            hour = t.value;
            size_t j = i + 1;
            if (colonNext) {
                minute = toks[j++].value;
                if (j < toks.size() && toks[j].kind == Token::Number && toks[j].sepBefore == ':') second = toks[j++].value;
            }
            if (j < toks.size() && toks[j].kind == Token::AmPm) {
                if (hour > 12) return std::nullopt;
                if (toks[j].value == 12 && hour < 12) hour += 12;
                else if (toks[j].value == 0 && hour == 12) hour = 0;
                ++j;
            }
            if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
            i = j - 1;
        } else if (t.kind == Token::AmPm || t.sepBefore == ':') {
            return std::nullopt;
        } else {
            dateToks.push_back(t);
        }
    }

    double days = 0;
    if (!dateToks.empty()) {
        std::vector<Token> nums;
        int month = 0;
        for (const Token& t : dateToks) {
            if (t.kind == Token::Month) {
                if (month) return std::nullopt;
                month = t.value;
            } else {
                nums.push_back(t);
            }
        }
        int year = 0, day = 0;
        const size_t n = nums.size();
        if (month) {
            if (n == 2) {
                const Token& y = YearLike(nums[0]) ? nums[0] : nums[1];
                const Token& d = YearLike(nums[0]) ? nums[1] : nums[0];
                if (!ResolveYear(y, year)) return std::nullopt;
                day = d.value;
            } else if (n == 1 && YearLike(nums[0])) {
                if (!ResolveYear(nums[0], year)) return std::nullopt;
                day = 1;
            } else if (n == 1 && currentYear) {
                year = currentYear;
                day = nums[0].value;
            } else {
                return std::nullopt;
            }
        } else if (n == 3) {
            if (YearLike(nums[0])) {
                if (!ResolveYear(nums[0], year)) return std::nullopt;
                month = nums[1].value;
                day = nums[2].value;
            } else {
                month = nums[0].value;
                day = nums[1].value;
                if (!ResolveYear(nums[2], year)) return std::nullopt;
                if (month > 12 && day <= 12) std::swap(month, day);  // a day-first date
            }
        } else if (n == 2) {
            if (YearLike(nums[1])) {
                month = nums[0].value;
                if (!ResolveYear(nums[1], year)) return std::nullopt;
                day = 1;
            } else if (YearLike(nums[0])) {
                if (!ResolveYear(nums[0], year)) return std::nullopt;
                month = nums[1].value;
                day = 1;
            } else if (currentYear) {
                year = currentYear;
                month = nums[0].value;
                day = nums[1].value;
                if (month > 12 && day <= 12) std::swap(month, day);
            } else {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
        if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
            return std::nullopt;
        days = static_cast<double>(DayIndex(year, month, day));
    } else if (!hasTime) {
        return std::nullopt;
    }
    return LinearToDate(days + (hour * 3600 + minute * 60 + second) / 86400.0);
}

std::string DateToText(double date) {
    DateParts p = SplitDate(date);
    bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
    bool dayZero = p.year == 1899 && p.month == 12 && p.day == 30;
    if (dayZero) return TimePartText(p);
    if (midnight) return DatePartText(p);
    return DatePartText(p) + ' ' + TimePartText(p);
}

std::string FormatDate(double date, DateFormat format) {
    DateParts p = SplitDate(date);
    switch (format) {
    case DateFormat::General: return DateToText(date);
    case DateFormat::ShortDate: return DatePartText(p);
    case DateFormat::LongDate:
        return std::string(kDays[WeekdayOfDay(DayNumber(date), 1) - 1]) + ", " + kMonths[p.month - 1] + ' ' +
               std::to_string(p.day) + ", " + std::to_string(p.year);
    case DateFormat::LongTime: {
        int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        return std::to_string(h12) + ':' + Two(p.minute) + ':' + Two(p.second) + (p.hour < 12 ? " AM" : " PM");
    }
    case DateFormat::ShortTime: return Two(p.hour) + ':' + Two(p.minute);
    }
    return DateToText(date);
}

} // namespace tarvelo::vbs
