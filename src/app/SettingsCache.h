#pragma once
// One in-memory IniTool per settings file in the Config folder, shared by the
// whole program; a file changed on disk is picked up on the next read, and
// changed files are written back by FlushIniCache.
//
// File names are matched without regard to case, in the cache and on disk:
// scripts and settings written for case-blind file systems name "Tarvelo.ini"
// as "tarvelo.ini" too. A file that does not exist yet is created with the
// spelling given.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/IniTool.h"

namespace tarvelo::app {

class SettingsCache {
public:
    SettingsCache(std::filesystem::path configFolder, LogSink* log);

    // Index of the file's entry (1..count); creates the file empty when no
    // file of that name, in any case, exists.
    int GetIniIndex(const std::string& fileName, bool keepInMemory);
    std::string GetIniSetting(const std::string& section, const std::string& key, const std::string& defaultValue,
                              const std::string& fileName = "");
    void SaveIniSetting(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& fileName = "");
    void FlushIniCache();
    // Every key of a section as key "=" value, joined by character 0; "" for
    // a section without keys.
    std::string GetINISection(const std::string& section, const std::string& fileName = "");
    // Removes the section's keys from the cached store. The file is not marked
    // changed: the removal reaches the disk with the file's next change.
    void ClearINISection(const std::string& section, const std::string& fileName = "");

    IniTool& tool(int index) { return *entries_.at(static_cast<size_t>(index)).tool; }
    bool changed(int index) const { return entries_.at(static_cast<size_t>(index)).changed; }
    void markChanged(int index) { entries_.at(static_cast<size_t>(index)).changed = true; }
    int count() const { return count_; }
    const std::filesystem::path& configFolder() const { return folder_; }

private:
    struct Entry {
        std::string name;  // lower case
        std::filesystem::path path;  // the file on disk, as it is spelled there
        std::filesystem::file_time_type time;
        std::unique_ptr<IniTool> tool;
        bool changed = false;
    };
    static std::string FileOrDefault(const std::string& fileName) {
        return fileName.empty() ? std::string("settings.ini") : fileName;
    }

    std::filesystem::path folder_;
    LogSink* log_;
    std::filesystem::path Locate(const std::string& fileName) const;

    std::vector<Entry> entries_;
    int count_ = 0;
};

} // namespace tarvelo::app
