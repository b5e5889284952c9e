#include "scripting/vbscript/VbsFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tarvelo::vbs {

namespace {

std::string FormatGeneral(double value, int digits) {
    if (value == 0) return "0";  // also turns -0 into "0"
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    // to_chars, unlike printf, ignores the process locale (a Qt program sets it from the environment).
    char buf[40];
    char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits).ptr;
    std::string out(buf, end);
    for (char& c : out)
        if (c == 'e') c = 'E';
    return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::optional<double> ParseRadix(std::string_view t) {
    // t starts after '&'.
    int shift = 3;
    if (!t.empty() && (t[0] == 'H' || t[0] == 'h')) { shift = 4; t.remove_prefix(1); }
    else if (!t.empty() && (t[0] == 'O' || t[0] == 'o')) t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (shift == 4 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (shift == 4 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        if (d >= (1 << shift)) return std::nullopt;
        v = (v << shift) | static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    if (v <= 0xFFFF) return static_cast<double>(static_cast<int16_t>(v));
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
}

// Decimal digits of |value| rounded half away from zero to `decimals`
// places, starting from its 15-significant-digit form. Returns "123.45".
std::string FixedDecimal(double value, int decimals) {
    value = std::fabs(value);
    std::string digits;  // significant digits
    int exp10 = 0;       // value = 0.digits x 10^(exp10)
    if (value != 0) {
        char buf[40];
        char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14).ptr;
        const char* e = buf;
        for (; e < end && *e != 'e'; ++e)
            if (*e >= '0' && *e <= '9') digits += *e;
        int exp = 0;
        std::from_chars(e + 1 + (e[1] == '+'), end, exp);
        exp10 = exp + 1;
    }
    // Integer digits and fraction digits as one string with the point after intLen.
    std::string all;
    int intLen;
    if (exp10 > 0) {
        all = digits;
        if (static_cast<int>(all.size()) < exp10) all.append(exp10 - all.size(), '0');
        intLen = exp10;
    } else {
        all = std::string(1 - exp10, '0') + digits;  // leading "0" integer part
        intLen = 1;
    }
    int keep = intLen + decimals;
    if (static_cast<int>(all.size()) < keep) all.append(keep - all.size(), '0');
    bool up = static_cast<int>(all.size()) > keep && all[keep] >= '5';
    all.resize(keep);
    if (up) {
        int i = keep - 1;
        for (; i >= 0 && all[i] == '9'; --i) all[i] = '0';
        if (i >= 0) ++all[i];
        else { all.insert(all.begin(), '1'); ++intLen; }
    }
    // Drop leading zeros of the integer part, keeping one.
    size_t lead = 0;
    while (static_cast<int>(lead) < intLen - 1 && all[lead] == '0') ++lead;
    std::string out = all.substr(lead, intLen - lead);
    if (decimals > 0) { out += '.'; out.append(all, intLen, decimals); }
    return out;
}

std::string StyledNumber(double value, const NumberStyle& style, std::string_view prefix, std::string_view suffix) {
    int decimals = style.digits < 0 ? 2 : style.digits;
    std::string fixed = FixedDecimal(value, decimals);
    bool negative = value < 0 && fixed.find_first_not_of("0.") != std::string::npos;
    size_t point = fixed.find('.');
    size_t intLen = point == std::string::npos ? fixed.size() : point;
    std::string out;
    out.reserve(fixed.size() + fixed.size() / 3 + prefix.size() + suffix.size() + 3);
    if (negative) out += style.parens ? "(" : "-";
    out += prefix;
    if (!(intLen == 1 && fixed[0] == '0' && !style.leadingZero && point != std::string::npos)) {
        for (size_t i = 0; i < intLen; ++i) {
            if (style.group && i > 0 && (intLen - i) % 3 == 0) out += ',';
            out += fixed[i];
        }
    }
    if (point != std::string::npos) out.append(fixed, point, std::string::npos);
    out += suffix;
    if (negative && style.parens) out += ')';
    return out;
}

std::string RadixText(int64_t value, int bits, int shift) {
    uint64_t v = static_cast<uint64_t>(value);
    if (value < 0) v &= (bits >= 64 ? ~0ull : (1ull << bits) - 1);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out += kDigits[v & ((1u << shift) - 1)];
        v >>= shift;
    } while (v);
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace

std::string FormatDouble(double value) { return FormatGeneral(value, 15); }
std::string FormatSingle(float value) { return FormatGeneral(value, 7); }

std::string FormatCurrencyValue(int64_t scaled) {
    bool negative = scaled < 0;
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string out = negative ? "-" : "";
    out += std::to_string(mag / 10000);
    unsigned frac = static_cast<unsigned>(mag % 10000);
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%04u", frac);
        std::string f = buf;
        while (f.back() == '0') f.pop_back();
        out += f;
    }
    return out;
}

std::optional<double> ParseNumber(std::string_view t) {
    while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
    while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
    if (t.empty()) return std::nullopt;
    if (t[0] == '&') return ParseRadix(t.substr(1));

    std::string clean;
    clean.reserve(t.size());
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') clean += t[i++];
    if (i < t.size() && t[i] == '$') ++i;
    bool mantissa = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') { clean += c; mantissa = true; }
        else if (c == ',' && mantissa) continue;  // digit groups
        else break;
    }
    if (i < t.size() && t[i] == '.') {
        clean += '.';
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) { clean += t[i]; mantissa = true; }
    }
    if (!mantissa) return std::nullopt;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
        clean += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) clean += t[i++];
        bool expDigits = false;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) { clean += t[i]; expDigits = true; }
        if (!expDigits) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    const char* first = clean.data() + (clean[0] == '+');
    double v = 0;
    auto [end, ec] = std::from_chars(first, clean.data() + clean.size(), v);
    if (ec != std::errc() || end != clean.data() + clean.size() || std::isinf(v)) return std::nullopt;
    return v;
}

double RoundHalfEven(double value, int digits) {
    if (digits <= 0) return std::nearbyint(value);
    if (digits > 22) return value;
    double scale = std::pow(10.0, digits);
    double scaled = value * scale;
    if (!std::isfinite(scaled)) return value;
    return std::nearbyint(scaled) / scale;
}

std::string HexText(int64_t value, int bits) { return RadixText(value, bits, 4); }
std::string OctText(int64_t value, int bits) { return RadixText(value, bits, 3); }

std::string FormatNumberText(double value, const NumberStyle& style) { return StyledNumber(value, style, "", ""); }
std::string FormatPercentText(double value, const NumberStyle& style) {
    return StyledNumber(value * 100, style, "", "%");
}
std::string FormatCurrencyText(double value, const NumberStyle& style) { return StyledNumber(value, style, "$", ""); }

} // namespace tarvelo::vbs
