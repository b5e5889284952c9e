#include "common/Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/Guard.h"

namespace tarvelo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses a number at the start of `t`; returns characters consumed (0 = none).
size_t ParseLeading(std::string_view t, double& out, bool skipInnerBlanks) {
    size_t i = 0;
    while (i < t.size() && IsBlank(t[i])) ++i;
    if (i + 1 < t.size() && t[i] == '&' && (t[i + 1] == 'H' || t[i + 1] == 'h' || t[i + 1] == 'O' || t[i + 1] == 'o')) {
        int base = (t[i + 1] == 'H' || t[i + 1] == 'h') ? 16 : 8;
        size_t j = i + 2;
        double v = 0;
        size_t digits = 0;
        while (j < t.size()) {
            int d = HexDigit(t[j]);
            if (d < 0 || d >= base) break;
            v = v * base + d;
            ++j;
            ++digits;
        }
        if (digits == 0) return 0;
        out = v;
        return j;
    }
    // The number's characters without inner blanks; short numbers (all of
    // them in practice) stay on the stack.
    struct Digits {
        char small[64];
        std::string big;
        size_t n = 0;
        void operator+=(char c) {
            if (n < sizeof small) small[n] = c;
            else {
                if (n == sizeof small) big.assign(small, n);
                big.push_back(c);
            }
            ++n;
        }
        void operator+=(const Digits& more) {
            for (size_t k = 0; k < more.n; ++k) *this += more.data()[k];
        }
        const char* data() const { return n <= sizeof small ? small : big.data(); }
        size_t size() const { return n; }
        char operator[](size_t k) const { return data()[k]; }
    } digits;
    size_t j = i;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) digits += t[j++];
    bool any = false, dot = false;
    while (j < t.size()) {
        char c = t[j];
        if (IsDigit(c)) { digits += c; any = true; ++j; }
        else if (c == '.' && !dot) { digits += c; dot = true; ++j; }
        else if (skipInnerBlanks && (c == ' ' || c == '\t') ) { ++j; }
        else break;
    }
    if (!any) return 0;
    // Optional exponent.
    if (j < t.size() && (t[j] == 'e' || t[j] == 'E' || t[j] == 'd' || t[j] == 'D')) {
        size_t k = j + 1;
        Digits ex;
        ex += 'e';
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) ex += t[k++];
        size_t start = k;
        while (k < t.size() && IsDigit(t[k])) ex += t[k++];
        if (k > start) { digits += ex; j = k; }
    }
    // from_chars, not strtod: the Qt application object sets the user's
    // locale, and a German one would read "1.5" as 1.
    const char* first = digits.data();
    if (*first == '+') ++first;
    if (std::from_chars(first, digits.data() + digits.size(), out).ec != std::errc()) {
        // Out of range: the sign decides which infinity.
        out = digits[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return j;
}

} // namespace

double Val(std::string_view text) {
    double v = 0;
    return ParseLeading(text, v, true) ? v : 0.0;
}

bool IsNumeric(std::string_view text) {
    double v = 0;
    size_t used = ParseLeading(text, v, false);
    if (used == 0) return false;
    while (used < text.size() && IsBlank(text[used])) ++used;
    return used == text.size();
}

int16_t ToInt16(double value) {
    double r = std::nearbyint(value);
    if (!(r >= -32768.0 && r <= 32767.0)) throw VbError("Overflow");
    return static_cast<int16_t>(r);
}

int32_t ToInt32(double value) {
    double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw VbError("Overflow");
    return static_cast<int32_t>(r);
}

bool BoolText(std::string_view text) {
    std::string t = LCase(RemoveQuotes(text));
    if (t == "true") return true;
    return Val(t) != 0.0;
}

std::string Hex2(int value) {
    static const char digits[] = "0123456789ABCDEF";
    if (value < 0 || value > 255) return "00";
    return std::string{digits[value >> 4], digits[value & 15]};
}

int HexValue(std::string_view text) {
    int v = 0;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0) break;
        v = v * 16 + d;
    }
    return v;
}

char FoldCase(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    return c;
}

std::string LCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = FoldCase(c);
    return out;
}

std::string UCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 'a' && u <= 'z') c = static_cast<char>(u - 32);
        else if (u >= 0xE0 && u <= 0xFE && u != 0xF7) c = static_cast<char>(u - 32);
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> out;
    if (separator.empty()) { out.emplace_back(text); return out; }
    size_t start = 0;
    while (true) {
        size_t pos = text.find(separator, start);
        if (pos == std::string_view::npos) { out.emplace_back(text.substr(start)); break; }
        out.emplace_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
    return out;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

std::string Replace(std::string_view text, std::string_view find, std::string_view with) {
    if (find.empty()) return std::string(text);
    std::string out;
    size_t start = 0;
    while (true) {
        size_t pos = text.find(find, start);
        if (pos == std::string_view::npos) break;
        out.append(text.substr(start, pos - start));
        out.append(with);
        start = pos + find.size();
    }
    out.append(text.substr(start));
    return out;
}

std::string TrimSpaces(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return std::string(text.substr(b, e - b));
}

std::string RemoveQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '"') out += c;
    return out;
}

std::string Dec(long long value) { return std::to_string(value); }

} // namespace tarvelo
