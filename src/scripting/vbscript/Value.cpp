// Variant storage, arrays and the coercion rules.
#include "scripting/vbscript/Value.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <new>

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/TextForms.h"
#include "scripting/vbscript/VbsFormat.h"

namespace tarvelo::vbs {

// ---------------------------------------------------------------- storage

void Value::MoveString(Value& o) noexcept {
    new (&u_.s) std::string(std::move(o.RawString()));
    o.RawString().~basic_string();
}

Value& Value::AssignSlow(const Value& o) {
    if (this != &o) {
        Value tmp(o);
        if (!Light()) Destroy();
        MoveFrom(tmp);
    }
    return *this;
}

Value& Value::MoveAssignSlow(Value& o) noexcept {
    if (this != &o) {
        Value tmp(std::move(o));  // o may be owned by what *this holds
        if (!Light()) Destroy();
        MoveFrom(tmp);
    }
    return *this;
}

void Value::Swap(Value& o) noexcept {
    Value tmp(std::move(o));
    o.MoveFrom(*this);
    MoveFrom(tmp);
}

void Value::Destroy() noexcept {
    switch (type_) {
    case vbString: RawString().~basic_string(); break;
    case vbObject: if (u_.obj) u_.obj->Release(); break;
    case vbArray: if (u_.arr) u_.arr->Release(); break;
    default: break;
    }
    type_ = vbEmpty;
    flags_ = 0;
}

void Value::CopyFrom(const Value& o) {
    if (!Light()) Destroy();
    switch (o.type_) {
    case vbString: new (&u_.s) std::string(o.RawString()); break;
    case vbObject: u_.obj = o.u_.obj; if (u_.obj) u_.obj->AddRef(); break;
    case vbArray: u_.arr = o.u_.arr; if (u_.arr) u_.arr->AddRef(); break;
    default: u_ = o.u_; break;
    }
    type_ = o.type_;
    flags_ = o.flags_ & kHeavy;
}

Value Value::Str(std::string s) {
    Value v;
    new (&v.u_.s) std::string(std::move(s));
    v.type_ = vbString;
    v.flags_ = kHeavy;
    return v;
}

Value Value::Obj(ObjectRef o) {
    Value v;
    v.u_.obj = o.get();
    if (v.u_.obj) v.u_.obj->AddRef();
    v.type_ = vbObject;
    v.flags_ = kHeavy;
    return v;
}

Value Value::Nothing() {
    Value v;
    v.u_.obj = nullptr;
    v.type_ = vbObject;
    v.flags_ = kHeavy;
    return v;
}

ObjectRef Value::ObjectValue() const { return ObjectRef(type_ == vbObject ? u_.obj : nullptr); }

Value Value::Array(Ref<ArrayData> a) {
    Value v;
    v.u_.arr = a.get();
    if (v.u_.arr) v.u_.arr->AddRef();
    v.type_ = vbArray;
    v.flags_ = kHeavy;
    return v;
}

Value Value::Array(std::vector<Value> items) {
    auto a = MakeRef<ArrayData>();
    a->bounds.push_back({0, static_cast<int32_t>(items.size()) - 1});
    a->items = std::move(items);
    return Array(a);
}

Value Value::Integral(int64_t n) {
    if (n >= -32768 && n <= 32767) return Int(static_cast<int16_t>(n));
    if (n >= INT32_MIN && n <= INT32_MAX) return Long(static_cast<int32_t>(n));
    return Double(static_cast<double>(n));
}

bool Value::IsNumber() const noexcept {
    switch (type_) {
    case vbByte: case vbInteger: case vbLong: case vbSingle: case vbDouble: case vbCurrency: return true;
    default: return false;
    }
}

ArrayData* Value::MutableArray() {
    if (type_ != vbArray || !u_.arr) return nullptr;
    if (u_.arr->RefCount() > 1) {
        auto* copy = new ArrayData(*u_.arr);
        copy->AddRef();
        u_.arr->Release();
        u_.arr = copy;
    }
    return u_.arr;
}

namespace {
thread_local std::vector<RefCounted*>* tDeleting = nullptr;
}

void RefCounted::DeleteSoon(RefCounted* p) noexcept {
    if (tDeleting) {
        tDeleting->push_back(p);
        return;
    }
    std::vector<RefCounted*> queue;
    tDeleting = &queue;
    delete p;
    while (!queue.empty()) {
        RefCounted* next = queue.back();
        queue.pop_back();
        delete next;
    }
    tDeleting = nullptr;
}

// ---------------------------------------------------------------- arrays

// 16 M elements (640 MB): a larger array is refused as out of memory rather than attempted.
constexpr size_t kMaxArrayItems = size_t{1} << 24;

ArrayData::ArrayData(const std::vector<int32_t>& uppers) {
    size_t total = 1;
    for (int32_t u : uppers) {
        if (u < -1) Raise(9);
        bounds.push_back({0, u});
        total *= static_cast<size_t>(u + 1);
        if (total > kMaxArrayItems) Raise(7);  // out of memory
    }
    items.resize(uppers.empty() ? 0 : total);
}

size_t ArrayData::Offset(const Value* subs, size_t count) const {
    if (count != bounds.size()) Raise(9);
    size_t offset = 0, stride = 1;
    for (size_t i = 0; i < count; ++i) {
        int32_t ix = ToLong(subs[i]);
        const Bound& b = bounds[i];
        if (ix < b.lower || ix > b.upper) Raise(9);
        offset += static_cast<size_t>(ix - b.lower) * stride;
        stride *= static_cast<size_t>(b.upper - b.lower + 1);
    }
    return offset;
}

void ArrayData::Resize(const std::vector<int32_t>& uppers, bool preserve) {
    if (!preserve || bounds.empty()) {
        ArrayData fresh(uppers);
        bounds = std::move(fresh.bounds);
        items = std::move(fresh.items);
        return;
    }
    if (uppers.size() != bounds.size()) Raise(9);
    for (size_t i = 0; i + 1 < uppers.size(); ++i)
        if (uppers[i] != bounds[i].upper || bounds[i].lower != 0) Raise(9);
    if (uppers.back() < -1) Raise(9);
    // The last dimension varies slowest, so keeping elements is a plain resize.
    size_t inner = 1;
    for (size_t i = 0; i + 1 < bounds.size(); ++i) inner *= static_cast<size_t>(bounds[i].upper + 1);
    size_t total = inner * static_cast<size_t>(uppers.back() + 1);
    if (total > kMaxArrayItems) Raise(7);
    items.resize(total);
    bounds.back().upper = uppers.back();
}

// ---------------------------------------------------------------- errors

[[noreturn]] void Raise(int number, std::string description) {
    throw ScriptError(number, std::move(description));
}

[[noreturn]] void RaiseNamed(int number, std::string name) {
    ScriptError e(number);
    e.name = std::move(name);
    throw e;
}

std::string StandardErrorText(int n) {
    switch (n) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 10: return "This array is fixed or temporarily locked";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 14: return "Out of string space";
    case 17: return "Can't perform requested operation";
    case 28: return "Out of stack space";
    case 35: return "Sub or Function not defined";
    case 48: return "Error in loading DLL";
    case 51: return "Internal error";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 70: return "Permission denied";
    case 74: return "Can't rename with different drive";
    case 76: return "Path not found";
    case 91: return "Object variable not set";
    case 92: return "For loop not initialized";
    case 94: return "Invalid use of Null";
    case 424: return "Object required";
    case 429: return "ActiveX component can't create object";
    case 438: return "Object doesn't support this property or method";
    case 440: return "Automation error";
    case 445: return "Object doesn't support this action";
    case 446: return "Object doesn't support named arguments";
    case 450: return "Wrong number of arguments or invalid property assignment";
    case 451: return "Object not a collection";
    case 457: return "This key is already associated with an element of this collection";
    case 458: return "Variable uses an Automation type not supported in VBScript";
    case 500: return "Variable is undefined";
    case 501: return "Illegal assignment";
    case 502: return "Object not safe for scripting";
    case 505: return "Invalid or unqualified reference";
    case 506: return "Class not defined";
    case 1001: return "Out of memory";
    case 1002: return "Syntax error";
    case 1003: return "Expected ':'";
    case 1005: return "Expected '('";
    case 1006: return "Expected ')'";
    case 1010: return "Expected identifier";
    case 1011: return "Expected '='";
    case 1012: return "Expected 'If'";
    case 1013: return "Expected 'To'";
    case 1014: return "Expected 'End'";
    case 1015: return "Expected 'Function'";
    case 1016: return "Expected 'Sub'";
    case 1017: return "Expected 'Then'";
    case 1018: return "Expected 'Wend'";
    case 1019: return "Expected 'Loop'";
    case 1020: return "Expected 'Next'";
    case 1021: return "Expected 'Case'";
    case 1022: return "Expected 'Select'";
    case 1023: return "Expected expression";
    case 1024: return "Expected statement";
    case 1025: return "Expected end of statement";
    case 1026: return "Expected integer constant";
    case 1027: return "Expected 'While' or 'Until'";
    case 1028: return "Expected 'While', 'Until' or end of statement";
    case 1029: return "Expected 'With'";
    case 1030: return "Identifier too long";
    case 1031: return "Invalid number";
    case 1032: return "Invalid character";
    case 1033: return "Unterminated string constant";
    case 1034: return "Unterminated comment";
    case 1037: return "Invalid use of 'Me' keyword";
    case 1038: return "'loop' without 'do'";
    case 1039: return "Invalid 'exit' statement";
    case 1040: return "Invalid 'for' loop control variable";
    case 1041: return "Name redefined";
    case 1042: return "Must be first statement on the line";
    case 1044: return "Cannot use parentheses when calling a Sub";
    case 1045: return "Expected literal constant";
    case 1046: return "Expected 'In'";
    case 1047: return "Expected 'Class'";
    case 1048: return "Must be defined inside a Class";
    case 1049: return "Expected Let or Set or Get in property declaration";
    case 1050: return "Expected 'Property'";
    case 1051: return "Number of arguments must be consistent across a property's Get, Let and Set";
    case 1052: return "Cannot have multiple default property/method in a Class";
    case 1053: return "Class initialize or terminate do not have arguments";
    case 1054: return "Property set or let must have at least one argument";
    case 1055: return "Unexpected 'Next'";
    case 1057: return "'Default' needs 'Public'";
    case 1058: return "'Default' only goes on a Function, Sub or Property Get";
    case 4096: return "Script timed out";
    case 32811: return "Element not found";
    default: return "Unknown runtime error";
    }
}

// ---------------------------------------------------------------- coercions

Value Deref(const Value& v) {
    if (v.Type() != vbObject) return v;
    Object* o = v.RawObject();
    if (!o) Raise(91);
    CallArgs none;
    Value r = o->Invoke("", InvokeKind::Get, none);
    if (r.IsObject()) Raise(438);  // no default value member
    return r;
}

bool ParseNumber(std::string_view t, double& out) {
    std::optional<double> r = ParseNumber(t);
    if (!r || !std::isfinite(*r)) return false;
    out = *r;
    return true;
}

double RoundEven(double x) { return std::nearbyint(x); }

Value ToNumber(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: return Value::Int(0);
    case vbNull: Raise(94);
    case vbBoolean: return Value::Int(v.RawBool() ? -1 : 0);
    case vbByte: case vbInteger: case vbLong: case vbSingle: case vbDouble: case vbCurrency: case vbDate:
        return v;
    case vbString: {
        double d;
        if (!ParseNumber(v.RawString(), d)) Raise(13);
        return Value::Double(d);
    }
    case vbObject: return ToNumber(Deref(v));
    default: Raise(13);
    }
}

double ToDouble(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: return 0;
    case vbBoolean: return v.RawBool() ? -1 : 0;
    case vbByte: case vbInteger: case vbLong: return static_cast<double>(v.RawInt());
    case vbSingle: return v.RawSingle();
    case vbDouble: case vbDate: return v.RawDouble();
    case vbCurrency: return static_cast<double>(v.RawInt()) / 10000.0;
    default: return ToDouble(ToNumber(v));
    }
}

float ToSingle(const Value& v) {
    double d = ToDouble(v);
    if (std::fabs(d) > 3.402823466e38) Raise(6);
    return static_cast<float>(d);
}

static int64_t ToIntegral(const Value& v, int64_t lo, int64_t hi) {
    int64_t r;
    switch (v.Type()) {
    case vbEmpty: r = 0; break;
    case vbBoolean: r = v.RawBool() ? -1 : 0; break;
    case vbByte: case vbInteger: case vbLong: r = v.RawInt(); break;
    case vbCurrency: {
        double d = RoundEven(static_cast<double>(v.RawInt()) / 10000.0);
        if (d < lo || d > hi) Raise(6);
        r = static_cast<int64_t>(d);
        break;
    }
    default: {
        double d = ToDouble(v);
        if (std::isnan(d)) Raise(6);
        d = RoundEven(d);
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) Raise(6);
        r = static_cast<int64_t>(d);
    }
    }
    if (r < lo || r > hi) Raise(6);
    return r;
}

int32_t ToLong(const Value& v) {
    if (v.Type() == vbLong || v.Type() == vbInteger) return static_cast<int32_t>(v.RawInt());
    return static_cast<int32_t>(ToIntegral(v, INT32_MIN, INT32_MAX));
}
int16_t ToInt16(const Value& v) { return static_cast<int16_t>(ToIntegral(v, -32768, 32767)); }
uint8_t ToByte(const Value& v) { return static_cast<uint8_t>(ToIntegral(v, 0, 255)); }

int64_t ToCurrency(const Value& v) {
    if (v.Type() == vbCurrency) return v.RawInt();
    double d = ToDouble(v) * 10000.0;
    if (!(std::fabs(d) < 9.2233720368547758e18)) Raise(6);
    return static_cast<int64_t>(RoundEven(d));
}

bool ToBool(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: return false;
    case vbNull: Raise(94);
    case vbBoolean: return v.RawBool();
    case vbString: {
        const std::string& s = v.RawString();
        // "#TRUE#" and "#FALSE#" are how Boolean values are written to files by Write #.
        if (NameEquals(s, "true") || NameEquals(s, "#true#")) return true;
        if (NameEquals(s, "false") || NameEquals(s, "#false#")) return false;
        double d;
        if (!ParseNumber(s, d)) Raise(13);
        return d != 0;
    }
    case vbObject: return ToBool(Deref(v));
    case vbArray: case vbError: Raise(13);
    case vbCurrency: case vbByte: case vbInteger: case vbLong: return v.RawInt() != 0;
    default: return ToDouble(v) != 0;
    }
}

std::string NumberText(const Value& v) {
    switch (v.Type()) {
    case vbByte: case vbInteger: case vbLong: return std::to_string(v.RawInt());
    case vbSingle: return FormatSingle(v.RawSingle());
    case vbDouble: return FormatDouble(v.RawDouble());
    case vbCurrency: return FormatCurrencyValue(v.RawInt());
    default: return ToString(v);
    }
}

std::string ToString(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: return {};
    case vbNull: Raise(94);
    case vbBoolean: return v.RawBool() ? "True" : "False";
    case vbString: return v.RawString();
    case vbDate: return DateText(v.RawDouble());
    case vbObject: return ToString(Deref(v));
    case vbArray: Raise(13);
    case vbError: return "Error " + std::to_string(v.RawInt());
    default: return NumberText(v);
    }
}

double ToDate(const Value& v) {
    double d;
    switch (v.Type()) {
    case vbDate: return v.RawDouble();
    case vbString:
        if (ParseDateText(v.RawString(), d)) return d;
        if (ParseNumber(v.RawString(), d)) break;
        Raise(13);
    case vbNull: Raise(94);
    default: d = ToDouble(v);
    }
    // Years 100 to 9999.
    if (!(d >= -657434.0 && d < 2958466.0)) Raise(6);
    return d;
}

std::string TypeNameOf(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: return "Empty";
    case vbNull: return "Null";
    case vbInteger: return "Integer";
    case vbLong: return "Long";
    case vbSingle: return "Single";
    case vbDouble: return "Double";
    case vbCurrency: return "Currency";
    case vbDate: return "Date";
    case vbString: return "String";
    case vbObject: return v.RawObject() ? v.RawObject()->TypeName() : "Nothing";
    case vbError: return "Error";
    case vbBoolean: return "Boolean";
    case vbByte: return "Byte";
    case vbArray: return "Variant()";
    default: return "Unknown";
    }
}

bool NameEquals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x == y) continue;
        if ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z') return false;
    }
    return true;
}

std::string LowerName(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

}  // namespace tarvelo::vbs
