// Reading job files: a small tag scanner, enough for the elements a job has.
#include "scripting/vbscript/JobFiles.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/OsCalls.h"

namespace tarvelo::vbs {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == ':' || c == '.';
}

// The five XML entities and character references; others stay as written.
std::string DecodeEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        size_t semi = s[i] == '&' ? s.find(';', i) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 10) {
            out += s[i];
            continue;
        }
        std::string_view ent = s.substr(i + 1, semi - i - 1);
        if (ent == "lt") out += '<';
        else if (ent == "gt") out += '>';
        else if (ent == "amp") out += '&';
        else if (ent == "quot") out += '"';
        else if (ent == "apos") out += '\'';
        else if (ent.size() > 1 && ent[0] == '#') {
            bool hex = ent[1] == 'x' || ent[1] == 'X';
            std::string digits(ent.substr(hex ? 2 : 1));
            char* end = nullptr;
            unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (digits.empty() || *end) {
                out += s[i];
                continue;
            }
            out += ByteOf(static_cast<uint32_t>(cp));
        } else {
            out += s[i];
            continue;
        }
        i = semi;
    }
    return out;
}

struct Tag {
    std::string name;  // lower case
    std::vector<std::pair<std::string, std::string>> attrs;  // names lower case
    bool closing = false;
    bool selfClosing = false;
    size_t begin = 0, end = 0;  // offsets of "<" and just after ">"
    std::string Attr(const char* n) const {
        for (const auto& a : attrs)
            if (a.first == n) return a.second;
        return {};
    }
    bool Has(const char* n) const {
        return std::any_of(attrs.begin(), attrs.end(), [&](const auto& a) { return a.first == n; });
    }
};

class Scanner {
public:
    explicit Scanner(std::string_view text) : t_(text) {}

    JobFile Parse(const std::string& jobId) {
        JobFile job;
        const std::string wanted = Lower(jobId);
        bool selected = false, anyJob = false;
        size_t pos = 0;
        while ((pos = t_.find('<', pos)) != std::string_view::npos) {
            if (Starts(pos, "<?")) {
                size_t end = Find(pos, "?>");
                if (end == npos) return Fail(job, pos, "a processing instruction that does not end");
                if (Lower(t_.substr(pos + 2, 3)) == "xml" && end > pos + 5 && IsSpace(t_[pos + 5])) strict_ = true;
                pos = end + 2;
                continue;
            }
            if (Starts(pos, "<!--")) {
                size_t end = Find(pos + 4, "-->");
                if (end == npos) return Fail(job, pos, "a comment that does not end");
                pos = end + 3;
                continue;
            }
            if (Starts(pos, "<![CDATA[")) {
                size_t end = Find(pos, "]]>");
                if (end == npos) return Fail(job, pos, "a CDATA section that does not end");
                pos = end + 3;
                continue;
            }
            if (Starts(pos, "<!")) {
                size_t end = t_.find('>', pos);
                if (end == npos) return Fail(job, pos, "a declaration that does not end");
                pos = end + 1;
                continue;
            }
            Tag tag;
            if (!ReadTag(pos, tag)) return Fail(job, pos, "an element that does not end");
            pos = tag.end;
            if (tag.name == "job") {
                if (tag.closing) {
                    if (selected) return job;
                    continue;
                }
                anyJob = true;
                std::string id = tag.Attr("id");
                if (selected || (!wanted.empty() && Lower(id) != wanted)) {
                    size_t end = FindCloseTag(pos, "job");  // another job: not read
                    if (end == npos) return Fail(job, tag.begin, "a <job> element without </job>");
                    pos = end;
                    continue;
                }
                selected = true;
                job.id = id;
                if (tag.selfClosing) return job;
                continue;
            }
            if (!selected || tag.closing) continue;
            if (tag.name == "script") {
                if (!Script(tag, pos, job)) return job;
            } else if (tag.name == "object") {
                if (tag.Has("classid") && !tag.Has("progid"))
                    return Fail(job, tag.begin, "<object> with a classid: only progid names a class here");
                job.objects.push_back(JobObject{tag.Attr("id"), tag.Attr("progid"), LineOf(tag.begin), ColumnOf(tag.begin)});
                if (!tag.selfClosing && (pos = SkipTo(pos, "object")) == npos)
                    return Fail(job, tag.begin, "an <object> element without </object>");
            } else if ((tag.name == "resource" || tag.name == "description" || tag.name == "example") &&
                       !tag.selfClosing) {
                // Text for the user, which may hold "<": not read as elements.
                if ((pos = SkipTo(pos, tag.name)) == npos)
                    return Fail(job, tag.begin, "a <" + tag.name + "> element that does not end");
            }
        }
        if (selected) return Fail(job, t_.size(), "a <job> element without </job>");
        if (anyJob) return Fail(job, 0, "no job with the id \"" + jobId + "\"");
        return Fail(job, 0, "no <job> element");
    }

private:
    static constexpr size_t npos = std::string_view::npos;

    bool Starts(size_t pos, std::string_view s) const { return t_.substr(pos, s.size()) == s; }
    size_t Find(size_t pos, std::string_view s) const { return t_.find(s, pos); }

    int LineOf(size_t pos) const {
        return 1 + static_cast<int>(std::count(t_.begin(), t_.begin() + static_cast<long>(std::min(pos, t_.size())), '\n'));
    }
    int ColumnOf(size_t pos) const {
        pos = std::min(pos, t_.size());
        size_t lf = pos == 0 ? npos : t_.rfind('\n', pos - 1);
        size_t lineStart = lf == npos ? 0 : lf + 1;
        return 1 + static_cast<int>(pos - lineStart);
    }

    JobFile& Fail(JobFile& job, size_t pos, std::string message) {
        job.error = JobError{LineOf(pos), ColumnOf(pos), std::move(message)};
        return job;
    }

    // "</name" followed by blanks and ">", without regard to case: the offset of "<".
    size_t FindCloseTagStart(size_t pos, std::string_view name) const {
        for (size_t at = pos; (at = t_.find("</", at)) != npos; at += 2) {
            size_t n = at + 2;
            if (Lower(t_.substr(n, name.size())) != name) continue;
            n += name.size();
            while (n < t_.size() && IsSpace(t_[n])) ++n;
            if (n < t_.size() && t_[n] == '>') return at;
        }
        return npos;
    }
    // Just after the closing tag.
    size_t FindCloseTag(size_t pos, std::string_view name) const {
        size_t at = FindCloseTagStart(pos, name);
        return at == npos ? npos : t_.find('>', at) + 1;
    }
    size_t SkipTo(size_t pos, std::string_view name) const { return FindCloseTag(pos, name); }

    bool ReadTag(size_t pos, Tag& tag) const {
        tag.begin = pos;
        size_t i = pos + 1;
        if (i < t_.size() && t_[i] == '/') {
            tag.closing = true;
            ++i;
        }
        size_t nameStart = i;
        while (i < t_.size() && IsNameChar(t_[i])) ++i;
        tag.name = Lower(t_.substr(nameStart, i - nameStart));
        for (;;) {
            while (i < t_.size() && IsSpace(t_[i])) ++i;
            if (i >= t_.size()) return false;
            if (t_[i] == '>') {
                tag.end = i + 1;
                return true;
            }
            if (t_[i] == '/' && i + 1 < t_.size() && t_[i + 1] == '>') {
                tag.selfClosing = true;
                tag.end = i + 2;
                return true;
            }
            size_t an = i;
            while (i < t_.size() && IsNameChar(t_[i])) ++i;
            if (i == an) {  // not an attribute: skip the character
                ++i;
                continue;
            }
            std::string attr = Lower(t_.substr(an, i - an));
            while (i < t_.size() && IsSpace(t_[i])) ++i;
            std::string value;
            if (i < t_.size() && t_[i] == '=') {
                ++i;
                while (i < t_.size() && IsSpace(t_[i])) ++i;
                if (i < t_.size() && (t_[i] == '"' || t_[i] == '\'')) {
                    char q = t_[i];
                    size_t close = t_.find(q, i + 1);
                    if (close == npos) return false;
                    value = DecodeEntities(t_.substr(i + 1, close - i - 1));
                    i = close + 1;
                } else {
                    size_t vs = i;
                    while (i < t_.size() && !IsSpace(t_[i]) && t_[i] != '>' && t_[i] != '/') ++i;
                    value = DecodeEntities(t_.substr(vs, i - vs));
                }
            }
            tag.attrs.emplace_back(std::move(attr), std::move(value));
        }
    }

    // Adds the script element that starts with tag; pos moves past it. False on an error.
    bool Script(const Tag& tag, size_t& pos, JobFile& job) {
        std::string language = tag.Attr("language");
        if (language.empty()) language = tag.Attr("type");
        std::string lang = Lower(language);
        if (lang != "vbscript" && lang != "vbs" && lang != "text/vbscript") {
            Fail(job, tag.begin,
                 language.empty() ? std::string("a <script> element without a language")
                                  : "script language \"" + language + "\" is not supported: only VBScript runs here");
            return false;
        }
        JobScript s;
        s.src = tag.Attr("src");
        s.line = LineOf(tag.begin);
        s.column = ColumnOf(tag.begin);
        if (!tag.selfClosing) {
            size_t close = FindCloseTagStart(pos, "script");
            if (close == npos) {
                Fail(job, tag.begin, "a <script> element without </script>");
                return false;
            }
            std::string code = Content(pos, close);
            if (code.find_first_not_of(" \t\r\n") != std::string::npos) {
                // Blank lines and columns before the code keep the positions the engine reports.
                s.code = std::string(static_cast<size_t>(LineOf(pos) - 1), '\n') +
                         std::string(static_cast<size_t>(ColumnOf(pos) - 1), ' ') + code;
                s.hasCode = true;
            }
            pos = t_.find('>', close) + 1;
        }
        job.scripts.push_back(std::move(s));
        return true;
    }

    // The code between two offsets: CDATA markers become blanks (so positions
    // stay), and in a declared XML file entities are decoded outside CDATA.
    std::string Content(size_t from, size_t to) const {
        std::string out;
        size_t i = from;
        while (i < to) {
            size_t cdata = t_.find("<![CDATA[", i);
            if (cdata == npos || cdata >= to) cdata = to;
            std::string_view plain = t_.substr(i, cdata - i);
            out += strict_ ? DecodeEntities(plain) : std::string(plain);
            if (cdata == to) break;
            size_t end = t_.find("]]>", cdata + 9);
            if (end == npos || end > to) end = to;
            out += std::string(9, ' ');
            out += t_.substr(cdata + 9, end - cdata - 9);
            if (end < to) out += "   ";
            i = std::min(to, end + 3);
        }
        return out;
    }

    std::string_view t_;
    bool strict_ = false;
};

}  // namespace

JobFile ParseJobFile(std::string_view text, const std::string& jobId) { return Scanner(text).Parse(jobId); }

fs::path JobSourcePath(const fs::path& jobFile, const std::string& src) {
    fs::path folder = jobFile.parent_path();
    if (folder.empty()) folder = ".";
    fs::path named(os::SlashPath(src));
    fs::path p = os::Locate(named.is_absolute() ? named.string() : (folder / named).string());
    std::error_code ec;
    if (fs::exists(p, ec) || !named.has_filename()) return p;
    fs::path beside = os::Locate((folder / named.filename()).string());
    return fs::exists(beside, ec) ? beside : p;
}

}  // namespace tarvelo::vbs
