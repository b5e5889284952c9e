#pragma once
// Lenient text and number conversions with the semantics the settings files,
// the export file and the PIM lines were written for (8-bit text, VB rules).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// Leading number of the text, 0 when there is none ("12abc" -> 12, "x" -> 0).
// Leading blanks are skipped, blanks between digits ignored; "&H1F" is hex.
double Val(std::string_view text);

// Whether the whole text (blanks around it allowed) is a number.
bool IsNumeric(std::string_view text);

// Rounds half to even into a signed 16-bit integer; throws VbError("Overflow")
// when the value does not fit.
int16_t ToInt16(double value);
int32_t ToInt32(double value);

// "true" (any case, double quotes removed) or a non-zero leading number.
bool BoolText(std::string_view text);
// The written form of a boolean.
inline const char* BoolWord(bool value) { return value ? "True" : "False"; }

// Two upper-case hex digits; a value outside 0..255 gives "00".
std::string Hex2(int value);
// Hex digits to a number (invalid digits end the number, as VB's "&H" Val).
int HexValue(std::string_view digits);

std::string LCase(std::string_view text);
std::string UCase(std::string_view text);
// Case folding of the 8-bit code page (ASCII and Latin-1 letters).
char FoldCase(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Split at every occurrence of the separator; an empty text gives one empty field.
std::vector<std::string> Split(std::string_view text, std::string_view separator);
std::string Join(const std::vector<std::string>& parts, std::string_view separator);
std::string Replace(std::string_view text, std::string_view find, std::string_view with);
// Removes blanks (spaces only) at both ends.
std::string TrimSpaces(std::string_view text);
// Removes every double quote.
std::string RemoveQuotes(std::string_view text);
// Decimal text of a number the way VB's Str/CStr writes an integer.
std::string Dec(long long value);

// Strips one trailing CR so that CR LF and LF line ends read alike.
inline void ChompCR(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

} // namespace tarvelo
