// The library's creatable objects: Scripting.Dictionary and VBScript.RegExp
// (with its Match, MatchCollection and SubMatches results).
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"
#include "scripting/vbscript/VbsFormat.h"
#include "scripting/vbscript/VbsRegExp.h"

namespace tarvelo::vbs {

namespace {

void NoArgs(const CallArgs& a) { a.Require(0, 0); }

// Arguments given to a property that takes none go to its result's default
// member: m.SubMatches(0), d.Keys(0).
Value Indexed(const Value& result, CallArgs& a) {
    if (a.size() == 0) return result;
    if (result.IsObject() && result.RawObject()) return result.RawObject()->Invoke("", InvokeKind::Get, a);
    if (result.IsArray()) return result.RawArray()->items[result.RawArray()->Offset(&a[0], a.size())];
    Raise(450);
}

// ---------------------------------------------------------------- Dictionary

// Keys: numbers of any type compare by value, text by CompareMode, objects
// by identity; the number 1 and the text "1" are different keys. Entries keep
// insertion order; a flat open-addressing table of positions finds them, with
// each key's hash kept beside it so a probe compares keys only on a hash match.
class Dictionary final : public Object {
public:
    std::string TypeName() const override { return "Dictionary"; }

    Value Invoke(std::string_view name, InvokeKind kind, CallArgs& a) override {
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            size_t at = Find(a[0]);
            if (at != kNone) return entries_[at].item;
            Insert(a[0], Value());  // reading a missing key adds it
            return Value();
        }
        if (NameEquals(name, "Add")) {
            a.Require(2, 2);
            if (Find(a[0]) != kNone) Raise(457);
            Insert(a[0], a[1]);
            return Value();
        }
        if (NameEquals(name, "Exists")) {
            a.Require(1, 1);
            return Value::Bool(Find(a[0]) != kNone);
        }
        if (NameEquals(name, "Count")) {
            NoArgs(a);
            return Value::Long(static_cast<int32_t>(live_));
        }
        if (NameEquals(name, "Keys") || NameEquals(name, "Items")) {
            bool keys = NameEquals(name, "Keys");
            std::vector<Value> out;
            out.reserve(live_);
            for (size_t i = 0; i < entries_.size(); ++i)
                if (entries_[i].live) out.push_back(keys ? entries_[i].key : entries_[i].item);
            return Indexed(Value::Array(std::move(out)), a);
        }
        if (NameEquals(name, "Remove")) {
            a.Require(1, 1);
            size_t slot = SlotOf(a[0]);
            if (slot == kNone) Raise(32811);
            size_t at = EntryAt(slot);
            table_[slot] = kRemoved;
            --live_;
            // The removed values die last: a Class_Terminate they run may use this dictionary.
            Entry gone = std::move(entries_[at]);
            entries_[at].live = false;
            if (entries_.size() - live_ > 16 && entries_.size() - live_ > live_) Rebuild();
            return Value();
        }
        if (NameEquals(name, "RemoveAll")) {
            NoArgs(a);
            EntryList gone;
            gone.swap(entries_);
            table_.clear();
            live_ = used_ = 0;
            return Value();
        }
        if (NameEquals(name, "CompareMode")) {
            NoArgs(a);
            return Value::Long(compareMode_);
        }
        Raise(438);
    }

    void Assign(std::string_view name, InvokeKind kind, CallArgs& a, const Value& value) override {
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            size_t at = Find(a[0]);
            if (at == kNone) {
                Insert(a[0], value);
                return;
            }
            Value old = std::move(entries_[at].item);
            entries_[at].item = value;
            return;
        }
        if (NameEquals(name, "Key")) {
            a.Require(1, 1);
            size_t slot = SlotOf(a[0]);
            if (slot == kNone) Raise(32811);
            if (Find(value) != kNone) Raise(457);
            Value newKey = KeyValue(value);
            size_t at = EntryAt(slot);
            table_[slot] = kRemoved;
            Value old = std::move(entries_[at].key);
            entries_[at].key = std::move(newKey);
            entries_[at].hash = HashOf(entries_[at].key);
            Place(at);
            if (used_ * 4 > table_.size() * 3) Rebuild();  // removed marks pile up as keys change
            return;
        }
        if (NameEquals(name, "CompareMode")) {
            a.Require(0, 0);
            int32_t mode = ToLong(value);
            if (mode < 0 || live_ != 0) Raise(5);
            compareMode_ = mode;
            return;
        }
        Raise(438);
    }

    bool Enumerate(std::vector<Value>& out) override {
        out.reserve(live_);
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].live) out.push_back(entries_[i].key);
        return true;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // A table slot: 0 free, kRemoved for a key that went, else the entry's
    // position + 1 in the low half and the top of its hash in the high half.
    static constexpr uint64_t kRemoved = UINT64_MAX;
    static uint64_t SlotValue(size_t at, size_t hash) { return (hash & 0xFFFFFFFF00000000ull) | (at + 1); }
    size_t EntryAt(size_t slot) const { return static_cast<size_t>(table_[slot] & 0xFFFFFFFFu) - 1; }

    struct Entry {
        Value key, item;
        size_t hash = 0;
        bool live = false;
    };

    // Entries by position in chunks of fixed size: growing never moves one.
    class EntryList {
    public:
        size_t size() const { return size_; }
        Entry& operator[](size_t i) { return chunks_[i >> kBits][i & kMask]; }
        const Entry& operator[](size_t i) const { return chunks_[i >> kBits][i & kMask]; }
        void push_back(Entry e) {
            if ((size_ >> kBits) == chunks_.size()) chunks_.push_back(std::make_unique<Entry[]>(kChunk));
            (*this)[size_] = std::move(e);
            ++size_;
        }
        void swap(EntryList& o) noexcept {
            chunks_.swap(o.chunks_);
            std::swap(size_, o.size_);
        }

    private:
        static constexpr size_t kBits = 9, kChunk = size_t{1} << kBits, kMask = kChunk - 1;
        std::vector<std::unique_ptr<Entry[]>> chunks_;
        size_t size_ = 0;
    };

    // Key classes: 0 Empty, 1 Null, 2 number (Boolean and Date too), 3 text, 4 object.
    static int KindOf(const Value& v) {
        switch (v.Type()) {
        case vbEmpty: return 0;
        case vbNull: return 1;
        case vbString: return 3;
        case vbObject: return 4;
        default: return 2;
        }
    }

    size_t HashOf(const Value& v) const {
        switch (KindOf(v)) {
        case 2: {
            double d = ToDouble(v);
            return std::hash<double>()(d == 0 ? 0.0 : d);  // one zero, not two
        }
        case 3: {
            size_t h = 1469598103934665603ull;
            if (compareMode_ == 0)
                for (unsigned char c : v.RawString()) h = (h ^ c) * 1099511628211ull;
            else
                for (unsigned char c : v.RawString()) h = (h ^ LowerByte(c)) * 1099511628211ull;
            return h;
        }
        case 4: return std::hash<const void*>()(v.RawObject());
        default: return static_cast<size_t>(KindOf(v));
        }
    }

    bool Same(const Value& x, const Value& y) const {
        int kind = KindOf(x);
        if (kind != KindOf(y)) return false;
        switch (kind) {
        case 2: return ToDouble(x) == ToDouble(y);
        case 3: {
            const std::string &p = x.RawString(), &q = y.RawString();
            if (p.size() != q.size()) return false;
            if (compareMode_ == 0) return p == q;
            for (size_t i = 0; i < p.size(); ++i)
                if (LowerByte(p[i]) != LowerByte(q[i])) return false;
            return true;
        }
        case 4: return x.RawObject() == y.RawObject();
        default: return true;
        }
    }

    // First probe position of a hash: the high bits of a multiplicative mix, so
    // hashes that differ only in high bits (pointers) still spread.
    size_t Home(size_t h) const { return static_cast<size_t>((h * 0x9E3779B97F4A7C15ull) >> shift_); }

    // Arrays cannot be keys.
    static Value KeyValue(const Value& v) {
        if (v.IsArray()) Raise(13);
        return v;
    }

    // The table slot holding key, or kNone.
    size_t SlotOf(const Value& key) const {
        if (key.IsArray()) Raise(13);
        if (table_.empty()) return kNone;
        size_t h = HashOf(key), mask = table_.size() - 1;
        uint64_t tag = h & 0xFFFFFFFF00000000ull;
        for (size_t i = Home(h);; i = (i + 1) & mask) {
            uint64_t t = table_[i];
            if (t == 0) return kNone;
            if (t != kRemoved && (t & 0xFFFFFFFF00000000ull) == tag) {
                const Entry& e = entries_[EntryAt(i)];
                if (e.hash == h && Same(key, e.key)) return i;
            }
        }
    }

    size_t Find(const Value& key) const {
        size_t slot = SlotOf(key);
        return slot == kNone ? kNone : EntryAt(slot);
    }

    // Puts entry `at` into the table, which has room.
    void Place(size_t at) {
        size_t mask = table_.size() - 1;
        size_t i = Home(entries_[at].hash);
        while (table_[i] != 0 && table_[i] != kRemoved) i = (i + 1) & mask;
        if (table_[i] == 0) ++used_;
        table_[i] = SlotValue(at, entries_[at].hash);
    }

    void Insert(const Value& key, const Value& item) {
        Entry e{KeyValue(key), item, 0, true};
        e.hash = HashOf(e.key);
        if ((used_ + 1) * 4 > table_.size() * 3) {
            entries_.push_back(std::move(e));
            ++live_;
            Rebuild();
            return;
        }
        entries_.push_back(std::move(e));
        ++live_;
        Place(entries_.size() - 1);
    }

    // Drops removed entries and sizes the table to twice the live keys or more.
    void Rebuild() {
        if (live_ != entries_.size()) {
            EntryList kept;
            for (size_t i = 0; i < entries_.size(); ++i)
                if (entries_[i].live) kept.push_back(std::move(entries_[i]));
            entries_.swap(kept);
        }
        size_t size = 16;
        shift_ = 60;
        while (size < live_ * 2) {
            size *= 2;
            --shift_;
        }
        table_.assign(size, 0);
        used_ = 0;
        for (size_t i = 0; i < entries_.size(); ++i) Place(i);
    }

    EntryList entries_;  // in insertion order, with holes where keys were removed
    std::vector<uint64_t> table_;  // a power of two long
    size_t live_ = 0;             // keys present
    size_t used_ = 0;             // table slots not free (keys and removed marks)
    int shift_ = 60;
    int32_t compareMode_ = 0;
};

// ---------------------------------------------------------------- RegExp

// A read-only, indexable collection (Matches, SubMatches).
class ItemList : public Object {
public:
    ItemList(std::string typeName, std::vector<Value> items) : typeName_(std::move(typeName)), items_(std::move(items)) {}
    std::string TypeName() const override { return typeName_; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            int32_t i = ToLong(a[0]);
            if (i < 0 || static_cast<size_t>(i) >= items_.size()) Raise(5);
            return items_[static_cast<size_t>(i)];
        }
        if (NameEquals(name, "Count")) {
            NoArgs(a);
            return Value::Long(static_cast<int32_t>(items_.size()));
        }
        Raise(438);
    }
    bool Enumerate(std::vector<Value>& out) override {
        out = items_;
        return true;
    }

private:
    std::string typeName_;
    std::vector<Value> items_;
};

class MatchObject final : public Object {
public:
    explicit MatchObject(RegExpMatch m) : m_(std::move(m)) {}
    std::string TypeName() const override { return "IMatch2"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (NameEquals(name, "SubMatches")) {
            std::vector<Value> subs;
            for (const auto& s : m_.subMatches) subs.push_back(s ? Value::Str(*s) : Value());
            return Indexed(Value::Obj(MakeRef<ItemList>("ISubMatches", std::move(subs))), a);
        }
        NoArgs(a);
        if (name.empty() || NameEquals(name, "Value")) return Value::Str(m_.value);
        if (NameEquals(name, "FirstIndex")) return Value::Long(static_cast<int32_t>(m_.index));
        if (NameEquals(name, "Length")) return Value::Long(static_cast<int32_t>(m_.length));
        Raise(438);
    }

private:
    RegExpMatch m_;
};

class RegExpObject final : public Object {
public:
    std::string TypeName() const override { return "IRegExp2"; }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (NameEquals(name, "Pattern")) { NoArgs(a); return Value::Str(re_.Pattern()); }
        if (NameEquals(name, "IgnoreCase")) { NoArgs(a); return Value::Bool(re_.IgnoreCase()); }
        if (NameEquals(name, "Global")) { NoArgs(a); return Value::Bool(re_.Global()); }
        if (NameEquals(name, "Multiline")) { NoArgs(a); return Value::Bool(re_.Multiline()); }
        try {
            if (NameEquals(name, "Test")) {
                a.Require(1, 1);
                return Value::Bool(re_.Test(ToString(a[0])));
            }
            if (NameEquals(name, "Execute")) {
                a.Require(1, 1);
                std::vector<Value> matches;
                for (RegExpMatch& m : re_.Execute(ToString(a[0])))
                    matches.push_back(Value::Obj(MakeRef<MatchObject>(std::move(m))));
                return Value::Obj(MakeRef<ItemList>("IMatchCollection2", std::move(matches)));
            }
            if (NameEquals(name, "Replace")) {
                a.Require(2, 2);
                return Value::Str(re_.Replace(ToString(a[0]), ToString(a[1])));
            }
        } catch (const RegExpError& e) {
            Raise(e.number, e.description);
        }
        Raise(438);
    }

    void Assign(std::string_view name, InvokeKind, CallArgs& a, const Value& value) override {
        a.Require(0, 0);
        if (NameEquals(name, "Pattern")) re_.SetPattern(ToString(value));
        else if (NameEquals(name, "IgnoreCase")) re_.SetIgnoreCase(ToBool(value));
        else if (NameEquals(name, "Global")) re_.SetGlobal(ToBool(value));
        else if (NameEquals(name, "Multiline")) re_.SetMultiline(ToBool(value));
        else Raise(438);
    }

private:
    RegExp re_;
};

} // namespace

void RegisterObjects(Runtime& rt) {
    rt.AddClass("Scripting.Dictionary", [](Runtime&) { return ObjectRef(MakeRef<Dictionary>()); });
    auto regexp = [](Runtime&) { return ObjectRef(MakeRef<RegExpObject>()); };
    rt.AddClass("VBScript.RegExp", regexp);
    rt.AddNewable("RegExp", regexp);
}

} // namespace tarvelo::vbs
