#include "WScript.h"

#include <filesystem>
#include <utility>

#include "scripting/vbscript/Engine.h"

namespace tarvelo::vbs {
namespace {

void WriteOut(std::FILE* f, const std::string& s) { std::fwrite(s.data(), 1, s.size(), f); }

// Arguments and Arguments.Unnamed: Item(i), Count, Length and For Each.
class ArgList : public Object {
public:
    explicit ArgList(std::vector<std::string> a) : args_(std::move(a)) {}
    std::string TypeName() const override { return "Arguments"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "count") || NameEquals(name, "length")) {
            args.Require(0, 0);
            return Value::Long(static_cast<int32_t>(args_.size()));
        }
        if (name.empty() || NameEquals(name, "item")) {
            if (name.empty() && args.size() == 0) Raise(450);
            args.Require(1, 1);
            int32_t i = ToLong(args[0]);
            if (i < 0 || static_cast<size_t>(i) >= args_.size()) Raise(9);
            return Value::Str(args_[static_cast<size_t>(i)]);
        }
        return More(name, args);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (auto& a : args_) out.push_back(Value::Str(a));
        return true;
    }

protected:
    virtual Value More(std::string_view, CallArgs&) { Raise(438); }

private:
    std::vector<std::string> args_;
};

// Arguments.Named: "/name:value" and "/flag" by name, compared without regard to case.
class NamedArgs : public Object {
public:
    std::string TypeName() const override { return "Named"; }
    void Add(std::string name, Value v) { items_.emplace_back(std::move(name), std::move(v)); }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "count") || NameEquals(name, "length")) {
            args.Require(0, 0);
            return Value::Long(static_cast<int32_t>(items_.size()));
        }
        if (NameEquals(name, "exists")) {
            args.Require(1, 1);
            return Value::Bool(Find(ToString(args[0])) != nullptr);
        }
        if (name.empty() || NameEquals(name, "item")) {
            args.Require(1, 1);
            const Value* v = Find(ToString(args[0]));
            return v ? *v : Value();
        }
        Raise(438);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (auto& item : items_) out.push_back(Value::Str(item.first));
        return true;
    }

private:
    const Value* Find(const std::string& name) const {
        for (auto& item : items_)
            if (NameEquals(item.first, name)) return &item.second;
        return nullptr;
    }
    std::vector<std::pair<std::string, Value>> items_;
};

class Arguments : public ArgList {
public:
    explicit Arguments(const std::vector<std::string>& all)
        : ArgList(all), named_(MakeRef<NamedArgs>()) {
        std::vector<std::string> unnamed;
        for (const std::string& a : all) {
            if (a.size() < 2 || a[0] != '/') {
                unnamed.push_back(a);
                continue;
            }
            size_t colon = a.find(':');
            if (colon == std::string::npos) named_->Add(a.substr(1), Value());
            else named_->Add(a.substr(1, colon - 1), Value::Str(a.substr(colon + 1)));
        }
        unnamed_ = MakeRef<ArgList>(std::move(unnamed));
    }

protected:
    Value More(std::string_view name, CallArgs& args) override {
        args.Require(0, 0);
        if (NameEquals(name, "named")) return Value::Obj(named_);
        if (NameEquals(name, "unnamed")) return Value::Obj(unnamed_);
        Raise(438);
    }

private:
    Ref<NamedArgs> named_;
    Ref<ArgList> unnamed_;
};

// StdIn, StdOut and StdErr: writing to StdIn or reading from the others is error 54.
class TextStream : public Object {
public:
    TextStream(std::FILE* f, bool input) : f_(f), input_(input) {}
    std::string TypeName() const override { return "TextStream"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "close")) return Value();
        if (input_) return Read(name, args);
        if (NameEquals(name, "write")) {
            args.Require(1, 1);
            WriteOut(f_, ToString(args[0]));
        } else if (NameEquals(name, "writeline")) {
            args.Require(0, 1);
            if (args.size()) WriteOut(f_, ToString(args[0]));
            WriteOut(f_, "\n");
        } else if (NameEquals(name, "writeblanklines")) {
            args.Require(1, 1);
            for (int32_t i = ToLong(args[0]); i > 0; --i) WriteOut(f_, "\n");
        } else if (IsReading(name)) {
            Raise(54);
        } else {
            Raise(438);
        }
        return Value();
    }

private:
    static bool IsReading(std::string_view n) {
        for (const char* r : {"readline", "readall", "read", "skipline", "skip", "atendofstream", "atendofline"})
            if (NameEquals(n, r)) return true;
        return false;
    }
    int Peek() {
        int c = std::fgetc(f_);
        if (c != EOF) std::ungetc(c, f_);
        return c;
    }
    // A line without its end (LF or CR LF).
    std::string Line() {
        std::string s;
        for (int c; (c = std::fgetc(f_)) != EOF && c != '\n';) s += static_cast<char>(c);
        if (!s.empty() && s.back() == '\r') s.pop_back();
        return s;
    }
    Value Read(std::string_view name, CallArgs& args) {
        if (NameEquals(name, "atendofstream")) return Value::Bool(Peek() == EOF);
        if (NameEquals(name, "atendofline")) {
            int c = Peek();
            return Value::Bool(c == EOF || c == '\n' || c == '\r');
        }
        if (NameEquals(name, "readline") || NameEquals(name, "skipline")) {
            args.Require(0, 0);
            if (Peek() == EOF) Raise(62);  // input past end of file
            std::string s = Line();
            return NameEquals(name, "readline") ? Value::Str(std::move(s)) : Value();
        }
        if (NameEquals(name, "readall")) {
            args.Require(0, 0);
            std::string s;
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f_)) > 0;) s.append(buf, n);
            return Value::Str(std::move(s));
        }
        if (NameEquals(name, "read") || NameEquals(name, "skip")) {
            args.Require(1, 1);
            int32_t count = ToLong(args[0]);
            if (count < 0) Raise(5);
            std::string s;
            for (int c; static_cast<int32_t>(s.size()) < count && (c = std::fgetc(f_)) != EOF;)
                s += static_cast<char>(c);
            return NameEquals(name, "read") ? Value::Str(std::move(s)) : Value();
        }
        if (NameEquals(name, "write") || NameEquals(name, "writeline") || NameEquals(name, "writeblanklines"))
            Raise(54);
        Raise(438);
    }

    std::FILE* f_;
    bool input_;
};

class WScript : public Object {
public:
    WScript(Runtime& rt, HostInfo info)
        : rt_(rt), info_(std::move(info)), args_(MakeRef<Arguments>(info_.args)),
          in_(MakeRef<TextStream>(stdin, true)), out_(MakeRef<TextStream>(stdout, false)),
          err_(MakeRef<TextStream>(stderr, false)) {}
    std::string TypeName() const override { return "Object"; }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "echo")) {
            std::string line;
            for (size_t i = 0; i < args.size(); ++i) {
                if (i) line += ' ';
                if (args[i].IsNull()) line += "Null";
                else if (!args[i].IsMissing()) line += ToString(args[i]);
            }
            line += '\n';
            WriteOut(stdout, line);
            return Value();
        }
        if (NameEquals(name, "arguments")) {
            if (args.size() == 0) return Value::Obj(args_);
            return args_->Invoke("", InvokeKind::Get, args);
        }
        if (NameEquals(name, "quit")) {
            args.Require(0, 1);
            std::fflush(stdout);
            throw ScriptQuit{args.Has(0) ? ToLong(args[0]) : 0};
        }
        if (NameEquals(name, "sleep")) {
            args.Require(1, 1);
            int32_t ms = ToLong(args[0]);
            if (ms > 0) rt_.Sleep(ms);
            return Value();
        }
        if (NameEquals(name, "createobject")) {
            args.Require(1, 2);
            return Value::Obj(rt_.CreateObject(ToString(args[0])));
        }
        if (NameEquals(name, "getobject")) {
            args.Require(1, 3);
            CallArgs first(&args[0], std::min<size_t>(args.size(), 2));
            return rt_.FindFunction("GetObject")->fn(rt_, first);
        }
        if (NameEquals(name, "scriptname")) return Value::Str(std::filesystem::path(info_.scriptPath).filename().string());
        if (NameEquals(name, "scriptfullname")) {
            std::error_code ec;
            auto full = std::filesystem::absolute(info_.scriptPath, ec);
            return Value::Str(ec ? info_.scriptPath : full.lexically_normal().string());
        }
        // A console script host: scripts that relaunch themselves under one test FullName for it.
        if (NameEquals(name, "fullname")) return Value::Str(info_.hostFolder + "/cscript.exe");
        if (NameEquals(name, "path")) return Value::Str(info_.hostFolder);
        if (NameEquals(name, "version")) return Value::Str("5.8");
        if (NameEquals(name, "interactive")) return Value::Bool(interactive_);
        if (NameEquals(name, "stdin")) return Value::Obj(in_);
        if (NameEquals(name, "stdout")) return Value::Obj(out_);
        if (NameEquals(name, "stderr")) return Value::Obj(err_);
        if (NameEquals(name, "name")) return Value::Str("tarvelo-vbs");
        Raise(438);
    }

    void Assign(std::string_view name, InvokeKind, CallArgs& args, const Value& value) override {
        if (!NameEquals(name, "interactive") || args.size() != 0) Raise(438);
        interactive_ = ToBool(value);
    }

private:
    Runtime& rt_;
    HostInfo info_;
    Ref<Arguments> args_;
    Ref<TextStream> in_, out_, err_;
    bool interactive_ = true;
};

}  // namespace

ObjectRef MakeWScript(Runtime& rt, HostInfo info) { return MakeRef<WScript>(rt, std::move(info)); }

}  // namespace tarvelo::vbs
