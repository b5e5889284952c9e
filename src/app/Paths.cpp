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
    std::error_code ec;
    fs::path absolute = fs::absolute(p.base, ec);
    if (!ec) p.base = absolute.lexically_normal();
    return p;
}

bool MakePath(const fs::path& path) {
    fs::path parent = path.parent_path();
    if (parent.empty()) return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    return !ec && fs::is_directory(parent, ec);
}

} // namespace tarvelo::app
