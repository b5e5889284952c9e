#pragma once
// Read-only text that many owners share: a device kind's command list is the
// same for thousands of states, and copies of it would be most of a large
// installation's memory churn at import.

#include <memory>
#include <string>
#include <string_view>

namespace tarvelo {

class SharedText {
public:
    SharedText() = default;
    SharedText(std::string text)  // NOLINT: text converts implicitly, as a string would
        : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}
    SharedText(const char* text) : SharedText(std::string(text)) {}  // NOLINT

    const std::string& str() const {
        static const std::string empty;
        return text_ ? *text_ : empty;
    }
    operator const std::string&() const { return str(); }  // NOLINT
    operator std::string_view() const { return str(); }    // NOLINT

    bool empty() const { return !text_; }
    size_t size() const { return str().size(); }
    size_t find(char c, size_t from = 0) const { return str().find(c, from); }
    friend bool operator==(const SharedText& a, std::string_view b) { return std::string_view(a.str()) == b; }

private:
    std::shared_ptr<const std::string> text_;  // null for empty text
};

} // namespace tarvelo
