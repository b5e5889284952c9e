#pragma once
// Insertion-ordered dictionaries and the keyed 1-based collection that the
// model, the settings store and the xAP codec share.

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Guard.h"
#include "common/Text.h"

namespace tarvelo {

// Dictionary with text keys, iterated in the order keys were first added.
// CaseInsensitive: "upb" and "UPB" are one key (the stored spelling is the first one).
template <class V, bool CaseInsensitive = true>
class OrderedDict {
public:
    using Entry = std::pair<std::string, V>;
    using iterator = typename std::list<Entry>::iterator;
    using const_iterator = typename std::list<Entry>::const_iterator;

    OrderedDict() = default;
    // A copy builds its own index: the original's points into the original's list.
    OrderedDict(const OrderedDict& other) : entries_(other.entries_) { Reindex(); }
    OrderedDict& operator=(const OrderedDict& other) {
        if (this != &other) {
            entries_ = other.entries_;
            Reindex();
        }
        return *this;
    }
    OrderedDict(OrderedDict&&) = default;
    OrderedDict& operator=(OrderedDict&&) = default;

    bool exists(std::string_view key) const { return index_.count(fold(key)) != 0; }
    // Room for n keys without rehashing (an import knows its device count).
    void reserve(size_t n) { index_.reserve(n); }

    // find() for a key already in its folded form (lower case when
    // CaseInsensitive): saves folding a copy on hot paths.
    const V* findFolded(const std::string& folded) const {
        auto it = index_.find(folded);
        return it == index_.end() ? nullptr : &it->second->second;
    }

    V* find(std::string_view key) {
        auto it = index_.find(fold(key));
        return it == index_.end() ? nullptr : &it->second->second;
    }
    const V* find(std::string_view key) const {
        auto it = index_.find(fold(key));
        return it == index_.end() ? nullptr : &it->second->second;
    }

    // Adding a key that exists is an error, as with a scripting dictionary.
    void add(std::string_view key, V value) {
        // One hash look-up: the index slot is made first, then filled.
        auto [slot, added] = index_.try_emplace(fold(key));
        if (!added) throw VbError("This key is already associated with an element of this collection");
        try {
            entries_.emplace_back(std::string(key), std::move(value));
        } catch (...) {
            index_.erase(slot);
            throw;
        }
        slot->second = std::prev(entries_.end());
    }

    // Sets the value, adding the key at the end when it is new.
    void set(std::string_view key, V value) {
        if (V* v = find(key)) { *v = std::move(value); return; }
        add(key, std::move(value));
    }

    // The value; a missing key is added with a default value.
    V& operator[](std::string_view key) {
        if (V* v = find(key)) return *v;
        add(key, V{});
        return entries_.back().second;
    }

    bool remove(std::string_view key) {
        auto it = index_.find(fold(key));
        if (it == index_.end()) return false;
        entries_.erase(it->second);
        index_.erase(it);
        return true;
    }

    void clear() { entries_.clear(); index_.clear(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.first);
        return out;
    }

private:
    void Reindex() {
        index_.clear();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) index_.emplace(fold(it->first), it);
    }

    static std::string fold(std::string_view key) {
        if constexpr (CaseInsensitive) return LCase(key);
        else return std::string(key);
    }

    std::list<Entry> entries_;
    std::unordered_map<std::string, iterator> index_;
};

// An ordered collection with optional case-insensitive keys and 1-based
// positions (positions shift when an earlier item is removed).
template <class V>
class KeyedCollection {
public:
    size_t count() const { return items_.size(); }
    bool empty() const { return items_.empty(); }

    // An empty key adds the item without a key. A duplicate key is an error.
    void add(V value, std::string_view key = {}) {
        auto item = std::make_shared<Item>(Item{std::string(key), std::move(value)});
        if (!key.empty()) {
            std::string folded = LCase(key);
            if (byKey_.count(folded)) throw VbError("This key is already associated with an element of this collection");
            byKey_.emplace(std::move(folded), item);
        }
        items_.push_back(std::move(item));
    }

    // 1-based position; out of range is an error.
    V& item(size_t position) {
        if (position < 1 || position > items_.size()) throw VbError("Subscript out of range");
        return items_[position - 1]->value;
    }
    const V& item(size_t position) const {
        if (position < 1 || position > items_.size()) throw VbError("Subscript out of range");
        return items_[position - 1]->value;
    }

    V* find(std::string_view key) {
        auto it = byKey_.find(LCase(key));
        return it == byKey_.end() ? nullptr : &it->second->value;
    }
    const V* find(std::string_view key) const {
        auto it = byKey_.find(LCase(key));
        return it == byKey_.end() ? nullptr : &it->second->value;
    }
    bool exists(std::string_view key) const { return byKey_.count(LCase(key)) != 0; }
    // find() for a key already in lower case.
    V* findFolded(const std::string& folded) {
        auto it = byKey_.find(folded);
        return it == byKey_.end() ? nullptr : &it->second->value;
    }
    const V* findFolded(const std::string& folded) const {
        auto it = byKey_.find(folded);
        return it == byKey_.end() ? nullptr : &it->second->value;
    }

    void removeAt(size_t position) {
        if (position < 1 || position > items_.size()) throw VbError("Subscript out of range");
        auto& it = items_[position - 1];
        if (!it->key.empty()) byKey_.erase(LCase(it->key));
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position - 1));
    }

    void clear() { items_.clear(); byKey_.clear(); }

    // Iteration in order, over the values.
    template <class F>
    void forEach(F&& f) const { for (const auto& it : items_) f(it->value); }
    template <class F>
    void forEach(F&& f) { for (auto& it : items_) f(it->value); }

private:
    struct Item {
        std::string key;
        V value;
    };
    std::vector<std::shared_ptr<Item>> items_;
    std::unordered_map<std::string, std::shared_ptr<Item>> byKey_;
};

} // namespace tarvelo
