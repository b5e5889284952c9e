#pragma once
// A locale that writes decimals with a comma, for tests that pin our number
// text as independent of the user's locale. Compiled into the build folder
// from the system's locale sources when it is not installed.

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarvelo::testing {

// Switches LC_ALL to a comma-decimal locale; false when none can be had.
inline bool UseCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) return true;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvelo-test-locales";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::exists(dir / "de_DE.UTF-8")) {
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8")) return false;
    }
    ::setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    return ok;
}

} // namespace tarvelo::testing
