#pragma once
// One xAP message: builds outbound text line by line and parses inbound text
// into the four header fields and named sections of key=value items. Pure
// text in, text out: no sockets, no timers.
//
// Wire form: LF-ended lines; "xap-header" "{" v= hop= uid= class= source=
// [target=] "}", then per section: name "{" key=value ... "}". Names, keys and
// values are carried verbatim; "Unknown" marks an absent field or item.

#include <cstdint>
#include <forward_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/FastString.h"
#include "common/Guard.h"

namespace tarvelo::xap {

inline constexpr const char* kUnknown = "Unknown";

// The items of one parsed section, in order of appearance: each keeps the
// whole line as received and its key, trimmed; keys match without regard to
// case. Both are views into the text the message keeps.
class MsgCollection {
public:
    struct Item {
        std::string_view key;   // trimmed, as received
        std::string_view line;  // key "=" value, untrimmed
    };
    size_t Count() const { return count_; }
    std::span<const Item> items() const { return {items_, count_}; }
    // The stored line of a key (any case), or nullptr.
    const std::string_view* find(std::string_view key) const;

private:
    friend class XapMessage;
    // Appends to the message's item block, right after this section's last
    // item. False (nothing added) when the key is already present.
    bool add(Item* slot, std::string_view key, std::string_view line);

    std::string_view name_;  // as received; reported in lower case
    Item* items_ = nullptr;  // in the message's item block
    size_t count_ = 0;
    // Built once a section grows large, so that a hostile message with
    // thousands of items is not quadratic. Keys in lower case.
    std::unique_ptr<std::unordered_map<std::string, size_t>> index_;
};

class XapMessage {
public:
    // Not copyable (the sections are views into the text it keeps); a move
    // keeps them valid.
    explicit XapMessage(LogSink* log = nullptr) : log_(log) {}

    // Outbound.
    void AddHeader();
    void AddItem(std::string_view section, std::string_view key, std::string_view value);
    void AddSection(std::string_view name);
    std::string ToXap() const;
    void Init(std::string_view = {}) { text_.Reset(); }
    void Reset() {}

    // Inbound. The text is kept once, in the message; sections and items
    // index into it.
    void FromXap(std::string_view text);
    // Everything after the first "=" of the item's line, untrimmed; "Unknown"
    // for an absent section or key.
    std::string GetItem(std::string_view section, std::string_view key) const;
    // Parsed section names in lower case, in order, without the last
    // registered one (the empty name that follows the final LF).
    std::vector<std::string> MsgSection() const;
    // The section at a 0-based index; nullptr for a bad index.
    const MsgCollection* msgCollection(int16_t index) const;

    // Comparisons (wildcards "*" and ">" on either side of an address).
    static bool CompareAddress(std::string_view pattern, std::string_view address);
    bool CompareClass(std::string_view pattern) const;
    bool CompareSource(std::string_view pattern) const { return CompareAddress(pattern, source_.view()); }
    bool CompareTarget(std::string_view pattern) const { return CompareAddress(pattern, target_.view()); }

    const std::string& MsgClass() const { return class_.text(); }
    const std::string& MsgSource() const { return source_.text(); }
    const std::string& MsgTarget() const { return target_.text(); }
    const std::string& MsgUID() const { return uid_.text(); }
    void MsgClass(std::string v) { class_.set(std::move(v)); }
    void MsgSource(std::string v) { source_.set(std::move(v)); }
    void MsgTarget(std::string v) { target_.set(std::move(v)); }
    void MsgUID(std::string v) { uid_.set(std::move(v)); }

private:
    // A header field: parsing leaves a view into the received text; the
    // string is made when a caller first asks for it.
    class Field {
    public:
        const std::string& text() const {
            if (parsed_) {
                text_.assign(view_);
                parsed_ = false;
            }
            return text_;
        }
        std::string_view view() const { return parsed_ ? view_ : std::string_view(text_); }
        void set(std::string v) {
            text_ = std::move(v);
            parsed_ = false;
        }
        void parsed(std::string_view v) {
            view_ = v;
            parsed_ = true;
        }

    private:
        mutable std::string text_ = kUnknown;
        std::string_view view_;
        mutable bool parsed_ = false;
    };

    int findSection(std::string_view name) const;
    void registerSection(std::string_view name);

    LogSink* log_;
    FastString text_;
    Field class_, target_, source_, uid_;
    // Each received text, with room after it for its items (one block per
    // FromXap; a second one is rare).
    std::unique_ptr<std::byte[]> received_;
    std::forward_list<std::unique_ptr<std::byte[]>> receivedMore_;
    std::vector<MsgCollection> sections_;
    // Built once a message has many sections; names in lower case.
    std::unique_ptr<std::unordered_map<std::string, int>> sectionIndex_;
    bool sectionOpen_ = false;
};

// The parameters of one outbound message that waits (pre-ready or paced).
struct xapQueuedMessage {
    std::string MsgTarget;
    std::string MsgUID;
    std::string MsgClass;
    std::string MsgSection;
    std::string MsgData;
    std::string MsgSubAddress;
    std::string MsgTargetSubAddress;
};

// The MsgData item list: items separated by character 0, key and value by the
// first character 1.
class MsgData {
public:
    MsgData& add(std::string_view key, std::string_view value);
    // Appends raw text to the last item's value (multi-section value lists).
    MsgData& raw(std::string_view text) { data_.append(text); return *this; }
    const std::string& str() const { return data_; }

private:
    std::string data_;
};

// Calls f(key, value) for each item of a MsgData list that has a separator.
template <class F>
void ForEachItem(std::string_view data, F&& f) {
    size_t start = 0;
    while (start <= data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string_view::npos) end = data.size();
        std::string_view item = data.substr(start, end - start);
        size_t sep = item.find('\1');
        if (sep != std::string_view::npos) f(item.substr(0, sep), item.substr(sep + 1));
        start = end + 1;
    }
}

} // namespace tarvelo::xap
