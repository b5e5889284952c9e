// The engine's system calls (POSIX), for the file-system and shell objects.
#include "scripting/vbscript/OsCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <random>

#include "common/date/Calendar.h"

extern char** environ;

namespace tarvelo::vbs::os {

namespace fs = std::filesystem;

int ErrorNumberOfErrno(int err, int notFound) {
    switch (err) {
    case ENOENT: return notFound;
    case ENOTDIR: return 76;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: case EBUSY: return 70;
    case EEXIST: case ENOTEMPTY: return 58;
    case ENOSPC: case EDQUOT: return 61;
    case EMFILE: case ENFILE: return 67;
    case ENAMETOOLONG: case EINVAL: case ELOOP: return 52;
    case EXDEV: return 74;
    default: return 57;  // device I/O error
    }
}

int ErrorNumber(const std::error_code& ec, int notFound) {
    if (ec.category() == std::generic_category() || ec.category() == std::system_category())
        return ErrorNumberOfErrno(ec.value(), notFound);
    return 57;
}

std::string SlashPath(std::string_view path) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

double LocalDate(const timespec& t) {
    std::tm tm{};
    time_t secs = t.tv_sec;
    localtime_r(&secs, &tm);
    const double days = static_cast<double>(vbdate::SerialDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    // Whole seconds, as the file times scripts compare with Now.
    return days + (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
}

std::vector<int>& Unreaped() {
    static std::vector<int> pids;
    return pids;
}

void ReapEnded() {
    auto& pids = Unreaped();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](int pid) {
                                  int status = 0;
                                  pid_t r = waitpid(pid, &status, WNOHANG);
                                  return r == pid || (r < 0 && errno == ECHILD);
                              }),
               pids.end());
}

}  // namespace

fs::path Locate(std::string_view text) {
    std::string spelled = SlashPath(text);
    std::error_code ec;
    fs::path given(spelled);
    fs::path path = given.is_absolute() ? fs::path("/") : fs::current_path(ec);
    bool searching = true;
    for (const fs::path& part : given.relative_path()) {
        fs::path next = path / part;
        const std::string name = part.string();
        if (searching && name != "." && name != ".." && !name.empty() && !fs::exists(fs::symlink_status(next, ec))) {
            const std::string wanted = Lower(name);
            std::vector<fs::path> matches;
            for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                if (Lower(it->path().filename().string()) == wanted) matches.push_back(it->path());
            if (matches.empty()) searching = false;
            else next = *std::min_element(matches.begin(), matches.end());
        }
        path = std::move(next);
    }
    // Keeps a trailing separator ("dir/"): callers read it as "into the folder".
    if (!spelled.empty() && spelled.back() == '/' && path.has_filename()) path += "/";
    return path;
}

int OpenFile(const fs::path& path, OpenMode mode, bool create, int& err) {
    int flags = O_CLOEXEC;
    if (mode == OpenMode::Read) flags |= O_RDONLY;
    else if (mode == OpenMode::Write) flags |= O_WRONLY | O_TRUNC;
    else flags |= O_WRONLY | O_APPEND;
    if (create) flags |= O_CREAT;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {  // opened for reading: a folder is no file
        ::close(fd);
        err = EISDIR;
        return -1;
    }
    return fd;
}

long ReadFile(int fd, char* buffer, size_t size, int& err) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        err = errno;
        return -1;
    }
}

namespace {

// Holds SIGPIPE back for this thread while it lives, and drops one raised meanwhile.
class NoSigPipe {
public:
    NoSigPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~NoSigPipe() {
        if (!wasPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{0, 0};
                while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

private:
    sigset_t pipe_, old_;
    bool wasPending_ = false;
};

}  // namespace

bool WriteFile(int fd, const char* data, size_t size, int& err) {
    struct stat st{};
    std::optional<NoSigPipe> guard;
    if (fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) guard.emplace();
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {  // a full pipe: wait until the reader takes some
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            err = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void CloseFile(int fd) {
    if (fd >= 0) ::close(fd);
}

size_t RemainingBytes(int fd) {
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at >= 0 && st.st_size > at ? static_cast<size_t>(st.st_size - at) : 0;
}

bool GetFileTimes(const fs::path& path, FileTimes& out) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    out.modified = LocalDate(st.st_mtim);
    out.accessed = LocalDate(st.st_atim);
    // No creation time in stat: the earlier of the change and modification times.
    out.created = std::min(LocalDate(st.st_ctim), out.modified);
    return true;
}

bool IsReadOnly(const fs::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

bool SetReadOnly(const fs::path& path, bool readOnly, std::error_code& ec) {
    fs::permissions(path, fs::perms::owner_write, readOnly ? fs::perm_options::remove : fs::perm_options::add, ec);
    return !ec;
}

fs::path TempFolder() {
    std::error_code ec;
    fs::path p = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : p;
}

std::string TempName() {
    static std::mt19937 gen(std::random_device{}());
    static const char kDigits[] = "0123456789ABCDEF";
    std::string name = "rad";
    for (int i = 0; i < 5; ++i) name += kDigits[gen() % 16];
    return name + ".tmp";
}

std::optional<std::string> GetEnv(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

void SetEnv(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }
void UnsetEnv(const std::string& name) { ::unsetenv(name.c_str()); }

std::vector<std::pair<std::string, std::string>> Environment() {
    std::vector<std::pair<std::string, std::string>> out;
    for (char** e = environ; e && *e; ++e) {
        std::string_view entry(*e);
        size_t eq = entry.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        out.emplace_back(std::string(entry.substr(0, eq)), std::string(entry.substr(eq + 1)));
    }
    return out;
}

std::string CurrentFolder() {
    std::error_code ec;
    fs::path p = fs::current_path(ec);
    return ec ? std::string() : p.string();
}

int ChangeFolder(const std::string& path) {
    if (::chdir(path.c_str()) == 0) return 0;
    return ErrorNumberOfErrno(errno, 76);
}

bool StartShellCommand(const std::string& command, bool pipes, Child& child, int& err) {
    ReapEnded();
    int in[2] = {-1, -1}, out[2] = {-1, -1}, er[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {in[0], in[1], out[0], out[1], er[0], er[1]}) CloseFile(fd);
    };
    if (pipes && (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(er, O_CLOEXEC))) {
        err = errno;
        closeAll();
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipes) {
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, er[1], 2);
    }
    // The command starts with default signal handling and nothing blocked,
    // whatever the host program set for itself (SIGPIPE ignored, ...).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::string arg0 = "sh", arg1 = "-c", arg2 = command;
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        err = rc;
        closeAll();
        return false;
    }
    child = Child{};
    child.pid = pid;
    if (pipes) {
        CloseFile(in[0]);
        CloseFile(out[1]);
        CloseFile(er[1]);
        child.in = in[1];
        child.out = out[0];
        child.err = er[0];
        for (int fd : {child.in, child.out, child.err}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

std::optional<int> ExitCodeIfEnded(int pid) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return std::nullopt;
    if (r < 0) return -1;  // not ours, or already reaped
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void Terminate(int pid) {
    if (pid > 0) ::kill(pid, SIGTERM);
}

void ReapWhenEnded(int pid) {
    if (pid <= 0) return;
    Unreaped().push_back(pid);
    ReapEnded();
}

bool WaitReadable(const int* fds, size_t count, int timeoutMs) {
    pollfd p[3];
    size_t n = 0;
    for (size_t i = 0; i < count && n < 3; ++i)
        if (fds[i] >= 0) p[n++] = pollfd{fds[i], POLLIN, 0};
    if (n == 0) return false;
    return ::poll(p, n, timeoutMs) > 0;
}

}  // namespace tarvelo::vbs::os
