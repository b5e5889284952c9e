#include "common/date/DateText.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "common/date/Calendar.h"

namespace tarvelo::vbdate {

namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string DayText(const DateParts& p) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buf;
}

std::string TimeText(const DateParts& p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

// ---- text to date ----

struct Token {
    enum Kind { Number, Month, AmPm } kind;
    int value;              // number, month 1..12, or 0 = AM / 12 = PM
    int length;             // digits of a number, letters of AM/PM
    char sepBefore;         // the separator before it (' ' for blanks only, 0 when none or at the start)
    std::string_view gap;   // the text since the previous token (or the start)
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool Blanks(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// Numbers and words; tail is the text after the last one.
bool Lex(std::string_view t, DateForms forms, std::vector<Token>& out, std::string_view& tail) {
    char sep = 0;
    bool any = false;  // a word or number was read
    size_t i = 0, gapStart = 0;
    auto push = [&](Token::Kind kind, int value, int length, size_t start) {
        out.push_back({kind, value, length, sep, t.substr(gapStart, start - gapStart)});
        sep = 0;
        gapStart = i;
    };
    while (i < t.size()) {
        const char c = t[i];
        // "2026-12-06T07:01:37": the "T" stands between date and time like a blank.
        const bool isoT = forms == DateForms::Stored && c == 'T' && i > 0 && IsDigit(t[i - 1]);
        if (IsBlank(c) || isoT) {
            if (sep == 0 && !out.empty()) sep = ' ';
            ++i;
        } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
            if (!any || (sep != 0 && sep != ' ')) return false;  // "/1/2", "1//2"
            sep = c;
            ++i;
        } else if (IsDigit(c)) {
            any = true;
            const size_t start = i;
            int v = 0, n = 0;
            for (; i < t.size() && IsDigit(t[i]); ++i, ++n) {
                if (n == 4) return false;
                v = v * 10 + (t[i] - '0');
            }
            push(Token::Number, v, n, start);
        } else if (IsLetter(c)) {
            any = true;
            const size_t start = i;
            std::string w;
            for (; i < t.size() && IsLetter(t[i]); ++i) w += static_cast<char>(t[i] | 0x20);
            if (w == "am" || w == "a" || w == "pm" || w == "p") {
                push(Token::AmPm, w[0] == 'p' ? 12 : 0, static_cast<int>(w.size()), start);
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
                    push(Token::Month, m + 1, 0, start);
                    found = true;
                }
            // A weekday name in front ("Sunday, December 6, 2026") is allowed and ignored.
            for (int d = 0; d < 7 && !found; ++d) found = matches(kDays[d]) && out.empty();
            if (!found) return false;
        } else {
            return false;
        }
    }
    tail = t.substr(gapStart);
    return true;
}

// One blank or "T" between date and time, then any blanks.
bool DateTimeGap(std::string_view g) { return !g.empty() && (IsBlank(g[0]) || g[0] == 'T') && Blanks(g.substr(1)); }

// The stored forms, checked on the numbers and the exact text between them.
bool StoredShape(const std::vector<Token>& t, std::string_view tail) {
    auto number = [&](size_t k, int maxDigits) {
        return k < t.size() && t[k].kind == Token::Number && t[k].length <= maxDigits;
    };
    if (t.empty() || !Blanks(t[0].gap)) return false;
    size_t k = 0;
    if (t.size() >= 3 && (t[1].gap == "-" || t[1].gap == "/")) {
        const bool yearFirst = t[1].gap == "-";
        if (!number(0, 4) || (yearFirst && t[0].length != 4) || !number(1, 2) || t[2].gap != t[1].gap ||
            !number(2, yearFirst ? 2 : 4))
            return false;
        k = 3;
        if (k == t.size()) return tail.empty() || DateTimeGap(tail);
        if (!DateTimeGap(t[k].gap)) return false;
    }
    if (!number(k, 2) || !number(k + 1, 2) || t[k + 1].gap != ":") return false;
    k += 2;
    if (number(k, 2) && t[k].gap == ":") ++k;
    if (k < t.size() && t[k].kind == Token::AmPm && t[k].length == 2 && Blanks(t[k].gap)) ++k;
    return k == t.size() && Blanks(tail);
}

bool YearLike(const Token& t) { return t.length >= 3 || t.value > 31; }

bool ResolveYear(const Token& t, int& year) {
    if (t.length <= 2) year = t.value < 30 ? 2000 + t.value : 1900 + t.value;
    else if (t.value < 100) return false;
    else year = t.value;
    return true;
}

// The order of a lenient date, from what each number can be.
bool GuessDate(const std::vector<Token>& dateToks, int currentYear, int& year, int& month, int& day) {
    std::vector<Token> nums;
    for (const Token& t : dateToks) {
        if (t.kind == Token::Month) {
            if (month) return false;
            month = t.value;
        } else {
            nums.push_back(t);
        }
    }
    const size_t n = nums.size();
    if (month) {
        if (n == 2) {
            const Token& y = YearLike(nums[0]) ? nums[0] : nums[1];
            const Token& d = YearLike(nums[0]) ? nums[1] : nums[0];
            if (!ResolveYear(y, year)) return false;
            day = d.value;
        } else if (n == 1 && YearLike(nums[0])) {
            if (!ResolveYear(nums[0], year)) return false;
            day = 1;
        } else if (n == 1 && currentYear) {
            year = currentYear;
            day = nums[0].value;
        } else {
            return false;
        }
    } else if (n == 3) {
        if (YearLike(nums[0])) {
            if (!ResolveYear(nums[0], year)) return false;
            month = nums[1].value;
            day = nums[2].value;
        } else {
            month = nums[0].value;
            day = nums[1].value;
            if (!ResolveYear(nums[2], year)) return false;
            if (month > 12 && day <= 12) std::swap(month, day);  // a day-first date
        }
    } else if (n == 2) {
        if (YearLike(nums[1])) {
            month = nums[0].value;
            if (!ResolveYear(nums[1], year)) return false;
            day = 1;
        } else if (YearLike(nums[0])) {
            if (!ResolveYear(nums[0], year)) return false;
            month = nums[1].value;
            day = 1;
        } else if (currentYear) {
            year = currentYear;
            month = nums[0].value;
            day = nums[1].value;
            if (month > 12 && day <= 12) std::swap(month, day);
        } else {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

std::string FormatDateTime(double date) {
    const DateParts p = SplitDate(date);
    return DayText(p) + ' ' + TimeText(p);
}

std::string FormatDay(double date) { return DayText(SplitDate(date)); }

std::string FormatTime(double date) { return TimeText(SplitDate(date)); }

std::string DateToText(double date) {
    const DateParts p = SplitDate(date);
    if (p.year == 1899 && p.month == 12 && p.day == 30) return TimeText(p);
    if (p.hour == 0 && p.minute == 0 && p.second == 0) return DayText(p);
    return DayText(p) + ' ' + TimeText(p);
}

std::string_view MonthName(int month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : ""; }

std::string_view WeekdayName(int weekday) { return weekday >= 1 && weekday <= 7 ? kDays[weekday - 1] : ""; }

std::optional<double> ParseDate(std::string_view text, DateForms forms, int currentYear) {
    std::vector<Token> toks;
    std::string_view tail;
    if (!Lex(text, forms, toks, tail) || toks.empty()) return std::nullopt;
    const bool stored = forms == DateForms::Stored;
    if (stored && !StoredShape(toks, tail)) return std::nullopt;

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
                // A stored 12-hour time counts 1 to 12; a script may also write "0:30 AM".
                if (hour > 12 || (stored && hour == 0)) return std::nullopt;
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
        int year = 0, month = 0, day = 0;
        if (stored) {
            // The shape is yyyy-mm-dd or m/d/yyyy: the order is never guessed.
            const bool yearFirst = dateToks[1].gap == "-";
            if (!ResolveYear(dateToks[yearFirst ? 0 : 2], year)) return std::nullopt;
            month = dateToks[yearFirst ? 1 : 0].value;
            day = dateToks[yearFirst ? 2 : 1].value;
        } else if (!GuessDate(dateToks, currentYear, year, month, day)) {
            return std::nullopt;
        }
        if (!ValidDate(year, month, day)) return std::nullopt;
        days = static_cast<double>(SerialDay(year, month, day));
    } else if (!hasTime) {
        return std::nullopt;
    }
    return LinearToDate(days + (hour * 3600 + minute * 60 + second) / 86400.0);
}

} // namespace tarvelo::vbdate
