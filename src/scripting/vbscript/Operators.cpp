// The language's operators over Variants: result types widen on overflow
// (Byte -> Integer -> Long -> Double), Null propagates, Empty reads as 0 or "".
#include "scripting/vbscript/Value.h"

#include <cmath>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {
namespace {

// Rank of an integer type for the result of integer arithmetic.
int IntRank(int t) { return t == vbByte ? 1 : t == vbInteger ? 2 : 3; }

Value IntResult(int64_t r, int rank) {
    if (rank <= 1 && r >= 0 && r <= 255) return Value::Byte(static_cast<uint8_t>(r));
    if (rank <= 2 && r >= -32768 && r <= 32767) return Value::Int(static_cast<int16_t>(r));
    if (r >= INT32_MIN && r <= INT32_MAX) return Value::Long(static_cast<int32_t>(r));
    return Value::Double(static_cast<double>(r));
}

bool IsIntType(int t) { return t == vbByte || t == vbInteger || t == vbLong; }

Value CheckedDouble(double d) {
    if (std::isinf(d) || std::isnan(d)) Raise(6);
    return Value::Double(d);
}

Value Arith(BinOp op, const Value& x, const Value& y) {
    Value a = ToNumber(x), b = ToNumber(y);
    int ta = a.Type(), tb = b.Type();
    if (IsIntType(ta) && IsIntType(tb)) {
        int64_t p = a.RawInt(), q = b.RawInt();
        int rank = std::max(IntRank(ta), IntRank(tb));
        switch (op) {
        case BinOp::Add: return IntResult(p + q, rank);
        case BinOp::Sub: return IntResult(p - q, rank == 1 ? 2 : rank);
        default: return IntResult(p * q, rank);
        }
    }
    if (ta == vbDate || tb == vbDate) {
        double r = op == BinOp::Add ? ToDouble(a) + ToDouble(b)
                 : op == BinOp::Sub ? ToDouble(a) - ToDouble(b) : ToDouble(a) * ToDouble(b);
        if (op == BinOp::Mul || (op == BinOp::Sub && ta == vbDate && tb == vbDate)) return CheckedDouble(r);
        if (!(r >= -657434.0 && r < 2958466.0)) Raise(6);
        return Value::Date(r);
    }
    if ((ta == vbCurrency || tb == vbCurrency) && ta != vbDouble && tb != vbDouble && ta != vbSingle &&
        tb != vbSingle) {
        int64_t p = ToCurrency(a), q = ToCurrency(b);
        long double r = op == BinOp::Add ? static_cast<long double>(p) + q
                      : op == BinOp::Sub ? static_cast<long double>(p) - q
                                         : static_cast<long double>(p) * q / 10000.0L;
        if (std::fabs(r) >= 9.2233720368547758e18L) Raise(6);
        return Value::Currency(static_cast<int64_t>(std::nearbyint(static_cast<double>(r))));
    }
    double p = ToDouble(a), q = ToDouble(b);
    double r = op == BinOp::Add ? p + q : op == BinOp::Sub ? p - q : p * q;
    bool single = (ta == vbSingle || tb == vbSingle) && ta != vbDouble && tb != vbDouble &&
                  ta != vbLong && tb != vbLong && ta != vbCurrency && tb != vbCurrency;
    if (single && std::fabs(r) <= 3.402823466e38) return Value::Single(static_cast<float>(r));
    return CheckedDouble(r);
}

// Operand of \, Mod and the logical operators: a whole number, and whether it was Long-sized.
int64_t WholeOperand(const Value& v, int& rank) {
    Value n = ToNumber(v);
    int t = n.Type();
    if (IsIntType(t)) { rank = std::max(rank, IntRank(t)); return n.RawInt(); }
    rank = 3;
    return ToLong(n);
}

bool IsBoolish(const Value& v) { return v.Type() == vbBoolean; }

Value Logical(BinOp op, const Value& x, const Value& y) {
    Value a = x.IsObject() ? Deref(x) : x, b = y.IsObject() ? Deref(y) : y;
    bool na = a.IsNull(), nb = b.IsNull();
    if (na || nb) {
        const Value& other = na ? b : a;
        if (na && nb) return Value::Null();
        int r = 2;
        int64_t o = WholeOperand(other, r);
        switch (op) {
        case BinOp::And:
            if (o == 0) return IsBoolish(other) ? Value::Bool(false) : IntResult(0, r);
            return Value::Null();
        case BinOp::Or:
            if (o == -1) return IsBoolish(other) ? Value::Bool(true) : IntResult(-1, r);
            return Value::Null();
        case BinOp::Imp:
            if (na && o == -1) return IsBoolish(other) ? Value::Bool(true) : IntResult(-1, r);
            if (nb && o == 0) return IsBoolish(other) ? Value::Bool(true) : IntResult(-1, r);
            return Value::Null();
        default: return Value::Null();
        }
    }
    int rank = 1;
    if (!IsIntType(ToNumber(a).Type()) || !IsIntType(ToNumber(b).Type())) rank = 2;
    int64_t p = WholeOperand(a, rank), q = WholeOperand(b, rank);
    int64_t r;
    switch (op) {
    case BinOp::And: r = p & q; break;
    case BinOp::Or: r = p | q; break;
    case BinOp::Xor: r = p ^ q; break;
    case BinOp::Eqv: r = ~(p ^ q); break;
    default: r = ~p | q; break;
    }
    if (IsBoolish(a) && IsBoolish(b)) return Value::Bool(r != 0);
    if (rank <= 1) return Value::Byte(static_cast<uint8_t>(r & 0xFF));
    if (rank == 2) return Value::Int(static_cast<int16_t>(r));
    return Value::Long(static_cast<int32_t>(r));
}

int CompareStrings(const std::string& a, const std::string& b, bool text) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (text) {
            if (x >= 'A' && x <= 'Z') x += 32;
            if (y >= 'A' && y <= 'Z') y += 32;
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

int Compare(const Value& x, const Value& y, bool text) {
    const Value& a = x.IsObject() ? Deref(x) : x;
    Value bd;
    const Value* bp = &y;
    if (y.IsObject()) { bd = Deref(y); bp = &bd; }
    const Value& b = *bp;
    if (a.IsNull() || b.IsNull()) return 2;
    if (a.IsArray() || b.IsArray() || a.Type() == vbError || b.Type() == vbError) Raise(13);
    bool sa = a.IsString(), sb = b.IsString();
    if (sa && sb) return CompareStrings(a.RawString(), b.RawString(), text);
    if (sa || sb) {
        const Value& other = sa ? b : a;
        if (other.IsEmpty()) return CompareStrings(sa ? a.RawString() : std::string(), sb ? b.RawString() : std::string(), text);
        // A number is less than any string.
        return sa ? 1 : -1;
    }
    if (a.Type() == vbCurrency && b.Type() == vbCurrency) {
        return a.RawInt() < b.RawInt() ? -1 : a.RawInt() > b.RawInt() ? 1 : 0;
    }
    // A Single against a Double compares at Single precision: CSng(0.1) = 0.1.
    int ta = a.Type(), tb = b.Type();
    if ((ta == vbSingle && (tb == vbDouble || tb == vbSingle)) || (tb == vbSingle && ta == vbDouble)) {
        float p = static_cast<float>(ToDouble(a)), q = static_cast<float>(ToDouble(b));
        return p < q ? -1 : p > q ? 1 : 0;
    }
    double p = ToDouble(a), q = ToDouble(b);
    return p < q ? -1 : p > q ? 1 : 0;
}

Value BinaryOp(BinOp op, const Value& a, const Value& b) {
    switch (op) {
    case BinOp::Concat: {
        if (a.IsNull() && b.IsNull()) return Value::Null();
        std::string s = a.IsNull() ? std::string() : ToString(a);
        if (!b.IsNull()) s += ToString(b);
        return Value::Str(std::move(s));
    }
    case BinOp::Is: {
        if (!a.IsObject() || !b.IsObject()) Raise(424);
        return Value::Bool(a.RawObject() == b.RawObject());
    }
    case BinOp::Eq: case BinOp::Ne: case BinOp::Lt: case BinOp::Le: case BinOp::Gt: case BinOp::Ge: {
        int c = Compare(a, b, false);
        if (c == 2) return Value::Null();
        switch (op) {
        case BinOp::Eq: return Value::Bool(c == 0);
        case BinOp::Ne: return Value::Bool(c != 0);
        case BinOp::Lt: return Value::Bool(c < 0);
        case BinOp::Le: return Value::Bool(c <= 0);
        case BinOp::Gt: return Value::Bool(c > 0);
        default: return Value::Bool(c >= 0);
        }
    }
    case BinOp::And: case BinOp::Or: case BinOp::Xor: case BinOp::Eqv: case BinOp::Imp:
        return Logical(op, a, b);
    default: break;
    }
    // Arithmetic.
    const Value& da = a.IsObject() ? Deref(a) : a;
    Value dbv;
    const Value* dbp = &b;
    if (b.IsObject()) { dbv = Deref(b); dbp = &dbv; }
    const Value& db = *dbp;
    if (da.IsNull() || db.IsNull()) return Value::Null();
    switch (op) {
    case BinOp::Add:
        if (da.IsString() && db.IsString()) return Value::Str(da.RawString() + db.RawString());
        if (da.IsEmpty() && db.IsString()) return db;
        if (db.IsEmpty() && da.IsString()) return da;
        return Arith(op, da, db);
    case BinOp::Sub: case BinOp::Mul: return Arith(op, da, db);
    case BinOp::Div: {
        double q = ToDouble(db), p = ToDouble(da);
        if (q == 0) Raise(p == 0 ? 6 : 11);
        return CheckedDouble(p / q);
    }
    case BinOp::IntDiv: case BinOp::Mod: {
        int rank = 2;
        int64_t p = WholeOperand(da, rank), q = WholeOperand(db, rank);
        if (q == 0) Raise(11);
        int64_t r = op == BinOp::IntDiv ? p / q : p % q;
        if (rank == 2 && (r < -32768 || r > 32767)) rank = 3;
        if (r < INT32_MIN || r > INT32_MAX) Raise(6);  // the smallest Long \ -1
        return rank <= 2 ? Value::Int(static_cast<int16_t>(r)) : Value::Long(static_cast<int32_t>(r));
    }
    case BinOp::Pow: {
        double p = ToDouble(da), q = ToDouble(db);
        if (p < 0 && q != std::floor(q)) Raise(5);
        if (p == 0 && q < 0) Raise(5);
        return CheckedDouble(std::pow(p, q));
    }
    default: Raise(51);
    }
}

Value Negate(const Value& x) {
    const Value& a = x.IsObject() ? Deref(x) : x;
    if (a.IsNull()) return a;
    Value n = ToNumber(a);
    switch (n.Type()) {
    case vbByte: case vbInteger: return IntResult(-n.RawInt(), 2);
    case vbLong: return IntResult(-n.RawInt(), 3);
    case vbSingle: return Value::Single(-n.RawSingle());
    case vbCurrency: return Value::Currency(-n.RawInt());
    case vbDate: return Value::Date(-n.RawDouble());
    default: return Value::Double(-ToDouble(n));
    }
}

Value Not(const Value& x) {
    const Value& a = x.IsObject() ? Deref(x) : x;
    if (a.IsNull()) return a;
    if (a.Type() == vbBoolean) return Value::Bool(!a.RawBool());
    // Text that is no number but a Boolean ("True", "#FALSE#") is negated as a Boolean.
    double unused;
    if (a.IsString() && !ParseNumber(a.RawString(), unused)) return Value::Bool(!ToBool(a));
    Value n = ToNumber(a);
    switch (n.Type()) {
    case vbByte: return Value::Byte(static_cast<uint8_t>(~n.RawInt() & 0xFF));
    case vbInteger: return Value::Int(static_cast<int16_t>(~n.RawInt()));
    case vbLong: return Value::Long(static_cast<int32_t>(~n.RawInt()));
    default: {
        int32_t l = ToLong(n);
        return Value::Long(~l);
    }
    }
}

}  // namespace tarvelo::vbs
