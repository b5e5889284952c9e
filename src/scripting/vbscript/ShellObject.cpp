// WScript.Shell: Run and Exec of a command through /bin/sh -c, the
// environment, ExpandEnvironmentStrings, CurrentDirectory and Popup.
//
// The command text goes to the shell exactly as the script wrote it; nothing
// is expanded or quoted on the way. Every wait (Run with waitOnReturn, reading
// an Exec's output) goes through Runtime::Sleep in short slices, so a host's
// event loop keeps running and the script's time-out still stops it.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scripting/vbscript/OsCalls.h"
#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/TextStream.h"

namespace tarvelo::vbs {

void RegisterShell(Runtime& rt);

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// One pause of a wait: the host's loop runs (or the thread waits for fds to
// become readable), and the time-out is checked.
void WaitSlice(Runtime& rt, const int* fds, size_t count, long ms) {
    if (rt.Host().time.sleep || count == 0) {
        rt.Sleep(ms);
        return;
    }
    os::WaitReadable(fds, count, static_cast<int>(ms));
    rt.Sleep(0);
}

// A started command with its pipes. Its output and error are both drained
// whenever either is read or its status asked, so a command that fills one
// pipe while the script reads the other does not hang.
class Process {
public:
    Process(Runtime& rt, os::Child child) : rt_(rt), child_(child) {}
    ~Process() {
        for (int fd : {child_.in, child_.out, child_.err}) os::CloseFile(fd);
        if (!exit_) os::ReapWhenEnded(child_.pid);
    }
    int Pid() const { return child_.pid; }
    std::optional<int> Exit() {
        Drain();
        if (!exit_) exit_ = os::ExitCodeIfEnded(child_.pid);
        return exit_;
    }
    void Terminate() {
        if (!Exit()) os::Terminate(child_.pid);
    }
    // Bytes of output (err false) or error; 0 once that pipe has ended.
    size_t Read(bool err, char* buffer, size_t size) {
        for (long slice = 1;; slice = std::min(slice * 2, 20L)) {
            Drain();
            Pipe& p = err ? err_ : out_;
            if (p.taken < p.data.size()) {
                size_t n = std::min(size, p.data.size() - p.taken);
                std::copy_n(p.data.data() + p.taken, n, buffer);
                p.taken += n;
                if (p.taken == p.data.size()) {
                    p.data.clear();
                    p.taken = 0;
                }
                return n;
            }
            int fd = err ? child_.err : child_.out;
            if (fd < 0) return 0;
            int fds[2] = {child_.out, child_.err};
            WaitSlice(rt_, fds, 2, slice);
        }
    }
    void CloseReading(bool err) {
        int& fd = err ? child_.err : child_.out;
        os::CloseFile(fd);
        fd = -1;
    }
    void Write(const char* data, size_t size) {
        if (child_.in < 0) Raise(54);
        int e = 0;
        if (!os::WriteFile(child_.in, data, size, e)) Raise(e == EPIPE ? 70 : os::ErrorNumberOfErrno(e));
    }
    void CloseInput() {
        os::CloseFile(child_.in);
        child_.in = -1;
    }

private:
    struct Pipe {
        std::string data;
        size_t taken = 0;
    };
    void Drain() {
        for (bool err : {false, true}) {
            int& fd = err ? child_.err : child_.out;
            Pipe& p = err ? err_ : out_;
            char piece[65536];
            while (fd >= 0) {
                int e = 0;
                long n = os::ReadFile(fd, piece, sizeof piece, e);
                if (n > 0) {
                    p.data.append(piece, static_cast<size_t>(n));
                    continue;
                }
                if (n < 0 && e == EAGAIN) break;
                os::CloseFile(fd);  // the end, or a failed pipe: nothing more comes
                fd = -1;
            }
        }
    }
    Runtime& rt_;
    os::Child child_;
    Pipe out_, err_;
    std::optional<int> exit_;
};

class PipeChannel final : public ByteChannel {
public:
    enum Which { In, Out, Err };
    PipeChannel(std::shared_ptr<Process> p, Which which) : p_(std::move(p)), which_(which) {}
    size_t Read(char* buffer, size_t size) override { return p_->Read(which_ == Err, buffer, size); }
    void Write(const char* data, size_t size) override { p_->Write(data, size); }
    void Close() override {
        if (which_ == In) p_->CloseInput();
        else p_->CloseReading(which_ == Err);
    }

private:
    std::shared_ptr<Process> p_;
    Which which_;
};

class ExecObject final : public Object {
public:
    explicit ExecObject(std::shared_ptr<Process> p)
        : p_(p), in_(MakeRef<TextStream>(std::make_unique<PipeChannel>(p, PipeChannel::In), false, StreamText::Bytes, false)),
          out_(MakeRef<TextStream>(std::make_unique<PipeChannel>(p, PipeChannel::Out), true, StreamText::Bytes, false)),
          err_(MakeRef<TextStream>(std::make_unique<PipeChannel>(p, PipeChannel::Err), true, StreamText::Bytes, false)) {}
    std::string TypeName() const override { return "WshExec"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        a.Require(0, 0);
        if (NameEquals(name, "Status")) return Value::Long(p_->Exit() ? 1 : 0);  // WshRunning 0, WshFinished 1
        if (NameEquals(name, "ExitCode")) return Value::Long(p_->Exit().value_or(0));
        if (NameEquals(name, "ProcessID")) return Value::Long(p_->Pid());
        if (NameEquals(name, "StdOut")) return Value::Obj(out_);
        if (NameEquals(name, "StdErr")) return Value::Obj(err_);
        if (NameEquals(name, "StdIn")) return Value::Obj(in_);
        if (NameEquals(name, "Terminate")) {
            p_->Terminate();
            return Value();
        }
        Raise(438);
    }

private:
    std::shared_ptr<Process> p_;
    Ref<TextStream> in_, out_, err_;
};

// The environment's name for a script's name: as spelled when set, else one
// that differs only in case (names are case-blind where scripts come from).
std::optional<std::string> EnvName(const std::string& name) {
    if (os::GetEnv(name)) return name;
    const std::string wanted = Lower(name);
    for (const auto& kv : os::Environment())
        if (Lower(kv.first) == wanted) return kv.first;
    return std::nullopt;
}

// Environment("PROCESS"), "SYSTEM", "USER", "VOLATILE": all are this process's
// environment here; what is set is seen by the commands started afterwards.
class EnvironmentObject final : public Object {
public:
    std::string TypeName() const override { return "WshEnvironment"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (name.empty() || NameEquals(name, "Item")) {
            a.Require(1, 1);
            std::optional<std::string> n = EnvName(ToString(a[0]));
            return Value::Str(n ? os::GetEnv(*n).value_or("") : std::string());
        }
        if (NameEquals(name, "Count") || NameEquals(name, "Length")) {
            a.Require(0, 0);
            return Value::Long(static_cast<int32_t>(os::Environment().size()));
        }
        if (NameEquals(name, "Remove")) {
            a.Require(1, 1);
            if (std::optional<std::string> n = EnvName(ToString(a[0]))) os::UnsetEnv(*n);
            return Value();
        }
        Raise(438);
    }
    void Assign(std::string_view name, InvokeKind, CallArgs& a, const Value& v) override {
        if (!name.empty() && !NameEquals(name, "Item")) Raise(438);
        a.Require(1, 1);
        std::string given = ToString(a[0]);
        if (given.empty() || given.find('=') != std::string::npos || given.find('\0') != std::string::npos) Raise(5);
        std::string value = ToString(v);
        if (value.find('\0') != std::string::npos) Raise(5);
        os::SetEnv(EnvName(given).value_or(given), value);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (const auto& kv : os::Environment()) out.push_back(Value::Str(kv.first + "=" + kv.second));
        return true;
    }
};

std::string ExpandEnvironment(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find('%', i);
        size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        out.append(text, i, open - i);
        std::string name = text.substr(open + 1, close - open - 1);
        std::optional<std::string> n = name.empty() ? std::nullopt : EnvName(name);
        if (n) {
            out += os::GetEnv(*n).value_or("");
            i = close + 1;
        } else {  // unknown names stay as written; the closing % may open the next one
            out.append(text, open, close - open);
            i = close;
        }
    }
    return out;
}

class ShellObject final : public Object {
public:
    explicit ShellObject(Runtime& rt) : rt_(rt) {}
    std::string TypeName() const override { return "IWshShell3"; }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& a) override {
        if (NameEquals(name, "Run")) {
            a.Require(1, 3);
            return Value::Long(Run(ToString(a[0]), a.Has(2) && ToBool(a[2])));
        }
        if (NameEquals(name, "Exec")) {
            a.Require(1, 1);
            os::Child child;
            int err = 0;
            if (!os::StartShellCommand(ToString(a[0]), true, child, err)) Raise(os::ErrorNumberOfErrno(err));
            return Value::Obj(MakeRef<ExecObject>(std::make_shared<Process>(rt_, child)));
        }
        if (NameEquals(name, "Environment")) {
            a.Require(0, 1);
            std::string kind = a.Has(0) ? Lower(ToString(a[0])) : "system";
            if (kind != "system" && kind != "user" && kind != "process" && kind != "volatile") Raise(5);
            return Value::Obj(MakeRef<EnvironmentObject>());
        }
        if (NameEquals(name, "ExpandEnvironmentStrings")) {
            a.Require(1, 1);
            return Value::Str(ExpandEnvironment(ToString(a[0])));
        }
        if (NameEquals(name, "CurrentDirectory")) {
            a.Require(0, 0);
            return Value::Str(os::CurrentFolder());
        }
        if (NameEquals(name, "Popup")) {
            a.Require(1, 4);
            std::string title = a.Has(2) ? ToString(a[2]) : std::string("Windows Script Host");
            return Value::Long(rt_.MsgBox(ToString(a[0]), a.Has(3) ? ToLong(a[3]) : 0, title));
        }
        Raise(438);
    }

    void Assign(std::string_view name, InvokeKind, CallArgs& a, const Value& v) override {
        if (!NameEquals(name, "CurrentDirectory")) Raise(438);
        a.Require(0, 0);
        std::string path = os::Locate(ToString(v)).string();
        if (int e = os::ChangeFolder(path)) RaiseNamed(e, path);
    }

private:
    int32_t Run(const std::string& command, bool wait) {
        os::Child child;
        int err = 0;
        if (!os::StartShellCommand(command, false, child, err)) Raise(os::ErrorNumberOfErrno(err));
        if (!wait) {
            os::ReapWhenEnded(child.pid);
            return 0;
        }
        try {
            for (long slice = 1;; slice = std::min(slice * 2, 20L)) {
                if (std::optional<int> code = os::ExitCodeIfEnded(child.pid)) return *code;
                rt_.Sleep(slice);
            }
        } catch (...) {  // the time-out: the command goes on, and is reaped when it ends
            os::ReapWhenEnded(child.pid);
            throw;
        }
    }

    Runtime& rt_;
};

}  // namespace

void RegisterShell(Runtime& rt) {
    rt.AddClass("WScript.Shell", [](Runtime& r) { return ObjectRef(MakeRef<ShellObject>(r)); });
}

}  // namespace tarvelo::vbs
