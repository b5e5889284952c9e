// Conversions (CInt ... CDate), rounding (Int, Fix, Round, Abs, Sgn), type
// tests (IsNumeric ...) and arrays (Array, UBound, LBound).
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"
#include "scripting/vbscript/VbsDate.h"
#include "scripting/vbscript/VbsFormat.h"

namespace tarvelo::vbs {

namespace {

Value CInt(Runtime&, CallArgs& a) { return Value::Int(ToInt16(a[0])); }
Value CLng(Runtime&, CallArgs& a) { return Value::Long(ToLong(a[0])); }
// True is all bits set: 255 as a Byte.
Value CByte(Runtime&, CallArgs& a) {
    if (a[0].Type() == vbBoolean) return Value::Byte(a[0].RawBool() ? 255 : 0);
    return Value::Byte(ToByte(a[0]));
}
Value CSng(Runtime&, CallArgs& a) { return Value::Single(ToSingle(a[0])); }
Value CDbl(Runtime&, CallArgs& a) { return Value::Double(ToDouble(a[0])); }
Value CCur(Runtime&, CallArgs& a) { return Value::Currency(ToCurrency(a[0])); }
Value CBool(Runtime&, CallArgs& a) { return Value::Bool(ToBool(a[0])); }
Value CStr(Runtime&, CallArgs& a) { return a[0].IsString() ? a[0] : Value::Str(ToString(a[0])); }
Value CDate(Runtime&, CallArgs& a) { return Value::Date(ToDate(a[0])); }

// Int and Fix keep the numeric type (Int(2.5) is a Double 2); Null stays Null.
template <bool floorIt>
Value WholePart(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    Value v = ToNumber(a[0]);
    auto cut = [](double d) { return floorIt ? std::floor(d) : std::trunc(d); };
    switch (v.Type()) {
    case vbSingle: return Value::Single(static_cast<float>(cut(v.RawSingle())));
    case vbDouble: return Value::Double(cut(v.RawDouble()));
    case vbDate: return Value::Date(cut(v.RawDouble()));
    case vbCurrency: {
        int64_t units = v.RawInt() / 10000, rest = v.RawInt() % 10000;
        if (floorIt && rest < 0) --units;
        return Value::Currency(units * 10000);
    }
    default: return v;  // Byte, Integer, Long
    }
}

Value Round(Runtime&, CallArgs& a) {
    int32_t digits = a.Has(1) ? ToLong(a[1]) : 0;
    if (digits < 0) Raise(5);
    if (a[0].IsNull()) return Value::Null();
    if (a[0].Type() == vbBoolean) return a[0];
    Value v = ToNumber(a[0]);
    switch (v.Type()) {
    case vbSingle: return Value::Single(static_cast<float>(RoundHalfEven(v.RawSingle(), digits)));
    case vbDouble: case vbDate: return Value::Double(RoundHalfEven(v.RawDouble(), digits));
    case vbCurrency:
        if (digits >= 4) return v;
        return Value::Currency(static_cast<int64_t>(
            RoundHalfEven(static_cast<double>(v.RawInt()) / std::pow(10.0, 4 - digits), 0) * std::pow(10.0, 4 - digits)));
    default: return v;
    }
}

Value Abs(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    Value v = ToNumber(a[0]);
    switch (v.Type()) {
    case vbByte: return v;
    case vbInteger:  // Abs of the smallest value moves up a type, as arithmetic overflow does
        return v.RawInt() == -32768 ? Value::Long(32768) : Value::Int(static_cast<int16_t>(std::abs(v.RawInt())));
    case vbLong:
        return v.RawInt() == INT32_MIN ? Value::Double(2147483648.0) : Value::Long(static_cast<int32_t>(std::abs(v.RawInt())));
    case vbSingle: return Value::Single(std::fabs(v.RawSingle()));
    case vbCurrency:
        if (v.RawInt() == INT64_MIN) Raise(6);
        return Value::Currency(v.RawInt() < 0 ? -v.RawInt() : v.RawInt());
    default: return Value::Double(std::fabs(ToDouble(v)));
    }
}

Value Sgn(Runtime&, CallArgs& a) {
    double d = ToDouble(a[0]);
    return Value::Int(d > 0 ? 1 : (d < 0 ? -1 : 0));
}

bool Numeric(const Value& v) {
    switch (v.Type()) {
    case vbEmpty: case vbBoolean: case vbByte: case vbInteger: case vbLong: case vbSingle: case vbDouble:
    case vbCurrency: return true;
    case vbString: return IsNumericText(v.RawString());
    case vbObject:
        if (!v.RawObject()) return false;
        try {
            return Numeric(Deref(v));
        } catch (const ScriptError&) {
            return false;
        }
    default: return false;
    }
}

Value IsNumeric(Runtime&, CallArgs& a) { return Value::Bool(Numeric(a[0])); }

Value IsDate(Runtime& rt, CallArgs& a) {
    const Value& v = a[0];
    if (v.Type() == vbDate) return Value::Bool(true);
    if (!v.IsString()) return Value::Bool(false);
    int year = SplitDate(rt.Now()).year;
    return Value::Bool(ParseDate(v.RawString(), year).has_value());
}

Value IsEmpty(Runtime&, CallArgs& a) { return Value::Bool(a[0].IsEmpty()); }
Value IsNull(Runtime&, CallArgs& a) { return Value::Bool(a[0].IsNull()); }
Value IsObject(Runtime&, CallArgs& a) { return Value::Bool(a[0].IsObject()); }
Value IsArray(Runtime&, CallArgs& a) { return Value::Bool(a[0].IsArray()); }

Value ArrayFn(Runtime&, CallArgs& a) {
    std::vector<Value> items(a.size());
    for (size_t i = 0; i < a.size(); ++i) items[i] = a[i].IsMissing() ? Value() : a[i];
    return Value::Array(std::move(items));
}

template <bool upper>
Value Bound(Runtime&, CallArgs& a) {
    if (!a[0].IsArray()) Raise(13);
    const ArrayData* arr = a[0].RawArray();
    int32_t dim = a.Has(1) ? ToLong(a[1]) : 1;
    if (dim < 1 || dim > arr->Dims()) Raise(9);
    const ArrayData::Bound& b = arr->bounds[static_cast<size_t>(dim) - 1];
    return Value::Long(upper ? b.upper : b.lower);
}

} // namespace

void RegisterConvert(Runtime& rt) {
    rt.AddFunction("CInt", CInt, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CLng", CLng, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CByte", CByte, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CSng", CSng, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CDbl", CDbl, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CCur", CCur, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("CBool", CBool, 1, 1);
    rt.AddFunction("CStr", CStr, 1, 1);
    rt.AddFunction("CDate", CDate, 1, 1, CallUse::ValueOnly);
    rt.AddFunction("Int", WholePart<true>, 1, 1);
    rt.AddFunction("Fix", WholePart<false>, 1, 1);
    rt.AddFunction("Round", Round, 1, 2);
    rt.AddFunction("Abs", Abs, 1, 1);
    rt.AddFunction("Sgn", Sgn, 1, 1);
    rt.AddFunction("IsNumeric", IsNumeric, 1, 1);
    rt.AddFunction("IsDate", IsDate, 1, 1);
    rt.AddFunction("IsEmpty", IsEmpty, 1, 1);
    rt.AddFunction("IsNull", IsNull, 1, 1);
    rt.AddFunction("IsObject", IsObject, 1, 1);
    rt.AddFunction("IsArray", IsArray, 1, 1);
    rt.AddFunction("Array", ArrayFn, 0, -1);
    rt.AddFunction("UBound", Bound<true>, 1, 2);
    rt.AddFunction("LBound", Bound<false>, 1, 2);
}

} // namespace tarvelo::vbs
