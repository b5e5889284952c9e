#pragma once
// One settings file held in memory: sections and key=value lines, loaded
// whole, read and changed in memory, written back whole on Save.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Dictionary.h"
#include "common/Guard.h"

namespace tarvelo::app {

class IniTool {
public:
    explicit IniTool(LogSink* log = nullptr) : log_(log) {}

    void Load(const std::filesystem::path& path);
    void DumpHashTable() {}
    std::string Read(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    void WriteKey(const std::string& section, const std::string& key, const std::string& value);
    void RemoveKey(const std::string& section, const std::string& key);
    void RemoveSection(const std::string& section);
    std::vector<std::string> Headers() const;
    std::vector<std::string> Keys(const std::string& section) const;
    void Clear() { entries_.clear(); }
    // Writes the store to the path of the last Load; false (and one log line)
    // when the file could not be written. The previous file is never lost.
    bool Save();

    const std::filesystem::path& fileName() const { return fileName_; }
    void setLog(LogSink* log) { log_ = log; }

    // Test hook: called before each line is written; may throw to simulate a
    // failure in the middle of a save.
    std::function<void(size_t lineNumber)> beforeWriteLine;

private:
    static bool IsSectionEntry(const std::string& key, const std::string& value) { return key == value; }

    OrderedDict<std::string> entries_;
    std::filesystem::path fileName_;
    LogSink* log_;
    bool unreadable_ = false;
};

// Splits text into lines at LF, CR LF or a lone CR.
std::vector<std::string> SplitLines(const std::string& text);
// Reads a whole file; false when it cannot be opened.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out);

} // namespace tarvelo::app
