// The engine's text is 8-bit Windows-1252. These convert it to and from
// Unicode code points, and turn the bytes of a script file into that text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelo::vbs {

uint32_t CodePointOf(unsigned char byte);
// The byte for a code point; '?' for one the 8-bit text cannot hold.
char ByteOf(uint32_t codePoint);
// A script file as the engine's text: UTF-16 (little or big endian) and UTF-8
// announced by their byte-order marks are converted; bytes without a mark are
// 8-bit text already, as on the systems the scripts come from.
std::string ScriptTextFromFile(std::string_view bytes);

}  // namespace tarvelo::vbs
