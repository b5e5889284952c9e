#include "scripting/ScriptCollection.h"

namespace tarvelo::scripting {

using vbs::Value;

void ScriptCollection::Set(const std::string& key, Value value) {
    for (auto& item : items_) {
        if (vbs::NameEquals(item.first, key)) {
            item.second = std::move(value);
            return;
        }
    }
    items_.emplace_back(key, std::move(value));
}

const Value* ScriptCollection::Find(const std::string& key) const {
    for (const auto& item : items_)
        if (vbs::NameEquals(item.first, key)) return &item.second;
    return nullptr;
}

Value ScriptCollection::Invoke(std::string_view name, vbs::InvokeKind, vbs::CallArgs& args) {
    if (vbs::NameEquals(name, "count")) {
        args.Require(0, 0);
        return Value::Long(static_cast<int32_t>(items_.size()));
    }
    if (name.empty() || vbs::NameEquals(name, "item")) {
        args.Require(1, 1);
        if (kind_ == Kind::Keyed) {
            // A missing key reads as Empty, as a dictionary's does.
            const Value* v = Find(vbs::ToString(args[0]));
            return v ? *v : Value();
        }
        const int32_t i = vbs::ToLong(args[0]);
        if (i < 1 || static_cast<size_t>(i) > items_.size()) vbs::Raise(9);
        return items_[static_cast<size_t>(i - 1)].second;
    }
    if (kind_ == Kind::Keyed && vbs::NameEquals(name, "exists")) {
        args.Require(1, 1);
        return Value::Bool(Find(vbs::ToString(args[0])) != nullptr);
    }
    if (kind_ == Kind::Keyed && (vbs::NameEquals(name, "keys") || vbs::NameEquals(name, "items"))) {
        args.Require(0, 0);
        const bool keys = vbs::NameEquals(name, "keys");
        std::vector<Value> out;
        for (const auto& item : items_) out.push_back(keys ? Value::Str(item.first) : item.second);
        return Value::Array(std::move(out));
    }
    vbs::Raise(438);
}

bool ScriptCollection::Enumerate(std::vector<Value>& out) {
    for (const auto& item : items_) out.push_back(kind_ == Kind::Keyed ? Value::Str(item.first) : item.second);
    return true;
}

} // namespace tarvelo::scripting
