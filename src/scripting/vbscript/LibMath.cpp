// Math functions, the random number generator and RGB.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"
#include "scripting/vbscript/VbsDate.h"

namespace tarvelo::vbs {

namespace {

Value Checked(double r) {
    if (!std::isfinite(r)) Raise(6);
    return Value::Double(r);
}

Value Sqr(Runtime&, CallArgs& a) {
    double x = ToDouble(a[0]);
    if (x < 0) Raise(5);
    return Value::Double(std::sqrt(x));
}

Value Log(Runtime&, CallArgs& a) {
    double x = ToDouble(a[0]);
    if (x <= 0) Raise(5);
    return Value::Double(std::log(x));
}

Value Exp(Runtime&, CallArgs& a) { return Checked(std::exp(ToDouble(a[0]))); }
Value Sin(Runtime&, CallArgs& a) { return Value::Double(std::sin(ToDouble(a[0]))); }
Value Cos(Runtime&, CallArgs& a) { return Value::Double(std::cos(ToDouble(a[0]))); }
Value Tan(Runtime&, CallArgs& a) { return Checked(std::tan(ToDouble(a[0]))); }
Value Atn(Runtime&, CallArgs& a) { return Value::Double(std::atan(ToDouble(a[0]))); }

// The language's 24-bit generator: Rnd() after the same Randomize n gives the
// same sequence as on Windows; Rnd(-x) restarts from x; Rnd(0) repeats the last.
struct RndState {
    uint32_t seed = 0x50000;
};

uint32_t Next(uint32_t x) { return (x * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu; }

Value Rnd(Runtime& rt, CallArgs& a) {
    RndState& st = rt.State<RndState>();
    float n = a.Has(0) ? ToSingle(a[0]) : 1.0f;
    if (n < 0) {
        uint32_t bits;
        std::memcpy(&bits, &n, sizeof bits);
        st.seed = Next(((bits & 0xFFFFFFu) + (bits >> 24)) & 0xFFFFFFu);
    } else if (n > 0) {
        st.seed = Next(st.seed);
    }
    return Value::Single(static_cast<float>(st.seed) / 16777216.0f);
}

// Randomize [n]: mixes the upper half of n's double form into the seed; no n takes the timer.
Value Randomize(Runtime& rt, CallArgs& a) {
    RndState& st = rt.State<RndState>();
    double n;
    if (a.Has(0)) {
        n = ToDouble(a[0]);
    } else {
        double linear = DateToLinear(rt.Now());
        n = static_cast<float>((linear - std::floor(linear)) * 86400.0);
    }
    uint64_t bits;
    std::memcpy(&bits, &n, sizeof bits);
    uint32_t high = static_cast<uint32_t>(bits >> 32);
    uint32_t mixed = ((high & 0xFFFFu) ^ (high >> 16)) << 8;
    st.seed = (st.seed & 0xFFu) | (mixed & 0xFFFF00u);
    return Value();
}

Value RGB(Runtime&, CallArgs& a) {
    int32_t c[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = ToLong(a[i]);
        if (c[i] < 0) Raise(5);
        if (c[i] > 255) c[i] = 255;
    }
    return Value::Long(c[0] + c[1] * 256 + c[2] * 65536);
}

} // namespace

void RegisterMath(Runtime& rt) {
    rt.AddFunction("Sqr", Sqr, 1, 1);
    rt.AddFunction("Exp", Exp, 1, 1);
    rt.AddFunction("Log", Log, 1, 1);
    rt.AddFunction("Sin", Sin, 1, 1);
    rt.AddFunction("Cos", Cos, 1, 1);
    rt.AddFunction("Tan", Tan, 1, 1);
    rt.AddFunction("Atn", Atn, 1, 1);
    rt.AddFunction("Rnd", Rnd, 0, 1);
    rt.AddFunction("Randomize", Randomize, 0, 1, CallUse::StatementOnly);
    rt.AddFunction("RGB", RGB, 3, 3);
}

} // namespace tarvelo::vbs
