#pragma once
// One in-memory IniTool per settings file in the Config folder, shared by the
// whole program; a file changed on disk is picked up on the next read, and
// changed files are written back by FlushIniCache.
//
// Asking the file system for a file's time costs more than the read itself,
// and start-up reads thousands of keys. With an event loop, a file's time is
// therefore looked at on its first use in each turn of the loop, again once a
// second has passed within a long turn, and after every FlushIniCache: a file
// edited by hand is seen by the next event that reads it. Without a loop
// (tools, tests) every use looks, as before.
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
#include "platform/Platform.h"

namespace tarvelo::app {

class SettingsCache {
public:
    // `loop`: the platform whose turns and monotonic clock pace the checks
    // of the files' times; null checks on every use.
    SettingsCache(std::filesystem::path configFolder, LogSink* log, platform::Platform* loop = nullptr);

    // Index of the file's entry (1..count); creates the file empty when no
    // file of that name, in any case, exists.
    int GetIniIndex(const std::string& fileName, bool keepInMemory);
    std::string GetIniSetting(const std::string& section, const std::string& key, const std::string& defaultValue,
                              const std::string& fileName = "");
    void SaveIniSetting(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& fileName = "");
    // Also makes the next use of every file look at its time on disk.
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
        // When the time on disk was last looked at (see recentlyChecked).
        uint64_t checkedTurn = 0;
        int64_t checkedAt = 0;
        // A keep-in-memory use skipped the look since: a newer file found by
        // the next look is taken as that use would have taken it (time
        // noted, store kept), so the change is not discarded.
        bool keptSinceCheck = false;
    };
    static std::string FileOrDefault(const std::string& fileName) {
        return fileName.empty() ? std::string("settings.ini") : fileName;
    }

    std::filesystem::path folder_;
    LogSink* log_;
    std::filesystem::path Locate(const std::string& fileName) const;
    bool recentlyChecked(const Entry& e) const;
    void noteChecked(Entry& e);

    platform::Platform* loop_;
    // Counts turns of the loop in which a file was used: a call posted at the
    // first check of a turn moves it on when the loop comes round.
    uint64_t turn_ = 1;
    bool turnEndPosted_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::vector<Entry> entries_;
    int count_ = 0;
};

} // namespace tarvelo::app
