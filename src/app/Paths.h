#pragma once
// Where the program keeps its files: the base folder and its Config, Data,
// Scripts and HTML folders.

#include <filesystem>
#include <string>

namespace tarvelo::app {

struct Paths {
    std::filesystem::path base;
    std::filesystem::path program;  // the executable's folder; empty in tests
    std::filesystem::path config() const { return base / "Config"; }
    std::filesystem::path data() const { return base / "Data"; }
    std::filesystem::path exportFile() const { return base / "Data" / "Tarvelo" / "Tarvelo.upe"; }
    std::filesystem::path scripts() const { return base / "Scripts"; }
    std::filesystem::path html() const { return base / "HTML"; }
    // The pages' files: the base folder's own HTML folder when it has one,
    // else the one shipped beside the program (or in its share folder when
    // installed), else the base folder's.
    std::filesystem::path htmlFolder() const;
    std::filesystem::path textLog() const { return base / "Data" / "Tarvelo.txt"; }

    // --base DIR, else $TARVELO_HOME, else the executable's folder.
    static Paths Resolve(const std::string& baseOption, const std::string& executableFolder);
};

// Creates every missing parent folder of `path` (not the last element).
// Never throws; false when a folder could not be created.
bool MakePath(const std::filesystem::path& path);

} // namespace tarvelo::app
