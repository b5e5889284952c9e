// What the file-system and shell objects need of the operating system, in
// small functions: every system call of the engine is in OsCalls.cpp, so a
// port to another system changes one file. Failures are reported as the
// language's error numbers (53 file not found, 70 permission denied, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace tarvelo::vbs::os {

// The language's error number for a failed file operation. notFound is the
// number for a missing file or folder (53 for a file, 76 for a folder or a
// missing parent folder).
int ErrorNumber(const std::error_code& ec, int notFound = 53);
int ErrorNumberOfErrno(int err, int notFound = 53);

// A path as scripts write it, as this system spells it: "\" becomes "/".
std::string SlashPath(std::string_view path);

// The file or folder a script's path names: "\" read as "/", relative to the
// current folder, and each part of it as spelled when that exists, else the
// first entry (in name order) that differs only in case, else as spelled.
// Scripts written for case-blind file systems name "Log.txt" as "log.TXT".
std::filesystem::path Locate(std::string_view path);

// ---- files ----
enum class OpenMode { Read, Write, Append };
// A file descriptor (closed on exec, so started commands do not inherit it), or
// -1 with the error number in err. create: make the file when missing.
int OpenFile(const std::filesystem::path& path, OpenMode mode, bool create, int& err);
// Bytes read, 0 at the end, -1 with err set.
long ReadFile(int fd, char* buffer, size_t size, int& err);
// Writes all bytes; false with err set. To a pipe whose reader has gone the
// write fails with EPIPE instead of ending the program with SIGPIPE.
bool WriteFile(int fd, const char* data, size_t size, int& err);
void CloseFile(int fd);
// Bytes between the read position and the end of a regular file; 0 for others.
size_t RemainingBytes(int fd);

struct FileTimes {
    double created = 0, modified = 0, accessed = 0;  // local date-times, days since 1899-12-30
};
bool GetFileTimes(const std::filesystem::path& path, FileTimes& out);
// The owner may not write to it: the language's read-only attribute.
bool IsReadOnly(const std::filesystem::path& path);
bool SetReadOnly(const std::filesystem::path& path, bool readOnly, std::error_code& ec);
std::filesystem::path TempFolder();
// A random name such as "rad3F2A9.tmp".
std::string TempName();

// ---- environment and current folder ----
std::optional<std::string> GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);
std::vector<std::pair<std::string, std::string>> Environment();
std::string CurrentFolder();
// 0, or the error number.
int ChangeFolder(const std::string& path);

// ---- processes ----
// A command run through /bin/sh -c in the current folder. With pipes, its
// standard input, output and error are pipes held here; without, it shares
// the program's.
struct Child {
    int pid = -1;
    int in = -1, out = -1, err = -1;  // our ends of the pipes (non-blocking), -1 when none
};
// False with err set when no process could be started.
bool StartShellCommand(const std::string& command, bool pipes, Child& child, int& err);
// The exit code once the process has ended (128 + signal number when a signal
// ended it), nullopt while it runs. Reaps it: ask once it has ended.
std::optional<int> ExitCodeIfEnded(int pid);
// Asks the process to end (SIGTERM).
void Terminate(int pid);
// A process nobody will ask about again: reaped when it ends, so none is left
// behind as a zombie in a long-running program.
void ReapWhenEnded(int pid);
// Waits up to timeoutMs for one of fds to be readable (or closed by the other
// end); true when one is.
bool WaitReadable(const int* fds, size_t count, int timeoutMs);

}  // namespace tarvelo::vbs::os
