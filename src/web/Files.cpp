#include "web/Files.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "common/Text.h"

namespace tarvelo::web {

namespace fs = std::filesystem;

namespace {

// The entry of `folder` called `name`, the exact spelling first.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (EqualsNoCase(it->path().filename().string(), name)) return it->path();
    return std::nullopt;
}

} // namespace

std::optional<fs::path> ResolveUnder(const fs::path& root, std::string_view requestPath) {
    fs::path at = root;
    std::string name;
    auto step = [&]() -> bool {
        if (name.empty() || name == ".") return true;
        if (name == "..") return false;
        std::optional<fs::path> next = FindEntry(at, name);
        if (!next) return false;
        at = *next;
        name.clear();
        return true;
    };
    for (char c : requestPath) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) return std::nullopt;
        if (c == '\\' || c == '/') {
            if (!step()) return std::nullopt;
            name.clear();
        } else {
            name.push_back(c);
        }
    }
    if (!step()) return std::nullopt;
    std::error_code ec;
    if (at == root || !fs::is_regular_file(at, ec)) return std::nullopt;
    return at;
}

std::optional<std::string> ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

} // namespace tarvelo::web
