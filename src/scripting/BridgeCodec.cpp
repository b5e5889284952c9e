#include "scripting/BridgeCodec.h"

#include <cstring>

#include "scripting/ScriptCollection.h"
#include "scripting/vbscript/Value.h"

namespace tarvelo::scripting::bridge {

using vbs::Value;

namespace {

// Arrays and collections inside each other: deeper is refused, so a hostile
// frame cannot exhaust the stack.
constexpr int kMaxDepth = 32;

void PutU32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}
void PutU64(std::string& out, uint64_t v) {
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}
void PutText(std::string& out, std::string_view s) {
    PutU32(out, static_cast<uint32_t>(s.size()));
    out.append(s);
}
uint64_t Bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// `result`: an object that cannot cross becomes Nothing (a process object
// Spawn gave stays in the gateway); as an argument it is an error.
void PutValue(std::string& out, const Value& v, int depth, bool result = false) {
    if (depth > kMaxDepth) vbs::Raise(13, "Values nested too deeply to pass to the gateway");
    switch (v.Type()) {
    case vbs::vbEmpty: out += 'E'; return;
    case vbs::vbNull: out += 'N'; return;
    case vbs::vbBoolean: out += v.RawBool() ? 'b' : 'B'; return;
    case vbs::vbByte: out += 'Y'; PutU64(out, static_cast<uint64_t>(v.RawInt())); return;
    case vbs::vbInteger: out += 'I'; PutU64(out, static_cast<uint64_t>(v.RawInt())); return;
    case vbs::vbLong: out += 'L'; PutU64(out, static_cast<uint64_t>(v.RawInt())); return;
    case vbs::vbCurrency: out += 'C'; PutU64(out, static_cast<uint64_t>(v.RawInt())); return;
    case vbs::vbError: out += 'R'; PutU64(out, static_cast<uint64_t>(v.RawInt())); return;
    case vbs::vbSingle: out += 'D'; PutU64(out, Bits(v.RawSingle())); return;
    case vbs::vbDouble: out += 'D'; PutU64(out, Bits(v.RawDouble())); return;
    case vbs::vbDate: out += 'T'; PutU64(out, Bits(v.RawDouble())); return;
    case vbs::vbString: out += 'S'; PutText(out, v.RawString()); return;
    case vbs::vbArray: {
        const vbs::ArrayData* a = v.RawArray();
        if (!a || a->Dims() != 1) vbs::Raise(13, "Only one-dimensional arrays can be passed to the gateway");
        out += 'A';
        PutU32(out, static_cast<uint32_t>(a->items.size()));
        for (const Value& item : a->items) PutValue(out, item, depth + 1, result);
        return;
    }
    case vbs::vbObject: {
        if (v.IsNothing()) {
            out += 'O';
            return;
        }
        auto* c = dynamic_cast<ScriptCollection*>(v.RawObject());
        if (!c && result) {
            out += 'O';
            return;
        }
        if (!c) vbs::Raise(13, "This object cannot be passed between the gateway and a script");
        out += c->kind() == ScriptCollection::Kind::Keyed ? 'M' : 'K';
        PutU32(out, static_cast<uint32_t>(c->items().size()));
        for (const auto& [key, item] : c->items()) {
            if (c->kind() == ScriptCollection::Kind::Keyed) PutText(out, key);
            PutValue(out, item, depth + 1, result);
        }
        return;
    }
    default: vbs::Raise(13);
    }
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}
    bool U32(uint32_t& v) {
        if (s_.size() - at_ < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s_[at_++]);
        return true;
    }
    bool U64(uint64_t& v) {
        if (s_.size() - at_ < 8) return false;
        v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<unsigned char>(s_[at_++]);
        return true;
    }
    bool Text(std::string& out) {
        uint32_t n;
        if (!U32(n) || s_.size() - at_ < n) return false;
        out.assign(s_.substr(at_, n));
        at_ += n;
        return true;
    }
    bool Byte(char& c) {
        if (at_ >= s_.size()) return false;
        c = s_[at_++];
        return true;
    }
    bool Done() const { return at_ == s_.size(); }
    size_t Left() const { return s_.size() - at_; }

    bool ValueOf(Value& v, int depth) {
        if (depth > kMaxDepth) return false;
        char tag;
        if (!Byte(tag)) return false;
        uint64_t u = 0;
        double d = 0;
        switch (tag) {
        case 'E': v = Value(); return true;
        case 'N': v = Value::Null(); return true;
        case 'O': v = Value::Nothing(); return true;
        case 'b': v = Value::Bool(true); return true;
        case 'B': v = Value::Bool(false); return true;
        case 'Y': if (!U64(u)) return false; v = Value::Byte(static_cast<uint8_t>(u)); return true;
        case 'I': if (!U64(u)) return false; v = Value::Int(static_cast<int16_t>(u)); return true;
        case 'L': if (!U64(u)) return false; v = Value::Long(static_cast<int32_t>(u)); return true;
        case 'C': if (!U64(u)) return false; v = Value::Currency(static_cast<int64_t>(u)); return true;
        case 'R': if (!U64(u)) return false; v = Value::Error(static_cast<int32_t>(u)); return true;
        case 'D':
        case 'T':
            if (!U64(u)) return false;
            std::memcpy(&d, &u, sizeof d);
            v = tag == 'D' ? Value::Double(d) : Value::Date(d);
            return true;
        case 'S': {
            std::string s;
            if (!Text(s)) return false;
            v = Value::Str(std::move(s));
            return true;
        }
        case 'A': {
            uint32_t n;
            if (!U32(n) || n > Left()) return false;  // every item takes a byte at least
            std::vector<Value> items(n);
            for (auto& item : items)
                if (!ValueOf(item, depth + 1)) return false;
            v = Value::Array(std::move(items));
            return true;
        }
        case 'M':
        case 'K': {
            uint32_t n;
            if (!U32(n) || n > Left()) return false;
            auto c = vbs::MakeRef<ScriptCollection>(tag == 'M' ? ScriptCollection::Kind::Keyed
                                                               : ScriptCollection::Kind::List);
            for (uint32_t i = 0; i < n; ++i) {
                std::string key;
                Value item;
                if (tag == 'M' && !Text(key)) return false;
                if (!ValueOf(item, depth + 1)) return false;
                if (tag == 'M') c->Set(key, std::move(item));
                else c->Append(std::move(item));
            }
            v = Value::Obj(c);
            return true;
        }
        default: return false;
        }
    }

private:
    std::string_view s_;
    size_t at_ = 0;
};

} // namespace

std::string Frame(std::string body) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(body.size()));
    return out + body;
}

bool FrameReader::Next(std::string& body) {
    if (bad_) return false;
    if (buffer_.size() - at_ < 4) return false;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n = (n << 8) | static_cast<unsigned char>(buffer_[at_ + i]);
    if (n > kMaxFrame) {
        bad_ = true;
        return false;
    }
    if (buffer_.size() - at_ - 4 < n) return false;
    body = buffer_.substr(at_ + 4, n);
    at_ += 4 + n;
    // Drop what was read once it is most of the buffer, not on every frame.
    if (at_ > 4096 && at_ * 2 > buffer_.size()) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    return true;
}

std::string EncodeCall(std::string_view member, const vbs::CallArgs& args) {
    std::string out = "C";
    PutText(out, member);
    PutU32(out, static_cast<uint32_t>(args.size()));
    for (size_t i = 0; i < args.size(); ++i) PutValue(out, args[i], 0);
    return out;
}

std::string EncodeResult(const Value& value) {
    std::string out = "V";
    PutValue(out, value, 0, true);
    return out;
}

std::string EncodeError(int number, const std::string& description, const std::string& source) {
    std::string out = "X";
    PutU32(out, static_cast<uint32_t>(number));
    PutText(out, description);
    PutText(out, source);
    return out;
}

bool DecodeCall(std::string_view body, Call& out) {
    Reader r(body);
    char tag;
    uint32_t n;
    if (!r.Byte(tag) || tag != 'C' || !r.Text(out.member) || !r.U32(n) || n > r.Left()) return false;
    out.args.assign(n, Value());
    for (auto& a : out.args)
        if (!r.ValueOf(a, 0)) return false;
    return r.Done();
}

bool DecodeAnswer(std::string_view body, Answer& out) {
    Reader r(body);
    char tag;
    if (!r.Byte(tag)) return false;
    if (tag == 'V') {
        out.ok = true;
        return r.ValueOf(out.value, 0) && r.Done();
    }
    uint32_t number;
    if (tag != 'X' || !r.U32(number) || !r.Text(out.description) || !r.Text(out.source)) return false;
    out.ok = false;
    out.number = static_cast<int>(number);
    return r.Done();
}

} // namespace tarvelo::scripting::bridge
