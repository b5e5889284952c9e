#pragma once
// The collections the host object hands to scripts: a keyed one, read like a
// dictionary (Item(key), Exists, Keys, Items, Count; For Each visits the
// keys), and a plain list, read like a collection (Item(1..Count), Count; For
// Each visits the items). Both are snapshots: changing one changes nothing in
// the gateway.

#include <string>
#include <utility>
#include <vector>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::scripting {

class ScriptCollection : public vbs::Object {
public:
    enum class Kind { Keyed, List };
    explicit ScriptCollection(Kind kind) : kind_(kind) {}

    // A later value under the same key (case ignored) replaces the earlier one.
    void Set(const std::string& key, vbs::Value value);
    void Append(vbs::Value value) { items_.emplace_back(std::string(), std::move(value)); }

    Kind kind() const { return kind_; }
    const std::vector<std::pair<std::string, vbs::Value>>& items() const { return items_; }
    const vbs::Value* Find(const std::string& key) const;

    std::string TypeName() const override { return kind_ == Kind::Keyed ? "Dictionary" : "Collection"; }
    vbs::Value Invoke(std::string_view name, vbs::InvokeKind kind, vbs::CallArgs& args) override;
    bool Enumerate(std::vector<vbs::Value>& out) override;

private:
    Kind kind_;
    std::vector<std::pair<std::string, vbs::Value>> items_;
};

} // namespace tarvelo::scripting
