#include "app/SettingsCache.h"

#include <fstream>
#include <system_error>

#include "common/Text.h"

namespace tarvelo::app {

namespace fs = std::filesystem;

SettingsCache::SettingsCache(fs::path folder, LogSink* log) : folder_(std::move(folder)), log_(log) {
    // Entry 0 is a placeholder that never matches: names are looked up in
    // lower case and its name is not.
    Entry placeholder;
    placeholder.name = "ControlSystemIniFile";
    placeholder.time = fs::file_time_type::min();
    placeholder.tool = std::make_unique<IniTool>(log_);
    entries_.push_back(std::move(placeholder));
}

int SettingsCache::GetIniIndex(const std::string& fileName, bool keepInMemory) {
    const fs::path path = folder_ / fileName;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        // The cache always works on an existing file; a read-only folder
        // leaves the store empty, and every read gives its default.
        std::ofstream create(path, std::ios::binary | std::ios::app);
        if (!create && log_) log_->WriteLog("IniTool", " Unable to create " + path.string());
    }
    fs::file_time_type time = fs::last_write_time(path, ec);
    if (ec) time = fs::file_time_type::min();

    const std::string name = LCase(fileName);
    for (int i = 0; i <= count_; ++i) {
        Entry& e = entries_[static_cast<size_t>(i)];
        if (e.name != name) continue;
        if (time > e.time) {
            e.time = time;
            if (!keepInMemory) e.tool->Load(path);
        }
        return i;
    }
    ++count_;
    Entry e;
    e.name = name;
    e.time = time;
    e.tool = std::make_unique<IniTool>(log_);
    e.tool->Load(path);
    entries_.push_back(std::move(e));
    return count_;
}

std::string SettingsCache::GetIniSetting(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, const std::string& fileName) {
    int i = GetIniIndex(FileOrDefault(fileName), false);
    return entries_[static_cast<size_t>(i)].tool->Read(section, key, defaultValue);
}

void SettingsCache::SaveIniSetting(const std::string& section, const std::string& key, const std::string& value,
                                   const std::string& fileName) {
    // Keep in memory: unsaved changes are never discarded by a reload.
    int i = GetIniIndex(FileOrDefault(fileName), true);
    Entry& e = entries_[static_cast<size_t>(i)];
    e.tool->WriteKey(section, key, value);
    e.changed = true;
}

std::string SettingsCache::GetINISection(const std::string& section, const std::string& fileName) {
    int i = GetIniIndex(FileOrDefault(fileName), false);
    const IniTool& tool = *entries_[static_cast<size_t>(i)].tool;
    const std::vector<std::string> keys = tool.Keys(section);
    if (keys.size() == 1 && keys[0].empty()) return "";
    std::string out;
    for (const std::string& key : keys) {
        if (!out.empty()) out.push_back('\0');
        out.append(key).append("=").append(tool.Read(section, key, ""));
    }
    return out;
}

void SettingsCache::ClearINISection(const std::string& section, const std::string& fileName) {
    int i = GetIniIndex(FileOrDefault(fileName), true);
    entries_[static_cast<size_t>(i)].tool->RemoveSection(section);
}

void SettingsCache::FlushIniCache() {
    for (int i = 0; i <= count_; ++i) {
        Entry& e = entries_[static_cast<size_t>(i)];
        if (!e.changed) continue;
        e.tool->Save();
        e.changed = false;
    }
}

} // namespace tarvelo::app
