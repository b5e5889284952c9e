#pragma once
#include <string>
#include <string_view>

namespace tarvelo {

// Append-only text builder used wherever packets, messages or pages are built.
class FastString {
public:
    void Reset() { text_.clear(); }
    const std::string& Value() const { return text_; }
    FastString& Add(std::string_view piece) { text_.append(piece); return *this; }
    void Reserve(size_t n) { text_.reserve(n); }

private:
    std::string text_;
};

} // namespace tarvelo
