#pragma once
// One xAP message: builds outbound text line by line and parses inbound text
// into the four header fields and named sections of key=value items. Pure
// text in, text out: no sockets, no timers.
//
// Wire form: LF-ended lines; "xap-header" "{" v= hop= uid= class= source=
// [target=] "}", then per section: name "{" key=value ... "}". Names, keys and
// values are carried verbatim; "Unknown" marks an absent field or item.

#include <cstdint>
#include <memory>
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
// whole line as received, keyed by its trimmed, lower-cased key.
class MsgCollection {
public:
    struct Item {
        std::string key;   // trimmed, lower case
        std::string line;  // key "=" value, untrimmed
    };
    size_t Count() const { return items_.size(); }
    const std::vector<Item>& items() const { return items_; }
    // The stored line, or nullptr.
    const std::string* find(std::string_view key) const;
    // False (nothing added) when the key is already present.
    bool add(std::string key, std::string line);

private:
    std::vector<Item> items_;
    // Built once a section grows large, so that a hostile message with
    // thousands of items is not quadratic.
    std::unique_ptr<std::unordered_map<std::string, size_t>> index_;
};

class XapMessage {
public:
    explicit XapMessage(LogSink* log = nullptr) : log_(log) {}

    // Outbound.
    void AddHeader();
    void AddItem(std::string_view section, std::string_view key, std::string_view value);
    void AddSection(std::string_view name);
    std::string ToXap() const;
    void Init(std::string_view = {}) { text_.Reset(); }
    void Reset() {}

    // Inbound.
    void FromXap(std::string_view text);
    // Everything after the first "=" of the item's line, untrimmed; "Unknown"
    // for an absent section or key.
    std::string GetItem(std::string_view section, std::string_view key) const;
    // Parsed section names in order, without the last registered one (the
    // empty name that follows the final LF).
    std::vector<std::string> MsgSection() const;
    // The section at a 0-based index; nullptr for a bad index.
    const MsgCollection* msgCollection(int16_t index) const;

    // Comparisons (wildcards "*" and ">" on either side of an address).
    static bool CompareAddress(std::string_view pattern, std::string_view address);
    bool CompareClass(std::string_view pattern) const;
    bool CompareSource(std::string_view pattern) const { return CompareAddress(pattern, source_); }
    bool CompareTarget(std::string_view pattern) const { return CompareAddress(pattern, target_); }

    const std::string& MsgClass() const { return class_; }
    const std::string& MsgSource() const { return source_; }
    const std::string& MsgTarget() const { return target_; }
    const std::string& MsgUID() const { return uid_; }
    void MsgClass(std::string v) { class_ = std::move(v); }
    void MsgSource(std::string v) { source_ = std::move(v); }
    void MsgTarget(std::string v) { target_ = std::move(v); }
    void MsgUID(std::string v) { uid_ = std::move(v); }

private:
    int findSection(std::string_view lowerName) const;
    void registerSection(std::string lowerName);

    LogSink* log_;
    FastString text_;
    std::string class_ = kUnknown;
    std::string target_ = kUnknown;
    std::string source_ = kUnknown;
    std::string uid_ = kUnknown;
    std::vector<MsgCollection> sections_;
    std::vector<std::string> sectionNames_;
    std::unordered_map<std::string, int> sectionIndex_;
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
