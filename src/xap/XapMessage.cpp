#include "xap/XapMessage.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/Text.h"

namespace tarvelo::xap {

namespace {
constexpr size_t kIndexFrom = 16;
const char* const kDuplicate = "This key is already associated with an element of this collection";

// FoldCase as a table: names and keys are compared a character at a time.
const std::array<char, 256> kFold = [] {
    std::array<char, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = FoldCase(static_cast<char>(c));
    return t;
}();
inline char Fold(char c) { return kFold[static_cast<unsigned char>(c)]; }

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// Eight bytes at a time: a word whose 0x80 bits mark the bytes equal to `c`
// (exact, no false marks).
constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
constexpr uint64_t Spread(char c) { return 0x0101010101010101ULL * static_cast<unsigned char>(c); }
inline uint64_t Marks(uint64_t word, uint64_t spread) {
    const uint64_t x = word ^ spread;
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}
inline uint64_t Load(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
constexpr bool kLittle = std::endian::native == std::endian::little;

// How many LFs the text holds.
size_t CountLines(std::string_view text) {
    size_t n = 0, i = 0;
    for (; i + 8 <= text.size(); i += 8)
        n += static_cast<size_t>(((Marks(Load(text.data() + i), Spread('\n')) >> 7) * 0x0101010101010101ULL) >> 56);
    for (; i < text.size(); ++i) n += text[i] == '\n';
    return n;
}

// The first LF, or "=" when `equalsToo`, from p on; `end` when none.
inline const char* FindStop(const char* p, const char* end, bool equalsToo) {
    if constexpr (kLittle) {
        for (; end - p >= 8; p += 8) {
            const uint64_t w = Load(p);
            uint64_t marks = Marks(w, Spread('\n'));
            if (equalsToo) marks |= Marks(w, Spread('='));
            if (marks) return p + (std::countr_zero(marks) >> 3);
        }
    }
    while (p != end && *p != '\n' && (!equalsToo || *p != '=')) ++p;
    return p;
}

// The lines of a text, each with the position of its first "=" (npos when
// none). Text that ends in LF has one more, empty, line after it.
class Lines {
public:
    explicit Lines(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}
#if defined(__GNUC__)
    [[gnu::always_inline]]
#endif
    bool next(std::string_view& line, size_t& eq) {
        if (done_) return false;
        const char* start = p_;
        eq = std::string_view::npos;
        p_ = FindStop(p_, end_, true);
        if (p_ != end_ && *p_ == '=') {
            eq = static_cast<size_t>(p_ - start);
            p_ = FindStop(p_ + 1, end_, false);
        }
        line = std::string_view(start, static_cast<size_t>(p_ - start));
        if (p_ == end_) done_ = true;
        else ++p_;
        return true;
    }

private:
    const char* p_;
    const char* end_;
    bool done_ = false;
};

std::string Folded(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Fold(c);
    return out;
}

inline std::string_view Trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

// Whether `text` holds "xap-header" in any case.
bool HasHeaderWord(std::string_view text) {
    static constexpr std::string_view kWord = "xap-header";
    if (text.size() < kWord.size()) return false;
    for (size_t at = 0; at + kWord.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < kWord.size() && Fold(text[at + i]) == kWord[i]) ++i;
        if (i == kWord.size()) return true;
    }
    return false;
}

} // namespace

const std::string_view* MsgCollection::find(std::string_view key) const {
    if (index_) {
        auto it = index_->find(Folded(key));
        return it == index_->end() ? nullptr : &items_[it->second].line;
    }
    for (size_t i = 0; i < count_; ++i)
        if (SameNoCase(items_[i].key, key)) return &items_[i].line;
    return nullptr;
}

bool MsgCollection::add(Item* slot, std::string_view key, std::string_view line) {
    if (find(key)) return false;
    if (!items_) items_ = slot;
    if (index_) index_->emplace(Folded(key), count_);
    new (slot) Item{key, line};
    ++count_;
    if (!index_ && count_ >= kIndexFrom) {
        index_ = std::make_unique<std::unordered_map<std::string, size_t>>();
        for (size_t i = 0; i < count_; ++i) index_->emplace(Folded(items_[i].key), i);
    }
    return true;
}

void XapMessage::AddHeader() {
    text_.Add("xap-header\n{\nv=13\nhop=1\nuid=").Add(uid_.view()).Add("\nclass=").Add(class_.view());
    text_.Add("\nsource=").Add(source_.view()).Add("\n");
    if (!target_.view().empty()) text_.Add("target=").Add(target_.view()).Add("\n");
    text_.Add("}\n");
    sectionOpen_ = false;
}

void XapMessage::AddItem(std::string_view, std::string_view key, std::string_view value) {
    text_.Add(key).Add("=").Add(value).Add("\n");
}

void XapMessage::AddSection(std::string_view name) {
    if (sectionOpen_) text_.Add("}\n");
    text_.Add(name).Add("\n{\n");
    sectionOpen_ = true;
}

std::string XapMessage::ToXap() const { return text_.Value() + "}\n"; }

int XapMessage::findSection(std::string_view name) const {
    if (sectionIndex_) {
        auto it = sectionIndex_->find(Folded(name));
        return it == sectionIndex_->end() ? -1 : it->second;
    }
    for (size_t i = 0; i < sections_.size(); ++i)
        if (SameNoCase(sections_[i].name_, name)) return static_cast<int>(i);
    return -1;
}

void XapMessage::registerSection(std::string_view name) {
    if (findSection(name) >= 0) throw VbError(kDuplicate);
    const int index = static_cast<int>(sections_.size());
    if (sections_.empty()) sections_.reserve(2);  // one section and the empty name after it
    sections_.emplace_back();
    sections_.back().name_ = name;
    if (sectionIndex_) {
        sectionIndex_->emplace(Folded(name), index);
    } else if (sections_.size() >= kIndexFrom) {
        sectionIndex_ = std::make_unique<std::unordered_map<std::string, int>>();
        for (size_t i = 0; i < sections_.size(); ++i)
            sectionIndex_->emplace(Folded(sections_[i].name_), static_cast<int>(i));
    }
}

void XapMessage::FromXap(std::string_view received) {
    if (received.empty()) return;
    const char* const firstEnd = FindStop(received.data(), received.data() + received.size(), false);
    if (!HasHeaderWord(received.substr(0, static_cast<size_t>(firstEnd - received.data())))) return;

    // One block: the text, then room for its items (at most one per line).
    using Item = MsgCollection::Item;
    // A line with an item takes at least two bytes ("=" and LF): a short
    // text needs no count.
    const size_t lines = received.size() <= 4096 ? received.size() / 2 + 1 : CountLines(received) + 1;
    const size_t itemsAt = (received.size() + alignof(Item) - 1) / alignof(Item) * alignof(Item);
    auto owned = std::make_unique_for_overwrite<std::byte[]>(itemsAt + lines * sizeof(Item));
    std::byte* const block = owned.get();
    if (!received_) received_ = std::move(owned);
    else receivedMore_.push_front(std::move(owned));
    std::memcpy(block, received.data(), received.size());
    const std::string_view text(reinterpret_cast<const char*>(block), received.size());
    Item* const items = reinterpret_cast<Item*>(block + itemsAt);
    size_t used = 0;

    Guard(log_, "From XAP", [&] {
        Lines lines(text);
        // Skip "xap-header" and "{".
        std::string_view line;
        size_t eq = 0;
        lines.next(line, eq);
        lines.next(line, eq);

        int current = -1;
        while (lines.next(line, eq)) {
            if (line.size() == 1 && line[0] == '}') {
                std::string_view name;
                if (!lines.next(name, eq)) throw VbError("Subscript out of range");
                registerSection(name);
                current = static_cast<int>(sections_.size()) - 1;
                continue;
            }
            if (eq == std::string_view::npos) continue;
            const std::string_view key = Trimmed(line.substr(0, eq));
            if (current < 0) {
                const std::string_view value = Trimmed(line.substr(eq + 1));
                switch (key.size()) {
                case 3:
                    if (SameNoCase(key, "uid")) uid_.parsed(value);
                    break;
                case 5:
                    if (SameNoCase(key, "class")) class_.parsed(value);
                    break;
                case 6:
                    if (SameNoCase(key, "source")) source_.parsed(value);
                    else if (SameNoCase(key, "target")) target_.parsed(value);
                    break;
                default:
                    break;  // v, hop and any other header key
                }
            } else if (sections_[static_cast<size_t>(current)].add(items + used, key, line)) {
                ++used;
            } else {
                throw VbError(kDuplicate);
            }
        }
    });
}

std::string XapMessage::GetItem(std::string_view section, std::string_view key) const {
    std::string result = kUnknown;
    Guard(log_, "GetItem", [&] {
        int index = findSection(section);
        if (index < 0) return;
        const std::string_view* line = sections_[static_cast<size_t>(index)].find(key);
        if (!line) return;
        result.assign(line->substr(line->find('=') + 1));
    });
    return result;
}

std::vector<std::string> XapMessage::MsgSection() const {
    if (sections_.empty()) return {""};
    std::vector<std::string> names;
    names.reserve(sections_.size() - 1);
    for (size_t i = 0; i + 1 < sections_.size(); ++i) names.push_back(Folded(sections_[i].name_));
    return names;
}

const MsgCollection* XapMessage::msgCollection(int16_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= sections_.size()) return nullptr;
    return &sections_[static_cast<size_t>(index)];
}

bool XapMessage::CompareAddress(std::string_view pattern, std::string_view address) {
    if (pattern.empty() || address.empty()) return false;
    // Part by part, in place: "*" matches one part, ">" the rest. The
    // sub-address after ":" is not compared.
    const char *a = pattern.data(), *aEnd = a + pattern.size();
    const char *b = address.data(), *bEnd = b + address.size();
    auto partEnd = [](const char* p, const char* end) {
        while (p != end && *p != '.' && *p != ':') ++p;
        return p;
    };
    for (;;) {
        const char* ea = partEnd(a, aEnd);
        const char* eb = partEnd(b, bEnd);
        const std::string_view partA(a, static_cast<size_t>(ea - a)), partB(b, static_cast<size_t>(eb - b));
        if (partA == ">" || partB == ">") return true;
        if (partA != "*" && partB != "*" && !SameNoCase(partA, partB)) return false;
        const bool moreA = ea != aEnd && *ea == '.', moreB = eb != bEnd && *eb == '.';
        if (!moreA || !moreB) return moreA == moreB;
        a = ea + 1;
        b = eb + 1;
    }
}

bool XapMessage::CompareClass(std::string_view pattern) const { return EqualsNoCase(pattern, class_.view()); }

MsgData& MsgData::add(std::string_view key, std::string_view value) {
    if (!data_.empty()) data_.push_back('\0');
    data_.append(key).push_back('\1');
    data_.append(value);
    return *this;
}

} // namespace tarvelo::xap
