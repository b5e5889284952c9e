// Date and time functions, and the Format* functions. The clock is the
// runtime's (a host can replace it); text forms are fixed (see VbsDate.h and
// VbsFormat.h). A Null date gives Null from the part functions (Year ...,
// DateAdd, DateDiff, DatePart, DateValue, TimeValue).
#include <cmath>
#include <optional>
#include <string>

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"
#include "scripting/vbscript/VbsDate.h"
#include "scripting/vbscript/VbsFormat.h"

namespace tarvelo::vbs {

namespace {

// The clock has whole seconds, like the language's Now.
double NowSeconds(Runtime& rt) {
    double now = rt.Now();
    return LinearToDate(std::floor(DateToLinear(now) * 86400.0 + 1e-6) / 86400.0);
}

int FirstDay(const CallArgs& a, size_t i) {
    if (!a.Has(i)) return 1;
    int32_t d = ToLong(a[i]);
    if (d < 0 || d > 7) Raise(5);
    return d == 0 ? 1 : d;  // the system's first day is Sunday
}

int FirstWeek(const CallArgs& a, size_t i) {
    if (!a.Has(i)) return 1;
    int32_t w = ToLong(a[i]);
    if (w < 0 || w > 3) Raise(5);
    return w == 0 ? 1 : w;
}

Interval IntervalArg(const Value& v) {
    std::optional<Interval> iv = ParseInterval(ToString(v));
    if (!iv) Raise(5);
    return *iv;
}

Value Now(Runtime& rt, CallArgs&) { return Value::Date(NowSeconds(rt)); }
Value DateFn(Runtime& rt, CallArgs&) { return Value::Date(std::floor(DateToLinear(NowSeconds(rt)))); }
Value Time(Runtime& rt, CallArgs&) {
    double linear = DateToLinear(NowSeconds(rt));
    return Value::Date(linear - std::floor(linear));
}
Value Timer(Runtime& rt, CallArgs&) {
    double linear = DateToLinear(rt.Now());
    return Value::Single(static_cast<float>((linear - std::floor(linear)) * 86400.0));
}

template <int DateParts::*field>
Value Part(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    return Value::Int(static_cast<int16_t>(SplitDate(ToDate(a[0])).*field));
}

Value WeekdayFn(Runtime&, CallArgs& a) {
    int first = FirstDay(a, 1);
    if (a[0].IsNull()) return Value::Null();
    return Value::Int(static_cast<int16_t>(Weekday(ToDate(a[0]), first)));
}

Value WeekdayNameFn(Runtime&, CallArgs& a) {
    int32_t day = ToLong(a[0]);
    bool abbreviate = a.Has(1) && ToBool(a[1]);
    std::string name = WeekdayName(day, abbreviate, FirstDay(a, 2));
    if (name.empty()) Raise(5);
    return Value::Str(std::move(name));
}

Value MonthNameFn(Runtime&, CallArgs& a) {
    std::string name = MonthName(ToLong(a[0]), a.Has(1) && ToBool(a[1]));
    if (name.empty()) Raise(5);
    return Value::Str(std::move(name));
}

Value DateAddFn(Runtime&, CallArgs& a) {
    Interval iv = IntervalArg(a[0]);
    if (a[1].IsNull()) Raise(94);  // a Null date gives Null, a Null count is an error
    if (a[2].IsNull()) return Value::Null();
    std::optional<double> d = DateAdd(iv, ToDouble(a[1]), ToDate(a[2]));
    if (!d) Raise(5);
    return Value::Date(*d);
}

Value DateDiffFn(Runtime&, CallArgs& a) {
    Interval iv = IntervalArg(a[0]);
    int first = FirstDay(a, 3);
    FirstWeek(a, 4);
    if (a[1].IsNull() || a[2].IsNull()) return Value::Null();
    return Value::Integral(DateDiff(iv, ToDate(a[1]), ToDate(a[2]), first));
}

Value DatePartFn(Runtime&, CallArgs& a) {
    Interval iv = IntervalArg(a[0]);
    int first = FirstDay(a, 2), week = FirstWeek(a, 3);
    if (a[1].IsNull()) return Value::Null();
    return Value::Int(static_cast<int16_t>(DatePart(iv, ToDate(a[1]), first, week)));
}

Value DateSerialFn(Runtime&, CallArgs& a) {
    std::optional<double> d = DateSerial(ToLong(a[0]), ToLong(a[1]), ToLong(a[2]));
    if (!d) Raise(5);
    return Value::Date(*d);
}

Value TimeSerialFn(Runtime&, CallArgs& a) {
    std::optional<double> d = TimeSerial(ToLong(a[0]), ToLong(a[1]), ToLong(a[2]));
    if (!d) Raise(5);
    return Value::Date(*d);
}

Value DateValue(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    return Value::Date(std::floor(DateToLinear(ToDate(a[0]))));
}

Value TimeValue(Runtime&, CallArgs& a) {
    if (a[0].IsNull()) return Value::Null();
    double linear = DateToLinear(ToDate(a[0]));
    return Value::Date(linear - std::floor(linear));
}

Value FormatDateTimeFn(Runtime&, CallArgs& a) {
    int32_t format = a.Has(1) ? ToLong(a[1]) : 0;
    if (format < 0 || format > 4) Raise(5);
    if (a[0].IsNull()) Raise(13);
    return Value::Str(FormatDate(ToDate(a[0]), static_cast<DateFormat>(format)));
}

// FormatNumber(expression[, digits[, leadingZero[, parens[, group]]]]);
// the three flags are tristates (-2 = the locale's default).
NumberStyle StyleArgs(const CallArgs& a) {
    NumberStyle st;
    st.digits = a.Has(1) ? ToLong(a[1]) : -1;
    if (st.digits < -1 || st.digits > 255) Raise(5);
    auto flag = [&](size_t i, bool def) {
        if (!a.Has(i)) return def;
        int32_t t = ToLong(a[i]);
        return t == -2 ? def : t != 0;
    };
    st.leadingZero = flag(2, true);
    st.parens = flag(3, false);
    st.group = flag(4, true);
    return st;
}

template <std::string (*format)(double, const NumberStyle&)>
Value FormatNumeric(Runtime&, CallArgs& a) {
    NumberStyle st = StyleArgs(a);
    if (a[0].IsNull()) Raise(13);  // a Null flag is 94, a Null value 13
    return Value::Str(format(ToDouble(a[0]), st));
}

} // namespace

void RegisterDateTime(Runtime& rt) {
    rt.AddFunction("Now", Now, 0, 0);
    rt.AddFunction("Date", DateFn, 0, 0);
    rt.AddFunction("Time", Time, 0, 0);
    rt.AddFunction("Timer", Timer, 0, 0);
    rt.AddFunction("Year", Part<&DateParts::year>, 1, 1);
    rt.AddFunction("Month", Part<&DateParts::month>, 1, 1);
    rt.AddFunction("Day", Part<&DateParts::day>, 1, 1);
    rt.AddFunction("Hour", Part<&DateParts::hour>, 1, 1);
    rt.AddFunction("Minute", Part<&DateParts::minute>, 1, 1);
    rt.AddFunction("Second", Part<&DateParts::second>, 1, 1);
    rt.AddFunction("Weekday", WeekdayFn, 1, 2);
    rt.AddFunction("WeekdayName", WeekdayNameFn, 1, 3);
    rt.AddFunction("MonthName", MonthNameFn, 1, 2);
    rt.AddFunction("DateAdd", DateAddFn, 3, 3);
    rt.AddFunction("DateDiff", DateDiffFn, 3, 5);
    rt.AddFunction("DatePart", DatePartFn, 2, 4);
    rt.AddFunction("DateSerial", DateSerialFn, 3, 3);
    rt.AddFunction("TimeSerial", TimeSerialFn, 3, 3);
    rt.AddFunction("DateValue", DateValue, 1, 1);
    rt.AddFunction("TimeValue", TimeValue, 1, 1);
    rt.AddFunction("FormatDateTime", FormatDateTimeFn, 1, 2);
    rt.AddFunction("FormatNumber", FormatNumeric<FormatNumberText>, 1, 5);
    rt.AddFunction("FormatPercent", FormatNumeric<FormatPercentText>, 1, 5);
    rt.AddFunction("FormatCurrency", FormatNumeric<FormatCurrencyText>, 1, 5);
}

} // namespace tarvelo::vbs
