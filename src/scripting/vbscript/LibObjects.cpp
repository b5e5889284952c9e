// The library's creatable objects: Scripting.Dictionary and VBScript.RegExp
// (with its Match, MatchCollection and SubMatches results).
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
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
// by identity; the number 1 and the text "1" are different keys. The index
// holds positions in entries_ and looks keys up in place (no copy per lookup).
class Dictionary final : public Object {
public:
    Dictionary() : index_(0, Hasher{this}, Equal{this}) {}
    Dictionary(const Dictionary&) = delete;  // the index points back at this object
    Dictionary& operator=(const Dictionary&) = delete;

    std::string TypeName() const override { return "Dictionary"; }

    Value Invoke(std::string_view name, InvokeKind kind, CallArgs& a) override {
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            size_t at = Find(a[0]);
            if (at != kNone) return entries_[at].item;
            Insert(a[0], Value());  // reading a missing key adds it
            return Value();
        }
        if (NameEquals(name, "Exists")) {
            a.Require(1, 1);
            return Value::Bool(Find(a[0]) != kNone);
        }
        if (NameEquals(name, "Add")) {
            a.Require(2, 2);
            if (Find(a[0]) != kNone) Raise(457);
            Insert(a[0], a[1]);
            return Value();
        }
        if (NameEquals(name, "Count")) {
            NoArgs(a);
            return Value::Long(static_cast<int32_t>(index_.size()));
        }
        if (NameEquals(name, "Keys") || NameEquals(name, "Items")) {
            bool keys = NameEquals(name, "Keys");
            std::vector<Value> out;
            out.reserve(index_.size());
            for (const Entry& e : entries_)
                if (e.live) out.push_back(keys ? e.key : e.item);
            return Indexed(Value::Array(std::move(out)), a);
        }
        if (NameEquals(name, "Remove")) {
            a.Require(1, 1);
            auto it = index_.find(&a[0]);
            if (it == index_.end()) Raise(32811);
            size_t at = *it;
            index_.erase(it);
            // The removed values die last: a Class_Terminate they run may use this dictionary.
            Entry gone = std::move(entries_[at]);
            entries_[at].live = false;
            if (++dead_ > 16 && dead_ > index_.size()) Compact();
            return Value();
        }
        if (NameEquals(name, "RemoveAll")) {
            NoArgs(a);
            std::vector<Entry> gone;
            index_.clear();
            gone.swap(entries_);
            dead_ = 0;
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
            auto it = index_.find(&a[0]);
            if (it == index_.end()) Raise(32811);
            if (Find(value) != kNone) Raise(457);
            Value newKey = KeyValue(value);
            size_t at = *it;
            index_.erase(it);
            Value old = std::move(entries_[at].key);
            entries_[at].key = std::move(newKey);
            index_.insert(at);
            return;
        }
        if (NameEquals(name, "CompareMode")) {
            a.Require(0, 0);
            int32_t mode = ToLong(value);
            if (mode < 0 || !index_.empty()) Raise(5);
            compareMode_ = mode;
            return;
        }
        Raise(438);
    }

    bool Enumerate(std::vector<Value>& out) override {
        out.reserve(index_.size());
        for (const Entry& e : entries_)
            if (e.live) out.push_back(e.key);
        return true;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    struct Entry {
        Value key, item;
        bool live = false;
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
            if (compareMode_ == 0) return std::hash<std::string_view>()(v.RawString());
            size_t h = 1469598103934665603ull;
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

    // The index hashes and compares positions through the entries; a Value
    // pointer probes it without making an entry.
    struct Hasher {
        using is_transparent = void;
        const Dictionary* d;
        size_t operator()(size_t i) const { return d->HashOf(d->entries_[i].key); }
        size_t operator()(const Value* v) const { return d->HashOf(*v); }
    };
    struct Equal {
        using is_transparent = void;
        const Dictionary* d;
        bool operator()(size_t i, size_t j) const { return d->Same(d->entries_[i].key, d->entries_[j].key); }
        bool operator()(const Value* v, size_t j) const { return d->Same(*v, d->entries_[j].key); }
        bool operator()(size_t i, const Value* v) const { return d->Same(d->entries_[i].key, *v); }
    };

    // Arrays cannot be keys.
    static Value KeyValue(const Value& v) {
        if (v.IsArray()) Raise(13);
        return v;
    }

    size_t Find(const Value& key) {
        if (key.IsArray()) Raise(13);
        auto it = index_.find(&key);
        return it == index_.end() ? kNone : *it;
    }

    void Insert(const Value& key, const Value& item) {
        entries_.push_back(Entry{KeyValue(key), item, true});
        index_.insert(entries_.size() - 1);
    }

    void Compact() {
        index_.clear();
        std::vector<Entry> kept;
        kept.reserve(entries_.size() - dead_);
        for (Entry& e : entries_)
            if (e.live) kept.push_back(std::move(e));
        entries_.swap(kept);
        for (size_t i = 0; i < entries_.size(); ++i) index_.insert(i);
        dead_ = 0;
    }

    std::vector<Entry> entries_;  // in insertion order, with holes where keys were removed
    std::unordered_set<size_t, Hasher, Equal> index_;
    size_t dead_ = 0;
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
