// The script Variant: one tagged value that every part of the engine and the
// built-in library passes around, with the language's coercion and operator
// rules. Objects and arrays are reference counted in place (intrusive) so a
// script class learns at once when its last reference goes (Class_Terminate).
// Arrays are values in the language: copies share storage until one is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvelo::vbs {

// Type codes as the language's VarType reports them.
enum VarType : int {
    vbEmpty = 0, vbNull = 1, vbInteger = 2, vbLong = 3, vbSingle = 4, vbDouble = 5,
    vbCurrency = 6, vbDate = 7, vbString = 8, vbObject = 9, vbError = 10, vbBoolean = 11,
    vbVariant = 12, vbDataObject = 13, vbByte = 17, vbArray = 8192
};

// A script-visible error. Thrown by anything (coercions, built-ins, objects);
// the interpreter adds the position and routes it to On Error / the host.
struct ScriptError {
    int number = 0;
    std::string description;  // empty: the standard text for the number
    std::string source;       // empty: the engine fills in its own name
    std::string name;         // the identifier or class the error is about, for messages; not in Err
    std::string helpFile;     // Err.Raise's help file and context
    int32_t helpContext = 0;
    int line = 0;             // where it happened (1-based), 0 until the interpreter knows
    int col = 0;
    ScriptError() = default;
    explicit ScriptError(int n, std::string d = {}, std::string s = {})
        : number(n), description(std::move(d)), source(std::move(s)) {}
};

[[noreturn]] void Raise(int number, std::string description = {});
// An error about a named thing ("Variable is undefined" for 'x'): Err.Description
// keeps the standard text, a message to the user names the thing.
[[noreturn]] void RaiseNamed(int number, std::string name);
// The language's standard message for a run-time or syntax error number.
std::string StandardErrorText(int number);

class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) : refs_(0) {}
    RefCounted& operator=(const RefCounted&) { return *this; }
    virtual ~RefCounted() = default;
    void AddRef() const noexcept { ++refs_; }
    void Release() const noexcept {
        if (--refs_ == 0) const_cast<RefCounted*>(this)->LastRelease();
    }
    int RefCount() const noexcept { return refs_; }

protected:
    // Called when the count reaches zero; script classes run Class_Terminate here.
    virtual void LastRelease() noexcept { DeleteSoon(this); }
    // Deletes p, or queues it when another deletion is under way, so that
    // dropping a long chain of objects (a linked list) never recurses deeply.
    static void DeleteSoon(RefCounted* p) noexcept;

private:
    mutable int refs_ = 0;
};

template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    Ref(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    Ref(const Ref& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    template <class U>
    Ref(const Ref<U>& o) noexcept : p_(o.get()) { if (p_) p_->AddRef(); }
    ~Ref() { if (p_) p_->Release(); }
    Ref& operator=(Ref o) noexcept { std::swap(p_, o.p_); return *this; }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Ref& o) const noexcept { return p_ == o.p_; }

private:
    T* p_ = nullptr;
};

template <class T, class... A>
Ref<T> MakeRef(A&&... a) { return Ref<T>(new T(std::forward<A>(a)...)); }

class Object;
class ArrayData;
class Runtime;
class CallArgs;
using ObjectRef = Ref<Object>;

class Value {
public:
    Value() noexcept : type_(vbEmpty) { u_.i64 = 0; }
    // Numbers, dates and the like copy as 8 bytes; strings, objects and arrays own something.
    // A copy is never a fixed array: "b = a" gives b an array it may ReDim.
    Value(const Value& o) : type_(vbEmpty) {
        if (o.Light()) {
            type_ = o.type_;
            u_.i64 = o.u_.i64;
        } else {
            CopyFrom(o);
        }
    }
    Value(Value&& o) noexcept : type_(vbEmpty) { MoveFrom(o); }
    Value& operator=(const Value& o) {
        if (Light() && o.Light()) {
            type_ = o.type_;
            flags_ = 0;
            u_.i64 = o.u_.i64;
            return *this;
        }
        return AssignSlow(o);
    }
    Value& operator=(Value&& o) noexcept {
        if (Light() && o.type_ != vbString) {
            type_ = o.type_;
            flags_ = o.flags_;
            u_.i64 = o.u_.i64;
            o.type_ = vbEmpty;
            o.flags_ = 0;
            return *this;
        }
        return MoveAssignSlow(o);
    }
    ~Value() { if (!Light()) Destroy(); }

    // Factories: one per type, so nothing converts by accident.
    static Value Null() { Value v; v.type_ = vbNull; return v; }
    static Value Bool(bool b) { Value v; v.type_ = vbBoolean; v.u_.b = b; return v; }
    static Value Byte(uint8_t x) { Value v; v.type_ = vbByte; v.u_.i64 = x; return v; }
    static Value Int(int16_t x) { Value v; v.type_ = vbInteger; v.u_.i64 = x; return v; }
    static Value Long(int32_t x) { Value v; v.type_ = vbLong; v.u_.i64 = x; return v; }
    static Value Single(float x) { Value v; v.type_ = vbSingle; v.u_.f = x; return v; }
    static Value Double(double x) { Value v; v.type_ = vbDouble; v.u_.d = x; return v; }
    static Value Currency(int64_t scaled) { Value v; v.type_ = vbCurrency; v.u_.i64 = scaled; return v; }
    static Value Date(double days) { Value v; v.type_ = vbDate; v.u_.d = days; return v; }
    static Value Str(std::string s);
    static Value Str(std::string_view s) { return Str(std::string(s)); }
    static Value Str(const char* s) { return Str(std::string(s)); }
    static Value Obj(ObjectRef o);
    static Value Nothing();
    static Value Error(int32_t code) { Value v; v.type_ = vbError; v.u_.i64 = code; return v; }
    // An argument left out of a call ("f a, , c"): VarType vbError, code 0x80020004.
    static Value Missing() { return Error(static_cast<int32_t>(0x80020004u)); }
    // Smallest integer type that holds n: Integer, else Long, else Double.
    static Value Integral(int64_t n);
    static Value Array(Ref<ArrayData> a);
    // One-dimensional, lower bound 0.
    static Value Array(std::vector<Value> items);

    int Type() const noexcept { return type_; }  // vbArray|vbVariant for arrays
    int VarTypeCode() const noexcept { return type_ == vbArray ? (vbArray | vbVariant) : type_; }
    bool IsEmpty() const noexcept { return type_ == vbEmpty; }
    bool IsNull() const noexcept { return type_ == vbNull; }
    bool IsString() const noexcept { return type_ == vbString; }
    bool IsObject() const noexcept { return type_ == vbObject; }
    bool IsNothing() const noexcept { return type_ == vbObject && u_.obj == nullptr; }
    bool IsArray() const noexcept { return type_ == vbArray; }
    // An array variable declared with its size ("Dim a(3)"): ReDim gives error 10,
    // Erase empties the elements. Moves keep the mark, copies drop it.
    bool IsFixedArray() const noexcept { return type_ == vbArray && (flags_ & kFixed); }
    void MarkFixed() noexcept {
        if (type_ == vbArray) flags_ |= kFixed;
    }
    bool IsMissing() const noexcept { return type_ == vbError && u_.i64 == static_cast<int32_t>(0x80020004u); }
    // Byte, Integer, Long, Single, Double, Currency (not Date, Boolean, String).
    bool IsNumber() const noexcept;

    // Raw access; the caller has checked the type.
    bool RawBool() const noexcept { return u_.b; }
    int64_t RawInt() const noexcept { return u_.i64; }  // Byte, Integer, Long, Error, Currency (scaled)
    double RawDouble() const noexcept { return u_.d; }  // Double, Date
    float RawSingle() const noexcept { return u_.f; }
    const std::string& RawString() const noexcept { return *reinterpret_cast<const std::string*>(&u_.s); }
    std::string& RawString() noexcept { return *reinterpret_cast<std::string*>(&u_.s); }
    Object* RawObject() const noexcept { return u_.obj; }
    ObjectRef ObjectValue() const;
    const ArrayData* RawArray() const noexcept { return u_.arr; }
    // Writable array storage: unshares it first if another value holds it too.
    ArrayData* MutableArray();

    void Swap(Value& o) noexcept;
    // Back to Empty, releasing what it held.
    void Clear() noexcept {
        if (!Light()) Destroy();
        type_ = vbEmpty;
        flags_ = 0;
    }

private:
    // Strings, objects and arrays own something; everything else copies as bits.
    bool Light() const noexcept { return !(flags_ & kHeavy); }
    void Destroy() noexcept;
    void CopyFrom(const Value& o);
    Value& AssignSlow(const Value& o);
    Value& MoveAssignSlow(Value& o) noexcept;
    // Takes o's content; *this holds nothing that needs releasing.
    void MoveFrom(Value& o) noexcept {
        type_ = o.type_;
        flags_ = o.flags_;
        o.flags_ = 0;
        if (type_ == vbString) {
            MoveString(o);
        } else {
            u_.i64 = o.u_.i64;  // pointers of objects and arrays move with the bits
        }
        o.type_ = vbEmpty;
    }
    void MoveString(Value& o) noexcept;
    static constexpr uint8_t kFixed = 1, kHeavy = 2;
    int type_;
    uint8_t flags_ = 0;  // in the padding after type_: the Value stays 40 bytes
    // Every non-string member lies in the first 8 bytes, so i64 carries them all.
    union U {
        bool b;
        int64_t i64;
        double d;
        float f;
        Object* obj;
        ArrayData* arr;
        alignas(std::string) unsigned char s[sizeof(std::string)];
    } u_;
};

static_assert(sizeof(Value) == 40, "a Value is a type word and 32 bytes of content");

// Array storage: bounds per dimension, elements with the first index varying
// fastest (the order For Each visits them).
class ArrayData : public RefCounted {
public:
    struct Bound { int32_t lower; int32_t upper; };
    ArrayData() = default;
    // Upper bounds per dimension, lower bounds 0. A bound of -1 gives an empty dimension.
    explicit ArrayData(const std::vector<int32_t>& uppers);
    std::vector<Bound> bounds;
    std::vector<Value> items;
    int Dims() const { return static_cast<int>(bounds.size()); }
    // Element offset for the given subscripts; error 9 when out of range.
    size_t Offset(const Value* subscripts, size_t count) const;
    // ReDim: new shape, keeping the elements when preserve (only the last dimension may change).
    void Resize(const std::vector<int32_t>& uppers, bool preserve);
};

// ---- coercions (raise 13 type mismatch, 6 overflow, 94 invalid use of Null, ...) ----
// Objects are read through their default member first.
Value Deref(const Value& v);            // default value of an object, others unchanged
Value ToNumber(const Value& v);         // numeric Variant for arithmetic (Empty -> Integer 0)
double ToDouble(const Value& v);
float ToSingle(const Value& v);
int32_t ToLong(const Value& v);         // banker's rounding, overflow 6
int16_t ToInt16(const Value& v);
uint8_t ToByte(const Value& v);
int64_t ToCurrency(const Value& v);     // scaled by 10000
bool ToBool(const Value& v);
std::string ToString(const Value& v);   // CStr text; Null gives 94
double ToDate(const Value& v);          // days since 1899-12-30
// Parses the language's numeric text (blanks around, sign, decimals, exponent, &H/&O). False when not numeric.
bool ParseNumber(std::string_view text, double& out);
// Round half to even, as the language's integer conversions do.
double RoundEven(double x);

std::string TypeNameOf(const Value& v);
// The text of a number for CStr and concatenation.
std::string NumberText(const Value& v);

// ---- operators (Null propagates, Empty is 0 or "", per the language) ----
enum class BinOp {
    Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat,
    Eq, Ne, Lt, Le, Gt, Ge, And, Or, Xor, Eqv, Imp, Is
};
Value BinaryOp(BinOp op, const Value& a, const Value& b);
Value Negate(const Value& a);
Value Not(const Value& a);
// Three-way comparison as "<" and "=" see it: -1, 0, 1; Null is reported as 2.
// textCompare: strings compared case-insensitively.
int Compare(const Value& a, const Value& b, bool textCompare = false);
// Case-insensitive equality of names (ASCII).
bool NameEquals(std::string_view a, std::string_view b) noexcept;
std::string LowerName(std::string_view s);

}  // namespace tarvelo::vbs
