#include "app/Paths.h"

#include <cstdlib>
#include <system_error>

namespace tarvelo::app {

namespace fs = std::filesystem;

Paths Paths::Resolve(const std::string& baseOption, const std::string& executableFolder) {
    Paths p;
    if (!baseOption.empty()) p.base = baseOption;
    else if (const char* home = std::getenv("TARVELO_HOME"); home && *home) p.base = home;
    else p.base = executableFolder;
    p.program = executableFolder;
    std::error_code ec;
    fs::path absolute = fs::absolute(p.base, ec);
    if (!ec) p.base = absolute.lexically_normal();
    return p;
}

fs::path Paths::htmlFolder() const {
    std::error_code ec;
    if (fs::is_directory(html(), ec) || program.empty()) return html();
    for (const fs::path& candidate : {program / "HTML", program / ".." / "share" / "tarvelo" / "HTML"})
        if (fs::is_directory(candidate, ec)) return candidate.lexically_normal();
    return html();
}

bool MakePath(const fs::path& path) {
    fs::path parent = path.parent_path();
    if (parent.empty()) return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    return !ec && fs::is_directory(parent, ec);
}

} // namespace tarvelo::app
