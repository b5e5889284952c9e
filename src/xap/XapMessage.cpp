#include "xap/XapMessage.h"

#include <algorithm>

#include "common/Text.h"

namespace tarvelo::xap {

namespace {
constexpr size_t kIndexFrom = 16;

std::string_view BeforeColon(std::string_view s) {
    size_t colon = s.find(':');
    return colon == std::string_view::npos ? s : s.substr(0, colon);
}

std::vector<std::string_view> Parts(std::string_view s) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t dot = s.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, dot - start));
        start = dot + 1;
    }
}
} // namespace

const std::string* MsgCollection::find(std::string_view key) const {
    if (index_) {
        auto it = index_->find(std::string(key));
        return it == index_->end() ? nullptr : &items_[it->second].line;
    }
    for (const Item& item : items_)
        if (item.key == key) return &item.line;
    return nullptr;
}

bool MsgCollection::add(std::string key, std::string line) {
    if (find(key)) return false;
    if (index_) index_->emplace(key, items_.size());
    items_.push_back({std::move(key), std::move(line)});
    if (!index_ && items_.size() >= kIndexFrom) {
        index_ = std::make_unique<std::unordered_map<std::string, size_t>>();
        for (size_t i = 0; i < items_.size(); ++i) index_->emplace(items_[i].key, i);
    }
    return true;
}

void XapMessage::AddHeader() {
    text_.Add("xap-header\n{\nv=13\nhop=1\nuid=").Add(uid_).Add("\nclass=").Add(class_).Add("\nsource=").Add(source_).Add("\n");
    if (!target_.empty()) text_.Add("target=").Add(target_).Add("\n");
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

int XapMessage::findSection(std::string_view lowerName) const {
    auto it = sectionIndex_.find(std::string(lowerName));
    return it == sectionIndex_.end() ? -1 : it->second;
}

void XapMessage::registerSection(std::string lowerName) {
    if (sectionIndex_.count(lowerName)) throw VbError("This key is already associated with an element of this collection");
    const int index = static_cast<int>(sections_.size());
    sectionIndex_.emplace(lowerName, index);
    sectionNames_.push_back(std::move(lowerName));
    sections_.emplace_back();
}

void XapMessage::FromXap(std::string_view text) {
    if (text.empty()) return;
    size_t firstEnd = text.find('\n');
    std::string_view first = text.substr(0, firstEnd);
    if (LCase(first).find("xap-header") == std::string::npos) return;

    Guard(log_, "From XAP", [&] {
        // Lines after "xap-header" and "{".
        size_t pos = firstEnd == std::string_view::npos ? text.size() + 1 : firstEnd + 1;
        if (pos <= text.size()) {
            size_t e = text.find('\n', pos);
            pos = e == std::string_view::npos ? text.size() + 1 : e + 1;
        }
        auto nextLine = [&](std::string_view& line) {
            if (pos > text.size()) return false;
            size_t e = text.find('\n', pos);
            if (e == std::string_view::npos) {
                line = text.substr(pos);
                pos = text.size() + 1;
            } else {
                line = text.substr(pos, e - pos);
                pos = e + 1;
            }
            return true;
        };

        int current = -1;
        std::string_view line;
        while (nextLine(line)) {
            if (line == "}") {
                std::string_view name;
                if (!nextLine(name)) throw VbError("Subscript out of range");
                registerSection(LCase(name));
                current = static_cast<int>(sections_.size()) - 1;
                continue;
            }
            size_t eq = line.find('=');
            if (eq == std::string_view::npos) continue;
            std::string key = LCase(TrimSpaces(line.substr(0, eq)));
            if (current < 0) {
                std::string value = TrimSpaces(line.substr(eq + 1));
                if (key == "uid") uid_ = std::move(value);
                else if (key == "class") class_ = std::move(value);
                else if (key == "source") source_ = std::move(value);
                else if (key == "target") target_ = std::move(value);
            } else if (!sections_[static_cast<size_t>(current)].add(std::move(key), std::string(line))) {
                throw VbError("This key is already associated with an element of this collection");
            }
        }
    });
}

std::string XapMessage::GetItem(std::string_view section, std::string_view key) const {
    std::string result = kUnknown;
    Guard(log_, "GetItem", [&] {
        int index = findSection(LCase(section));
        if (index < 0) return;
        const std::string* line = sections_[static_cast<size_t>(index)].find(LCase(key));
        if (!line) return;
        result = line->substr(line->find('=') + 1);
    });
    return result;
}

std::vector<std::string> XapMessage::MsgSection() const {
    if (sectionNames_.empty()) return {""};
    return std::vector<std::string>(sectionNames_.begin(), sectionNames_.end() - 1);
}

const MsgCollection* XapMessage::msgCollection(int16_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= sections_.size()) return nullptr;
    return &sections_[static_cast<size_t>(index)];
}

bool XapMessage::CompareAddress(std::string_view pattern, std::string_view address) {
    if (pattern.empty() || address.empty()) return false;
    const std::string p = LCase(BeforeColon(pattern));
    const std::string a = LCase(BeforeColon(address));
    const std::vector<std::string_view> A = Parts(p);
    const std::vector<std::string_view> B = Parts(a);
    const size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        if (A[i] == ">" || B[i] == ">") return true;
        if (A[i] != "*" && B[i] != "*" && A[i] != B[i]) return false;
    }
    return A.size() == B.size();
}

bool XapMessage::CompareClass(std::string_view pattern) const { return EqualsNoCase(pattern, class_); }

MsgData& MsgData::add(std::string_view key, std::string_view value) {
    if (!data_.empty()) data_.push_back('\0');
    data_.append(key).push_back('\1');
    data_.append(value);
    return *this;
}

} // namespace tarvelo::xap
