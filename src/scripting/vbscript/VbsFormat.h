#pragma once
// Number text the way VBScript writes and reads it, over plain C++ numbers,
// and the letter case of its 8-bit (Windows-1252) text. The locale is fixed to US English: "." decimal point, "," digit groups,
// "$" currency symbol; negative currency is "-$1.00" unless parentheses are
// asked for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::vbs {

// CStr of a Double: at most 15 significant digits, no trailing zeros,
// scientific form ("1E+20", "1.5E-07") below 1E-04 and from 1E+15 on;
// minus zero is "0".
std::string FormatDouble(double value);
// CStr of a Single: the same with 7 significant digits.
std::string FormatSingle(float value);
// CStr of a Currency given as its scaled integer (value x 10000): up to four
// decimals, no trailing zeros, never scientific.
std::string FormatCurrencyValue(int64_t scaled);

// A string coerced to a number: blanks around it, a sign, "$", "," digit
// groups, a decimal point, an exponent (E or D), or "&H1F" / "&O17" / "&17"
// (hex and octal of up to 16 bits read as Integer, up to 32 bits as Long, so
// "&HFFFF" is -1). nullopt when the text is not a number ("" is not).
std::optional<double> ParseNumber(std::string_view text);
inline bool IsNumericText(std::string_view text) { return ParseNumber(text).has_value(); }

// Round to the given decimals, halves to even (Round(2.5) = 2, Round(3.5) = 4).
double RoundHalfEven(double value, int digits);

// Hex/Oct digits of a whole number; negatives are the two's complement in
// `bits` bits (16 for Integer and Byte, 32 for Long).
std::string HexText(int64_t value, int bits);
std::string OctText(int64_t value, int bits);

// FormatNumber and friends. Halves round away from zero on the value's
// 15-digit decimal form (FormatNumber(1.005, 2) = "1.01"); a value that rounds
// to zero shows no sign.
struct NumberStyle {
    int digits = 2;
    bool leadingZero = true;  // "0.5" rather than ".5"
    bool parens = false;      // "(1.00)" rather than "-1.00"
    bool group = true;        // "1,234.00"
};
std::string FormatNumberText(double value, const NumberStyle& style);
std::string FormatPercentText(double value, const NumberStyle& style);   // "12.50%"
std::string FormatCurrencyText(double value, const NumberStyle& style);  // "$1,234.50"

// Windows-1252 letter case, for LCase/UCase and text comparison.
inline unsigned char LowerByte(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c == 0x8A || c == 0x8C || c == 0x8E) return c + 16;  // S, OE, Z with caron
    return c == 0x9F ? 0xFF : c;                                // Y diaeresis
}
inline unsigned char UpperByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 16;
    return c == 0xFF ? 0x9F : c;
}

} // namespace tarvelo::vbs
