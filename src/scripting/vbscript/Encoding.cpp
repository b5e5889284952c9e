// Windows-1252 against Unicode, and the byte-order marks of script files.
#include "scripting/vbscript/Encoding.h"

namespace tarvelo::vbs {
namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F (0: unassigned).
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string FromUtf16(std::string_view b, bool littleEndian) {
    std::string out;
    out.reserve(b.size() / 2);
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        auto lo = static_cast<unsigned char>(b[littleEndian ? i : i + 1]);
        auto hi = static_cast<unsigned char>(b[littleEndian ? i + 1 : i]);
        uint32_t unit = lo | (hi << 8u);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < b.size()) i += 2;  // a surrogate pair: one '?'
        out += ByteOf(unit);
    }
    return out;
}

std::string FromUtf8(std::string_view b) {
    std::string out;
    out.reserve(b.size());
    for (size_t i = 0; i < b.size();) {
        auto c = static_cast<unsigned char>(b[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t cp = extra == 1 ? c & 0x1Fu : extra == 2 ? c & 0x0Fu : extra == 3 ? c & 0x07u : c;
        size_t k = 1;
        for (; extra > 0 && k <= static_cast<size_t>(extra) && i + k < b.size(); ++k) {
            auto cc = static_cast<unsigned char>(b[i + k]);
            if ((cc & 0xC0) != 0x80) break;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if (extra < 0 || k != static_cast<size_t>(extra) + 1) {
            out += b[i];  // not UTF-8 after all: the byte as it is
            ++i;
            continue;
        }
        out += ByteOf(cp);
        i += k;
    }
    return out;
}

}  // namespace

uint32_t CodePointOf(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0 && kCp1252High[byte - 0x80]) return kCp1252High[byte - 0x80];
    return byte;
}

char ByteOf(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (int k = 0; k < 32; ++k)
        if (kCp1252High[k] == cp) return static_cast<char>(0x80 + k);
    return '?';
}

std::string ScriptTextFromFile(std::string_view b) {
    if (b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE') return FromUtf16(b.substr(2), true);
    if (b.size() >= 2 && b[0] == '\xFE' && b[1] == '\xFF') return FromUtf16(b.substr(2), false);
    if (b.size() >= 3 && b.substr(0, 3) == "\xEF\xBB\xBF") return FromUtf8(b.substr(3));
    return std::string(b);
}

}  // namespace tarvelo::vbs
