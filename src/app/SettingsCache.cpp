#include "app/SettingsCache.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "common/Text.h"

namespace tarvelo::app {

namespace fs = std::filesystem;

namespace {
// Longest a check serves within one turn of the loop.
constexpr int64_t kCheckServesMs = 1000;
} // namespace

SettingsCache::SettingsCache(fs::path folder, LogSink* log, platform::Platform* loop)
    : folder_(std::move(folder)), log_(log), loop_(loop) {
    // Entry 0 is a placeholder that never matches: names are looked up in
    // lower case and its name is not.
    Entry placeholder;
    placeholder.name = "ControlSystemIniFile";
    placeholder.time = fs::file_time_type::min();
    placeholder.tool = std::make_unique<IniTool>(log_);
    entries_.push_back(std::move(placeholder));
}

// The file `fileName` names under the folder: each part of the name as
// spelled when that exists, else the first entry (in name order) that differs
// only in case, else as spelled.
fs::path SettingsCache::Locate(const std::string& fileName) const {
    fs::path path = folder_;
    std::error_code ec;
    bool searching = true;
    for (const fs::path& part : fs::path(fileName).relative_path()) {
        fs::path next = path / part;
        if (searching && !fs::exists(next, ec)) {
            const std::string wanted = LCase(part.string());
            std::vector<fs::path> matches;
            for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                if (LCase(it->path().filename().string()) == wanted) matches.push_back(it->path());
            if (matches.empty()) searching = false;
            else next = *std::min_element(matches.begin(), matches.end());
        }
        path = std::move(next);
    }
    return path;
}

bool SettingsCache::recentlyChecked(const Entry& e) const {
    return loop_ && e.checkedTurn == turn_ && loop_->monotonicMillis() - e.checkedAt < kCheckServesMs;
}

void SettingsCache::noteChecked(Entry& e) {
    e.keptSinceCheck = false;
    if (!loop_) return;
    e.checkedTurn = turn_;
    e.checkedAt = loop_->monotonicMillis();
    if (turnEndPosted_) return;
    turnEndPosted_ = true;
    loop_->post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired()) return;
        ++turn_;
        turnEndPosted_ = false;
    });
}

int SettingsCache::GetIniIndex(const std::string& fileName, bool keepInMemory) {
    int index = -1;
    // Entry 0's name is not lower case, so a case-blind match would find it.
    for (int i = 1; i <= count_ && index < 0; ++i)
        if (EqualsNoCase(entries_[static_cast<size_t>(i)].name, fileName)) index = i;
    if (index >= 0) {
        Entry& e = entries_[static_cast<size_t>(index)];
        if (recentlyChecked(e)) {
            if (keepInMemory) e.keptSinceCheck = true;
            return index;
        }
    }
    const std::string name = LCase(fileName);

    std::error_code ec;
    fs::path path = index >= 0 ? entries_[static_cast<size_t>(index)].path : fs::path();
    if (path.empty() || !fs::exists(path, ec)) path = Locate(fileName);
    if (!fs::exists(path, ec)) {
        // The cache always works on an existing file; a read-only folder
        // leaves the store empty, and every read gives its default.
        std::ofstream create(path, std::ios::binary | std::ios::app);
        if (!create && log_) log_->WriteLog("IniTool", " Unable to create " + path.string());
    }
    fs::file_time_type time = fs::last_write_time(path, ec);
    if (ec) time = fs::file_time_type::min();

    if (index >= 0) {
        Entry& e = entries_[static_cast<size_t>(index)];
        // The file was renamed or removed by hand: the one found now counts as newer.
        if (path != e.path) {
            e.path = path;
            e.time = fs::file_time_type::min();
        }
        if (time > e.time) {
            e.time = time;
            if (!keepInMemory && !e.keptSinceCheck) e.tool->Load(path);
        }
        noteChecked(e);
        return index;
    }
    ++count_;
    Entry e;
    e.name = name;
    e.path = path;
    e.time = time;
    e.tool = std::make_unique<IniTool>(log_);
    e.tool->Load(path);
    noteChecked(e);
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
    ++turn_;
    for (int i = 0; i <= count_; ++i) {
        Entry& e = entries_[static_cast<size_t>(i)];
        if (!e.changed) continue;
        e.tool->Save();
        e.changed = false;
    }
}

} // namespace tarvelo::app
