// String functions. Text is 8-bit (Windows-1252); positions are 1-based.
// Null in the text argument gives Null where the language says so (Len,
// Left, Mid, InStr, UCase ...); Null in a count or position is error 94.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"
#include "scripting/vbscript/VbsFormat.h"

namespace tarvelo::vbs {

namespace {

// The text of v, without a copy when it already is a string.
std::string_view TextOf(const Value& v, std::string& scratch) {
    if (v.IsString()) return v.RawString();
    scratch = ToString(v);
    return scratch;
}

int32_t OptLong(const CallArgs& a, size_t i, int32_t def) { return a.Has(i) ? ToLong(a[i]) : def; }

// The compare argument: 0 binary (default), 1 text, up to maxMode (2 database, as text).
bool TextMode(const CallArgs& a, size_t i, int32_t maxMode = 2) {
    if (!a.Has(i)) return false;
    int32_t mode = ToLong(a[i]);
    if (mode < 0 || mode > maxMode) Raise(5);
    return mode != 0;
}

// 0-based position of needle in hay at or after `from`, npos when absent.
size_t Find(std::string_view hay, std::string_view needle, size_t from, bool text) {
    if (!text) return hay.find(needle, from);
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && LowerByte(hay[i + k]) == LowerByte(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

size_t FindLast(std::string_view hay, std::string_view needle, size_t lastStart, bool text) {
    if (!text) return hay.rfind(needle, lastStart);
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (size_t i = std::min(lastStart, hay.size() - needle.size()) + 1; i-- > 0;) {
        size_t k = 0;
        while (k < needle.size() && LowerByte(hay[i + k]) == LowerByte(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

Value Len(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    return Value::Long(static_cast<int32_t>(TextOf(a[0], s).size()));
}

Value LenB(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    return Value::Long(static_cast<int32_t>(TextOf(a[0], s).size() * 2));
}

Value Left(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[1]);
    if (n < 0) Raise(5);
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    return Value::Str(t.substr(0, static_cast<size_t>(n)));
}

Value Right(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[1]);
    if (n < 0) Raise(5);
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    size_t k = std::min(t.size(), static_cast<size_t>(n));
    return Value::Str(t.substr(t.size() - k));
}

Value Mid(Runtime&, CallArgs& a) {
    if (a[1].IsNull() || (a.Has(2) && a[2].IsNull())) Raise(94);  // before any other check
    int32_t start = ToLong(a[1]);
    int32_t len = OptLong(a, 2, INT32_MAX);
    if (start < 1 || len < 0) Raise(5);
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    if (static_cast<size_t>(start) > t.size()) return Value::Str("");
    return Value::Str(t.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(len)));
}

// InStr([start,] string1, string2[, compare])
Value InStr(Runtime&, CallArgs& a) {
    size_t base = 0;
    int32_t start = 1;
    if (a.size() >= 3) {
        if (a[0].IsNull()) Raise(94);
        start = ToLong(a[0]);
        if (start < 1) Raise(5);
        base = 1;
    }
    bool text = TextMode(a, base + 2);
    if (a[base].IsNull() || a[base + 1].IsNull()) return Value::Null();
    std::string s1, s2;
    std::string_view hay = TextOf(a[base], s1), needle = TextOf(a[base + 1], s2);
    if (hay.empty() || static_cast<size_t>(start) > hay.size() + (needle.empty() ? 1 : 0)) return Value::Long(0);
    if (needle.empty()) return Value::Long(start);
    size_t at = Find(hay, needle, static_cast<size_t>(start) - 1, text);
    return Value::Long(at == std::string_view::npos ? 0 : static_cast<int32_t>(at + 1));
}

// InStrRev(string1, string2[, start[, compare]])
Value InStrRev(Runtime&, CallArgs& a) {
    int32_t start = OptLong(a, 2, -1);
    if (start == 0 || start < -1) Raise(5);
    bool text = TextMode(a, 3);
    if (a[0].IsNull() || a[1].IsNull()) Raise(94);  // unlike InStr, no Null result
    std::string s1, s2;
    std::string_view hay = TextOf(a[0], s1), needle = TextOf(a[1], s2);
    if (start == -1) start = static_cast<int32_t>(hay.size());
    if (hay.empty() || static_cast<size_t>(start) > hay.size()) return Value::Long(0);
    if (needle.empty()) return Value::Long(start);
    if (needle.size() > static_cast<size_t>(start)) return Value::Long(0);
    size_t at = FindLast(hay, needle, static_cast<size_t>(start) - needle.size(), text);
    return Value::Long(at == std::string_view::npos ? 0 : static_cast<int32_t>(at + 1));
}

// Replace(expression, find, replacewith[, start[, count[, compare]]]): the
// result starts at `start`.
Value Replace(Runtime&, CallArgs& a) {
    for (size_t i = 0; i < 3; ++i)
        if (a[i].IsNull()) Raise(94);
    int32_t start = OptLong(a, 3, 1);
    int32_t count = OptLong(a, 4, -1);
    if (start < 1 || count < -1) Raise(5);
    bool text = TextMode(a, 5);
    std::string s0, s1, s2;
    std::string_view expr = TextOf(a[0], s0), find = TextOf(a[1], s1), with = TextOf(a[2], s2);
    if (static_cast<size_t>(start) > expr.size()) return Value::Str("");
    expr.remove_prefix(static_cast<size_t>(start) - 1);
    if (find.empty() || count == 0) return Value::Str(expr);
    std::string out;
    out.reserve(expr.size());
    size_t pos = 0;
    for (int32_t done = 0; count < 0 || done < count; ++done) {
        size_t at = Find(expr, find, pos, text);
        if (at == std::string_view::npos) break;
        out.append(expr, pos, at - pos);
        out.append(with);
        pos = at + find.size();
    }
    out.append(expr, pos, std::string_view::npos);
    return Value::Str(std::move(out));
}

// Split(expression[, delimiter[, limit[, compare]]])
Value Split(Runtime&, CallArgs& a) {
    if (a[0].IsNull() || (a.Has(1) && a[1].IsNull())) Raise(94);
    int32_t limit = OptLong(a, 2, -1);
    if (limit < -1) Raise(5);
    bool text = TextMode(a, 3, 1);
    std::string s0, s1 = " ";
    std::string_view expr = TextOf(a[0], s0);
    std::string_view delim = a.Has(1) ? TextOf(a[1], s1) : std::string_view(s1);
    std::vector<Value> parts;
    if (!expr.empty() && limit != 0) {
        size_t pos = 0;
        while (delim.size() && (limit < 0 || static_cast<int32_t>(parts.size()) < limit - 1)) {
            size_t at = Find(expr, delim, pos, text);
            if (at == std::string_view::npos) break;
            parts.push_back(Value::Str(expr.substr(pos, at - pos)));
            pos = at + delim.size();
        }
        parts.push_back(Value::Str(expr.substr(pos)));
    }
    return Value::Array(std::move(parts));
}

// Join(list[, delimiter]): Empty elements join as "", a Null or array element is error 13.
Value Join(Runtime&, CallArgs& a) {
    if (a[0].IsNull() || (a.Has(1) && a[1].IsNull())) Raise(94);
    Value list = a[0].IsObject() ? Deref(a[0]) : a[0];
    if (!list.IsArray() || list.RawArray()->Dims() != 1) Raise(13);
    const ArrayData* arr = list.RawArray();
    std::string s1 = " ";
    std::string_view delim = a.Has(1) ? TextOf(a[1], s1) : std::string_view(s1);
    std::string out;
    for (size_t i = 0; i < arr->items.size(); ++i) {
        if (i) out.append(delim);
        const Value& v = arr->items[i];
        if (v.IsString()) out.append(v.RawString());
        else if (v.IsNull() || v.IsArray()) Raise(13);
        else out.append(ToString(v));
    }
    return Value::Str(std::move(out));
}

// Filter(strings, value[, include[, compare]])
Value Filter(Runtime&, CallArgs& a) {
    if (!a[0].IsArray()) Raise(13);
    const ArrayData* arr = a[0].RawArray();
    if (arr->Dims() != 1) Raise(5);
    if (a[1].IsNull()) Raise(94);
    bool include = a.Has(2) ? ToBool(a[2]) : true;
    bool text = TextMode(a, 3);
    std::string s1;
    std::string_view match = TextOf(a[1], s1);
    std::vector<Value> out;
    for (const Value& v : arr->items) {
        if (v.IsNull()) Raise(94);
        std::string s;
        std::string_view t = TextOf(v, s);
        if ((Find(t, match, 0, text) != std::string_view::npos) == include) out.push_back(Value::Str(t));
    }
    return Value::Array(std::move(out));
}

enum class TrimSide { Left = 1, Right = 2, Both = 3 };

template <TrimSide side>
Value Trim(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    if (static_cast<int>(side) & 1) t.remove_prefix(std::min(t.find_first_not_of(' '), t.size()));
    if (static_cast<int>(side) & 2) {
        size_t last = t.find_last_not_of(' ');
        t = last == std::string_view::npos ? std::string_view() : t.substr(0, last + 1);
    }
    return Value::Str(t);
}

template <bool upper>
Value ChangeCase(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s = a[0].IsString() ? a[0].RawString() : ToString(a[0]);
    for (char& c : s) c = static_cast<char>(upper ? UpperByte(c) : LowerByte(c));
    return Value::Str(std::move(s));
}

// Longest text Space and String make; beyond it, "Out of string space".
constexpr int32_t kMaxRepeat = 1 << 28;

Value Space(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[0]);
    if (n < 0) Raise(5);
    if (n > kMaxRepeat) Raise(14);
    return Value::Str(std::string(static_cast<size_t>(n), ' '));
}

// String(number, character): character is a text (its first character) or a code (mod 256).
Value StringFn(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[0]);
    if (n < 0) Raise(5);
    if (n > kMaxRepeat) Raise(14);
    if (a[1].IsNull()) return Value::Null();
    char c;
    if (a[1].IsString()) {
        if (a[1].RawString().empty()) Raise(5);
        c = a[1].RawString()[0];
    } else {
        c = static_cast<char>(((ToLong(a[1]) % 256) + 256) % 256);
    }
    return Value::Str(std::string(static_cast<size_t>(n), c));
}

Value StrComp(Runtime&, CallArgs& a) {
    bool text = TextMode(a, 2);
    if (a[0].IsNull() || a[1].IsNull()) return Value::Null();
    std::string s1, s2;
    std::string_view x = TextOf(a[0], s1), y = TextOf(a[1], s2);
    size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char p = x[i], q = y[i];
        if (text) { p = LowerByte(p); q = LowerByte(q); }
        if (p != q) return Value::Int(p < q ? -1 : 1);
    }
    return Value::Int(x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1));
}

Value StrReverse(Runtime&, CallArgs& a) {
    std::string s = ToString(a[0]);
    std::reverse(s.begin(), s.end());
    return Value::Str(std::move(s));
}

Value Asc(Runtime&, CallArgs& a) {
    std::string s;
    std::string_view t = TextOf(a[0], s);
    if (t.empty()) Raise(5);
    return Value::Int(static_cast<unsigned char>(t[0]));
}

Value AscW(Runtime&, CallArgs& a) {
    std::string s;
    std::string_view t = TextOf(a[0], s);
    if (t.empty()) Raise(5);
    unsigned char c = t[0];
    return Value::Integral(CodePointOf(c));
}

Value Chr(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[0]);
    if (n < 0 || n > 255) Raise(5);
    return Value::Str(std::string(1, static_cast<char>(n)));
}

// ChrW: a character the 8-bit text cannot hold becomes "?".
Value ChrW(Runtime&, CallArgs& a) {
    int32_t n = ToLong(a[0]);
    if (n < -32768 || n > 65535) Raise(5);
    if (n < 0) n += 65536;
    return Value::Str(std::string(1, ByteOf(static_cast<uint32_t>(n))));
}

// Hex/Oct: Integer and Byte values show 16-bit two's complement, the rest 32-bit.
template <bool hex>
Value Radix(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    Value v = ToNumber(a[0]);
    int bits = v.Type() == vbInteger || v.Type() == vbByte ? 16 : 32;
    int32_t n = ToLong(v);
    return Value::Str(hex ? HexText(n, bits) : OctText(n, bits));
}

// Escape/Unescape: %XX for bytes, %uXXXX for the Windows-1252 characters
// outside Latin-1; letters, digits and @*_+-./ stay as they are.
Value Escape(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(t.size() * 3);
    for (unsigned char c : t) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::string_view("@*_+-./").find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else if (CodePointOf(c) > 0xFF) {
            unsigned u = CodePointOf(c);
            out += "%u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return Value::Str(std::move(out));
}

int HexAt(std::string_view t, size_t at, size_t count) {
    int v = 0;
    if (at + count > t.size()) return -1;
    for (size_t k = at; k < at + count; ++k) {
        char c = t[k];
        int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// A malformed escape stays as it is.
Value Unescape(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    std::string s;
    std::string_view t = TextOf(a[0], s);
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        int v;
        if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == 'u' && (v = HexAt(t, i + 2, 4)) >= 0) {
            out += ByteOf(static_cast<uint32_t>(v));
            i += 5;
        } else if (t[i] == '%' && (v = HexAt(t, i + 1, 2)) >= 0) {
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += t[i];
        }
    }
    return Value::Str(std::move(out));
}

} // namespace

void RegisterStrings(Runtime& rt) {
    rt.AddFunction("Len", Len, 1, 1);
    rt.AddFunction("LenB", LenB, 1, 1);
    rt.AddFunction("Left", Left, 2, 2);
    rt.AddFunction("Right", Right, 2, 2);
    rt.AddFunction("Mid", Mid, 2, 3);
    rt.AddFunction("InStr", InStr, 2, 4);
    rt.AddFunction("InStrRev", InStrRev, 2, 4);
    rt.AddFunction("Replace", Replace, 3, 6);
    rt.AddFunction("Split", Split, 1, 4);
    rt.AddFunction("Join", Join, 1, 2);
    rt.AddFunction("Filter", Filter, 2, 4);
    rt.AddFunction("Trim", Trim<TrimSide::Both>, 1, 1);
    rt.AddFunction("LTrim", Trim<TrimSide::Left>, 1, 1);
    rt.AddFunction("RTrim", Trim<TrimSide::Right>, 1, 1);
    rt.AddFunction("UCase", ChangeCase<true>, 1, 1);
    rt.AddFunction("LCase", ChangeCase<false>, 1, 1);
    rt.AddFunction("Space", Space, 1, 1);
    rt.AddFunction("String", StringFn, 2, 2);
    rt.AddFunction("StrComp", StrComp, 2, 3);
    rt.AddFunction("StrReverse", StrReverse, 1, 1);
    rt.AddFunction("Asc", Asc, 1, 1);
    rt.AddFunction("AscB", Asc, 1, 1);
    rt.AddFunction("AscW", AscW, 1, 1);
    rt.AddFunction("Chr", Chr, 1, 1);
    rt.AddFunction("ChrB", Chr, 1, 1);
    rt.AddFunction("ChrW", ChrW, 1, 1);
    rt.AddFunction("Hex", Radix<true>, 1, 1);
    rt.AddFunction("Oct", Radix<false>, 1, 1);
    rt.AddFunction("Escape", Escape, 1, 1);
    rt.AddFunction("Unescape", Unescape, 1, 1);
}

} // namespace tarvelo::vbs
