// Scripting.FileSystemObject with its File, Folder, Files and Folders objects.
// Paths returned to scripts are absolute and written with "/".
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "scripting/vbscript/OsCalls.h"
#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/SystemObjects.h"
#include "scripting/vbscript/TextStream.h"

namespace tarvelo::vbs {

void RegisterShell(Runtime& rt);

namespace {

namespace fs = std::filesystem;

constexpr int kFileNotFound = 53, kPathNotFound = 76, kAlreadyExists = 58, kPermissionDenied = 70;

bool IsSep(char c) { return c == '/' || c == '\\'; }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The text of a path for scripts: absolute, without "." or ".." parts or a trailing "/".
std::string PathText(const fs::path& p) {
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool OptBool(const CallArgs& a, size_t i, bool dflt) { return a.Has(i) ? ToBool(a[i]) : dflt; }

[[noreturn]] void Fail(int number, const fs::path& path) { RaiseNamed(number, PathText(path)); }
[[noreturn]] void Fail(const std::error_code& ec, const fs::path& path, int notFound) {
    Fail(os::ErrorNumber(ec, notFound), path);
}

bool IsFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}
bool IsFile(const fs::path& p) {
    std::error_code ec;
    fs::file_status st = fs::status(p, ec);
    return fs::exists(st) && !fs::is_directory(st);
}
bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// The error for a path whose file is missing: 53, or 76 when its folder is missing too.
[[noreturn]] void FailMissing(const fs::path& p) {
    fs::path parent = p.lexically_normal().parent_path();
    Fail(parent.empty() || IsFolder(parent) ? kFileNotFound : kPathNotFound, p);
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// "*" and "?" against a name, without regard to case.
bool WildMatch(const char* pat, const char* s) {
    const char *star = nullptr, *resume = nullptr;
    auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    while (*s) {
        if (*pat == '*') {
            star = pat++;
            resume = s;
        } else if (*pat == '?' || (*pat && low(*pat) == low(*s))) {
            ++pat;
            ++s;
        } else if (star) {
            pat = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*pat == '*') ++pat;
    return !*pat;
}

// Entries of a folder, files or folders, in the order a case-blind listing gives them.
std::vector<fs::path> Entries(const fs::path& folder, bool folders, const std::string& pattern = "*") {
    std::vector<fs::path> out;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) Fail(ec, folder, kPathNotFound);
    for (; it != end; it.increment(ec)) {
        if (ec) Fail(ec, folder, kPathNotFound);
        std::error_code sec;
        fs::file_status st = it->status(sec);
        if (sec || !fs::exists(st) || fs::is_directory(st) != folders) continue;
        if (WildMatch(pattern.c_str(), it->path().filename().c_str())) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
        return Lower(a.filename().string()) < Lower(b.filename().string());
    });
    return out;
}

// What a source argument names: one path, or the matches of a wildcard in its last part.
std::vector<fs::path> Sources(const std::string& pattern, bool folders, int notFound) {
    fs::path p = os::Locate(pattern);
    std::string name = p.filename().string();
    if (!HasWildcard(name)) {
        if (folders ? !IsFolder(p) : !IsFile(p)) {
            if (folders) Fail(kPathNotFound, p);
            FailMissing(p);
        }
        return {p};
    }
    fs::path parent = p.parent_path();
    if (!IsFolder(parent)) Fail(kPathNotFound, parent);
    std::vector<fs::path> found = Entries(parent, folders, name);
    if (found.empty()) Fail(notFound, p);
    return found;
}

bool EndsWithSep(const std::string& s) { return !s.empty() && IsSep(s.back()); }

void CopyOneFile(const fs::path& from, const fs::path& to, bool overwrite) {
    if (IsFolder(to)) Fail(kPermissionDenied, to);
    if (Exists(to)) {
        if (!overwrite) Fail(kAlreadyExists, to);
        if (os::IsReadOnly(to)) Fail(kPermissionDenied, to);
    }
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        if (!IsFolder(to.parent_path())) Fail(kPathNotFound, to);
        Fail(ec, to, kPathNotFound);
    }
}

bool Inside(const fs::path& inner, const fs::path& outer) {
    std::string i = PathText(fs::absolute(inner)) + "/", o = PathText(fs::absolute(outer)) + "/";
    return i.compare(0, o.size(), o) == 0;
}

// Copies a folder's content into `to` (made when missing), file by file.
void CopyTree(const fs::path& from, const fs::path& to, bool overwrite) {
    if (Inside(to, from)) Raise(5);  // into itself: it would never end
    if (IsFile(to)) Fail(kAlreadyExists, to);
    std::error_code ec;
    if (!IsFolder(to) && !fs::create_directory(to, ec)) Fail(ec, to, kPathNotFound);
    for (const fs::path& f : Entries(from, false)) CopyOneFile(f, to / f.filename(), overwrite);
    for (const fs::path& d : Entries(from, true)) CopyTree(d, to / d.filename(), overwrite);
}

// Rename, or copy and delete when the target is on another file system.
void MovePath(const fs::path& from, const fs::path& to, bool folder) {
    if (Exists(to)) Fail(kAlreadyExists, to);
    if (folder && Inside(to, from)) Raise(5);
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return;
    if (ec != std::errc::cross_device_link) {
        if (!IsFolder(to.parent_path())) Fail(kPathNotFound, to);
        Fail(ec, from, folder ? kPathNotFound : kFileNotFound);
    }
    if (folder) CopyTree(from, to, false);
    else CopyOneFile(from, to, false);
    fs::remove_all(from, ec);
    if (ec) Fail(ec, from, kPathNotFound);
}

// The target of a copy or move of `source`: into `dest` when it ends with a separator.
fs::path Target(const fs::path& source, const std::string& destText, bool many) {
    fs::path dest = os::Locate(destText);
    if (EndsWithSep(destText) || many) {
        if (!IsFolder(dest)) Fail(kPathNotFound, dest);
        return dest / source.filename();
    }
    return dest;
}

uint64_t TreeSize(const fs::path& folder) {
    uint64_t total = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (it->is_regular_file(sec)) total += it->file_size(sec);
    }
    if (ec) Fail(ec, folder, kPathNotFound);
    return total;
}

Value SizeValue(uint64_t n) {
    if (n <= 0x7FFFFFFF) return Value::Long(static_cast<int32_t>(n));
    return Value::Double(static_cast<double>(n));
}

Ref<TextStream> OpenText(const fs::path& path, int mode, bool create, int format) {
    if (mode != 1 && mode != 2 && mode != 8) Raise(5);
    if (format != 0 && format != -1 && format != -2) Raise(5);
    if (IsFolder(path)) Fail(kPermissionDenied, path);
    const bool existed = Exists(path);
    if (!existed && !create) FailMissing(path);
    const os::OpenMode how = mode == 1 ? os::OpenMode::Read : mode == 2 ? os::OpenMode::Write : os::OpenMode::Append;
    int err = 0;
    int fd = os::OpenFile(path, how, create, err);
    if (fd < 0) {
        if (err == ENOENT) FailMissing(path);
        Fail(os::ErrorNumberOfErrno(err), path);
    }
    const StreamText text = format == -1 ? StreamText::Utf16LE : StreamText::Bytes;
    std::error_code ec;
    const bool empty = how == os::OpenMode::Write || !existed || fs::file_size(path, ec) == 0;
    return MakeRef<TextStream>(FileChannel(fd), mode == 1, text, mode != 1 && empty);
}

Ref<TextStream> CreateText(const fs::path& path, bool overwrite, bool unicode) {
    if (IsFolder(path)) Fail(kPermissionDenied, path);
    if (Exists(path) && !overwrite) Fail(kAlreadyExists, path);
    return OpenText(path, 2, true, unicode ? -1 : 0);
}

// Arguments given to a property that takes none go to its result's default member: f.Files("a.txt").
Value Indexed(const Value& result, CallArgs& a) {
    if (a.size() == 0) return result;
    return result.RawObject()->Invoke("", InvokeKind::Get, a);
}

std::string TypeText(const fs::path& p) {
    std::string ext = p.extension().string();
    if (ext.size() > 1) ext.erase(0, 1);
    else return "File";
    if (Lower(ext) == "txt") return "Text Document";
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext + " File";
}

class FolderObject;
Value FolderValue(const fs::path& p);
Value FileValue(const fs::path& p);

// What File and Folder share: names, times, attributes, the parent folder.
class Entry : public Object {
public:
    explicit Entry(const fs::path& p) {
        std::error_code ec;
        path_ = fs::absolute(p, ec).lexically_normal();
        std::string s = path_.string();
        if (s.size() > 1 && s.back() == '/') path_ = fs::path(s.substr(0, s.size() - 1));
    }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (name.empty() || NameEquals(name, "Path") || NameEquals(name, "ShortPath")) {
            a.Require(0, 0);
            return Value::Str(PathText(path_));
        }
        if (NameEquals(name, "Name") || NameEquals(name, "ShortName")) {
            a.Require(0, 0);
            return Value::Str(path_.has_filename() ? path_.filename().string() : std::string());
        }
        if (NameEquals(name, "DateLastModified") || NameEquals(name, "DateCreated") ||
            NameEquals(name, "DateLastAccessed")) {
            a.Require(0, 0);
            os::FileTimes t;
            if (!os::GetFileTimes(path_, t)) Missing();
            return Value::Date(NameEquals(name, "DateLastModified") ? t.modified
                               : NameEquals(name, "DateCreated")    ? t.created
                                                                    : t.accessed);
        }
        if (NameEquals(name, "Attributes")) {
            a.Require(0, 0);
            if (!Exists(path_)) Missing();
            int32_t attr = IsFolder(path_) ? 16 : 32;
            if (os::IsReadOnly(path_)) attr |= 1;
            if (path_.filename().string().rfind('.', 0) == 0) attr |= 2;
            std::error_code ec;
            if (fs::is_symlink(path_, ec)) attr |= 1024;
            return Value::Long(attr);
        }
        if (NameEquals(name, "ParentFolder")) {
            a.Require(0, 0);
            if (path_ == path_.root_path()) return Value::Nothing();
            return FolderValue(path_.parent_path());
        }
        if (NameEquals(name, "Drive")) {
            a.Require(0, 0);
            return Value::Str("");
        }
        return Member(name, a);
    }

    void Assign(std::string_view name, InvokeKind, CallArgs& a, const Value& v) override {
        a.Require(0, 0);
        if (NameEquals(name, "Name")) {
            std::string to = ToString(v);
            if (to.empty() || to.find_first_of("/\\") != std::string::npos || to == "." || to == "..") Raise(5);
            fs::path target = path_.parent_path() / to;
            // A change of case alone renames the file itself.
            if (Exists(target) && Lower(to) != Lower(path_.filename().string())) Fail(kAlreadyExists, target);
            std::error_code ec;
            fs::rename(path_, target, ec);
            if (ec) Fail(ec, path_, kFileNotFound);
            path_ = target;
            return;
        }
        if (NameEquals(name, "Attributes")) {
            std::error_code ec;
            if (!os::SetReadOnly(path_, (ToLong(v) & 1) != 0, ec)) Fail(ec, path_, kFileNotFound);
            return;
        }
        Raise(438);
    }

protected:
    virtual Value Member(std::string_view name, CallArgs& a) = 0;
    [[noreturn]] virtual void Missing() const = 0;
    fs::path path_;
};

class FileObject final : public Entry {
public:
    using Entry::Entry;
    std::string TypeName() const override { return "File"; }

protected:
    void Missing() const override { Fail(kFileNotFound, path_); }
    Value Member(std::string_view name, CallArgs& a) override {
        if (NameEquals(name, "Size")) {
            a.Require(0, 0);
            std::error_code ec;
            uintmax_t n = fs::file_size(path_, ec);
            if (ec) Fail(ec, path_, kFileNotFound);
            return SizeValue(n);
        }
        if (NameEquals(name, "Type")) return Value::Str(TypeText(path_));
        if (NameEquals(name, "OpenAsTextStream")) {
            a.Require(0, 2);
            if (!IsFile(path_)) Missing();
            return Value::Obj(OpenText(path_, a.Has(0) ? ToLong(a[0]) : 1, false, a.Has(1) ? ToLong(a[1]) : 0));
        }
        if (NameEquals(name, "Copy")) {
            a.Require(1, 2);
            if (!IsFile(path_)) Missing();
            std::string dest = ToString(a[0]);
            CopyOneFile(path_, Target(path_, dest, false), OptBool(a, 1, true));
            return Value();
        }
        if (NameEquals(name, "Move")) {
            a.Require(1, 1);
            if (!IsFile(path_)) Missing();
            fs::path to = Target(path_, ToString(a[0]), false);
            MovePath(path_, to, false);
            path_ = fs::absolute(to).lexically_normal();
            return Value();
        }
        if (NameEquals(name, "Delete")) {
            a.Require(0, 1);
            if (!IsFile(path_)) Missing();
            if (!OptBool(a, 0, false) && os::IsReadOnly(path_)) Fail(kPermissionDenied, path_);
            std::error_code ec;
            fs::remove(path_, ec);
            if (ec) Fail(ec, path_, kFileNotFound);
            return Value();
        }
        Raise(438);
    }
};

// Folder.Files and Folder.SubFolders: listed afresh each time they are read.
class EntryList final : public Object {
public:
    EntryList(fs::path folder, bool folders) : folder_(std::move(folder)), folders_(folders) {}
    std::string TypeName() const override { return folders_ ? "Folders" : "Files"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (NameEquals(name, "Count")) {
            a.Require(0, 0);
            return Value::Long(static_cast<int32_t>(Entries(folder_, folders_).size()));
        }
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            fs::path p = os::Locate(PathText(folder_) + "/" + ToString(a[0]));
            if (folders_ ? !IsFolder(p) : !IsFile(p)) Fail(folders_ ? kPathNotFound : kFileNotFound, p);
            return folders_ ? FolderValue(p) : FileValue(p);
        }
        if (folders_ && NameEquals(name, "Add")) {
            a.Require(1, 1);
            fs::path p = folder_ / ToString(a[0]);
            if (Exists(p)) Fail(kAlreadyExists, p);
            std::error_code ec;
            if (!fs::create_directory(p, ec)) Fail(ec, p, kPathNotFound);
            return FolderValue(p);
        }
        Raise(438);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (const fs::path& p : Entries(folder_, folders_)) out.push_back(folders_ ? FolderValue(p) : FileValue(p));
        return true;
    }

private:
    fs::path folder_;
    bool folders_;
};

class FolderObject final : public Entry {
public:
    using Entry::Entry;
    std::string TypeName() const override { return "Folder"; }

protected:
    void Missing() const override { Fail(kPathNotFound, path_); }
    Value Member(std::string_view name, CallArgs& a) override {
        if (NameEquals(name, "Files") || NameEquals(name, "SubFolders")) {
            if (!IsFolder(path_)) Missing();
            return Indexed(Value::Obj(MakeRef<EntryList>(path_, NameEquals(name, "SubFolders"))), a);
        }
        if (NameEquals(name, "Size")) {
            a.Require(0, 0);
            if (!IsFolder(path_)) Missing();
            return SizeValue(TreeSize(path_));
        }
        if (NameEquals(name, "IsRootFolder")) {
            a.Require(0, 0);
            return Value::Bool(path_ == path_.root_path());
        }
        if (NameEquals(name, "Type")) return Value::Str("File folder");
        if (NameEquals(name, "CreateTextFile")) {
            a.Require(1, 3);
            fs::path p = os::Locate(PathText(path_) + "/" + ToString(a[0]));
            return Value::Obj(CreateText(p, OptBool(a, 1, true), OptBool(a, 2, false)));
        }
        if (NameEquals(name, "Copy")) {
            a.Require(1, 2);
            if (!IsFolder(path_)) Missing();
            CopyTree(path_, Target(path_, ToString(a[0]), false), OptBool(a, 1, true));
            return Value();
        }
        if (NameEquals(name, "Move")) {
            a.Require(1, 1);
            if (!IsFolder(path_)) Missing();
            fs::path to = Target(path_, ToString(a[0]), false);
            MovePath(path_, to, true);
            path_ = fs::absolute(to).lexically_normal();
            return Value();
        }
        if (NameEquals(name, "Delete")) {
            a.Require(0, 1);
            if (!IsFolder(path_)) Missing();
            std::error_code ec;
            fs::remove_all(path_, ec);
            if (ec) Fail(ec, path_, kPathNotFound);
            return Value();
        }
        Raise(438);
    }
};

Value FolderValue(const fs::path& p) { return Value::Obj(MakeRef<FolderObject>(p)); }
Value FileValue(const fs::path& p) { return Value::Obj(MakeRef<FileObject>(p)); }

// ---- path text, as the methods that never touch the disk see it ----

std::string StripTrailingSeps(std::string s) {
    while (s.size() > 1 && IsSep(s.back())) s.pop_back();
    return s;
}

std::string FileNamePart(const std::string& path) {
    std::string s = StripTrailingSeps(path);
    if (s.size() == 1 && IsSep(s[0])) return "";
    size_t cut = s.find_last_of("/\\");
    std::string name = cut == std::string::npos ? s : s.substr(cut + 1);
    if (name.size() == 2 && name[1] == ':') return "";  // a drive alone
    return name;
}

std::string ParentPart(const std::string& path) {
    std::string s = StripTrailingSeps(path);
    size_t cut = s.find_last_of("/\\");
    if (cut == std::string::npos) return "";
    std::string parent = s.substr(0, cut);
    while (!parent.empty() && IsSep(parent.back())) parent.pop_back();
    if (parent.empty() || (parent.size() == 2 && parent[1] == ':')) return parent + s[cut];  // "/" or "C:\"
    return parent;
}

std::string BuildPath(const std::string& path, const std::string& name) {
    if (path.empty()) return name;
    if (IsSep(path.back()) || (!name.empty() && IsSep(name.front())) || (path.size() == 2 && path[1] == ':'))
        return path + name;
    // Keeps the style of the path it extends.
    char sep = path.find('\\') != std::string::npos && path.find('/') == std::string::npos ? '\\' : '/';
    return path + sep + name;
}

class FileSystem final : public Object {
public:
    std::string TypeName() const override { return "FileSystemObject"; }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (NameEquals(name, "FileExists")) {
            a.Require(1, 1);
            return Value::Bool(IsFile(os::Locate(ToString(a[0]))));
        }
        if (NameEquals(name, "FolderExists")) {
            a.Require(1, 1);
            return Value::Bool(IsFolder(os::Locate(ToString(a[0]))));
        }
        if (NameEquals(name, "OpenTextFile")) {
            a.Require(1, 4);
            return Value::Obj(OpenText(os::Locate(ToString(a[0])), a.Has(1) ? ToLong(a[1]) : 1, OptBool(a, 2, false),
                                       a.Has(3) ? ToLong(a[3]) : 0));
        }
        if (NameEquals(name, "CreateTextFile")) {
            a.Require(1, 3);
            return Value::Obj(CreateText(os::Locate(ToString(a[0])), OptBool(a, 1, true), OptBool(a, 2, false)));
        }
        if (NameEquals(name, "GetFile")) {
            a.Require(1, 1);
            fs::path p = os::Locate(ToString(a[0]));
            if (!IsFile(p)) FailMissing(p);
            return FileValue(p);
        }
        if (NameEquals(name, "GetFolder")) {
            a.Require(1, 1);
            fs::path p = os::Locate(ToString(a[0]));
            if (!IsFolder(p)) Fail(kPathNotFound, p);
            return FolderValue(p);
        }
        if (NameEquals(name, "CreateFolder")) {
            a.Require(1, 1);
            fs::path p = os::Locate(ToString(a[0]));
            if (Exists(p)) Fail(kAlreadyExists, p);
            std::error_code ec;
            if (!fs::create_directory(p, ec)) Fail(ec, p, kPathNotFound);
            return FolderValue(p);
        }
        if (NameEquals(name, "DeleteFile")) {
            a.Require(1, 2);
            const bool force = OptBool(a, 1, false);
            for (const fs::path& p : Sources(ToString(a[0]), false, kFileNotFound)) {
                if (!force && os::IsReadOnly(p)) Fail(kPermissionDenied, p);
                std::error_code ec;
                fs::remove(p, ec);
                if (ec) Fail(ec, p, kFileNotFound);
            }
            return Value();
        }
        if (NameEquals(name, "DeleteFolder")) {
            a.Require(1, 2);
            for (const fs::path& p : Sources(ToString(a[0]), true, kPathNotFound)) {
                std::error_code ec;
                fs::remove_all(p, ec);
                if (ec) Fail(ec, p, kPathNotFound);
            }
            return Value();
        }
        if (NameEquals(name, "CopyFile") || NameEquals(name, "MoveFile")) {
            const bool copy = NameEquals(name, "CopyFile");
            a.Require(2, copy ? 3 : 2);
            std::vector<fs::path> sources = Sources(ToString(a[0]), false, kFileNotFound);
            const bool many = HasWildcard(os::Locate(ToString(a[0])).filename().string());
            for (const fs::path& p : sources) {
                fs::path to = Target(p, ToString(a[1]), many);
                if (copy) CopyOneFile(p, to, OptBool(a, 2, true));
                else MovePath(p, to, false);
            }
            return Value();
        }
        if (NameEquals(name, "CopyFolder") || NameEquals(name, "MoveFolder")) {
            const bool copy = NameEquals(name, "CopyFolder");
            a.Require(2, copy ? 3 : 2);
            std::vector<fs::path> sources = Sources(ToString(a[0]), true, kPathNotFound);
            const bool many = HasWildcard(os::Locate(ToString(a[0])).filename().string());
            for (const fs::path& p : sources) {
                fs::path to = Target(p, ToString(a[1]), many);
                if (copy) CopyTree(p, to, OptBool(a, 2, true));
                else MovePath(p, to, true);
            }
            return Value();
        }
        if (NameEquals(name, "BuildPath")) {
            a.Require(2, 2);
            return Value::Str(BuildPath(ToString(a[0]), ToString(a[1])));
        }
        if (NameEquals(name, "GetFileName")) {
            a.Require(1, 1);
            return Value::Str(FileNamePart(ToString(a[0])));
        }
        if (NameEquals(name, "GetBaseName") || NameEquals(name, "GetExtensionName")) {
            a.Require(1, 1);
            std::string file = FileNamePart(ToString(a[0]));
            size_t dot = file.rfind('.');
            if (NameEquals(name, "GetBaseName")) return Value::Str(dot == std::string::npos ? file : file.substr(0, dot));
            return Value::Str(dot == std::string::npos ? std::string() : file.substr(dot + 1));
        }
        if (NameEquals(name, "GetParentFolderName")) {
            a.Require(1, 1);
            return Value::Str(ParentPart(ToString(a[0])));
        }
        if (NameEquals(name, "GetAbsolutePathName")) {
            a.Require(1, 1);
            std::error_code ec;
            return Value::Str(PathText(fs::absolute(os::SlashPath(ToString(a[0])), ec)));
        }
        if (NameEquals(name, "GetDriveName")) {
            a.Require(1, 1);
            std::string s = ToString(a[0]);
            return Value::Str(s.size() >= 2 && s[1] == ':' ? s.substr(0, 2) : std::string());
        }
        if (NameEquals(name, "GetTempName")) {
            a.Require(0, 0);
            return Value::Str(os::TempName());
        }
        if (NameEquals(name, "GetSpecialFolder")) {
            a.Require(1, 1);
            // Only the temporary folder (2) has a meaning here.
            if (ToLong(a[0]) != 2) Raise(5);
            return FolderValue(os::TempFolder());
        }
        if (NameEquals(name, "GetStandardStream")) {
            a.Require(1, 2);
            int32_t which = ToLong(a[0]);
            if (which < 0 || which > 2) Raise(5);
            return Value::Obj(MakeRef<TextStream>(FileChannel(which, false), which == 0,
                                                  OptBool(a, 1, false) ? StreamText::Utf16LE : StreamText::Bytes,
                                                  false));
        }
        Raise(438);
    }
};

}  // namespace

void RegisterSystemObjects(Runtime& rt) {
    rt.AddClass("Scripting.FileSystemObject", [](Runtime&) { return ObjectRef(MakeRef<FileSystem>()); });
    RegisterShell(rt);
}

}  // namespace tarvelo::vbs
