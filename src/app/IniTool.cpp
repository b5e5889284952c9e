#include "app/IniTool.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <unistd.h>

#include "common/Text.h"

namespace tarvelo::app {

namespace fs = std::filesystem;

namespace {
constexpr char kSep = '\x03';

// Names and values go to a line-oriented file: a CR or LF would start a new
// line (a key or a section of its own), and 0x03 is the internal separator.
std::string CleanName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
        else if (c == kSep) c = '?';
    }
    return out;
}
std::string CleanValue(const std::string& value) {
    std::string out = value;
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}
} // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.emplace_back(text, start, i - start);
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text, start, text.size() - start);
    return lines;
}

bool ReadWholeFile(const fs::path& path, std::string& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    // One read into a buffer of the file's size; a file that grows meanwhile
    // (or has no size) is read on in chunks.
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > 0 && size < (uintmax_t{1} << 31)) {
        out.resize(static_cast<size_t>(size));
        out.resize(std::fread(out.data(), 1, out.size(), f));
    }
    char buf[65536];
    size_t n;
    while (!std::ferror(f) && (n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void IniTool::Load(const fs::path& path) {
    entries_.clear();
    fileName_ = path;
    unreadable_ = false;
    std::error_code ec;
    if (!fs::exists(path, ec)) return;
    std::string text;
    if (!ReadWholeFile(path, text)) {
        // Saving over a file we could not read would lose it.
        unreadable_ = true;
        if (log_) log_->WriteLog("IniTool", " Unable to read " + path.string());
        return;
    }
    std::string section;
    for (const std::string& raw : SplitLines(text)) {
        std::string line = TrimSpaces(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            section = line.substr(1, line.size() - 2);
            std::string clean = CleanName(section);
            if (!entries_.exists(clean)) entries_.add(clean, clean);
            section = clean;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            if (log_) log_->WriteLog("IniTool", " Equal sign not found on line " + line);
            continue;
        }
        std::string key = CleanName(line.substr(0, eq));
        std::string entryKey = section + kSep + key;
        // The first value read wins.
        if (entries_.exists(entryKey)) continue;
        if (!entries_.exists(section)) entries_.add(section, section);
        entries_.add(entryKey, line.substr(eq + 1));
    }
}

std::string IniTool::Read(const std::string& section, const std::string& key, const std::string& defaultValue) const {
    // The entry key in its folded form, built once.
    std::string folded;
    folded.reserve(section.size() + 1 + key.size());
    for (char c : section) folded.push_back(FoldCase(c));
    folded.push_back(kSep);
    for (char c : key) folded.push_back(FoldCase(c));
    const std::string* v = entries_.findFolded(folded);
    if (!v || v->empty()) return defaultValue;
    return *v;
}

void IniTool::WriteKey(const std::string& section, const std::string& key, const std::string& value) {
    std::string s = CleanName(section);
    if (!entries_.exists(s)) entries_.add(s, s);
    entries_.set(s + kSep + CleanName(key), CleanValue(value));
}

void IniTool::RemoveKey(const std::string& section, const std::string& key) {
    entries_.remove(section + kSep + key);
}

void IniTool::RemoveSection(const std::string& section) {
    for (const std::string& key : Keys(section)) RemoveKey(section, key);
}

std::vector<std::string> IniTool::Headers() const {
    std::vector<std::string> out;
    for (const auto& [key, value] : entries_)
        if (IsSectionEntry(key, value)) out.push_back(key);
    return out;
}

std::vector<std::string> IniTool::Keys(const std::string& section) const {
    std::vector<std::string> out;
    for (const auto& [key, value] : entries_) {
        if (IsSectionEntry(key, value)) continue;
        size_t sep = key.find(kSep);
        if (sep == std::string::npos) continue;
        if (!EqualsNoCase(std::string_view(key).substr(0, sep), section)) continue;
        std::string name = key.substr(sep + 1);
        if (TrimSpaces(name).empty()) continue;
        out.push_back(std::move(name));
    }
    if (out.empty()) out.emplace_back();
    return out;
}

bool IniTool::Save() {
    struct Line {
        std::string upperSection, key, value;
    };
    std::vector<Line> lines;
    for (const auto& [key, value] : entries_) {
        if (IsSectionEntry(key, value)) continue;
        size_t sep = key.find(kSep);
        if (sep == std::string::npos) continue;
        lines.push_back(Line{UCase(key.substr(0, sep)), key.substr(sep + 1), value});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.upperSection != b.upperSection) return a.upperSection < b.upperSection;
        return a.key < b.key;
    });

    const fs::path& path = fileName_;
    std::error_code ec;
    if (unreadable_) {
        if (log_) log_->WriteLog("Tarvelo", "IniTool Save" + path.string());
        return false;
    }
    // The previous file is kept beside it.
    if (fs::exists(path, ec)) {
        fs::path backup = path;
        backup += "_bck";
        fs::copy_file(path, backup, fs::copy_options::overwrite_existing, ec);
    }
    // Write a temporary file and rename it over the target, so that a failure
    // in the middle never leaves a half-written settings file.
    fs::path temp = path;
    temp += ".tmp";
    bool ok = false;
    try {
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw VbError("Permission denied");
            std::string current;
            size_t n = 0;
            for (const Line& l : lines) {
                if (l.upperSection != current) {
                    current = l.upperSection;
                    if (beforeWriteLine) beforeWriteLine(++n);
                    out << '[' << current << "]\r\n";
                }
                if (beforeWriteLine) beforeWriteLine(++n);
                out << l.key << '=' << l.value << "\r\n";
            }
            out.flush();
            if (!out) throw VbError("Disk full");
        }
        if (FILE* f = std::fopen(temp.c_str(), "rb")) {
            ::fsync(::fileno(f));
            std::fclose(f);
        }
        fs::rename(temp, path, ec);
        if (ec) throw VbError(ec.message());
        ok = true;
    } catch (const std::exception&) {
        fs::remove(temp, ec);
        if (log_) log_->WriteLog("Tarvelo", "IniTool Save" + path.string());
    }
    return ok;
}

} // namespace tarvelo::app
