#include "WScript.h"

#include <filesystem>

#include "scripting/vbscript/Engine.h"

namespace tarvelo::vbs {
namespace {

void WriteOut(std::FILE* f, const std::string& s) { std::fwrite(s.data(), 1, s.size(), f); }

class Arguments : public Object {
public:
    explicit Arguments(std::vector<std::string> a) : args_(std::move(a)) {}
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
        Raise(438);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (auto& a : args_) out.push_back(Value::Str(a));
        return true;
    }

private:
    std::vector<std::string> args_;
};

class TextStream : public Object {
public:
    explicit TextStream(std::FILE* f) : f_(f) {}
    std::string TypeName() const override { return "TextStream"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
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
        } else {
            Raise(438);
        }
        return Value();
    }

private:
    std::FILE* f_;
};

class WScript : public Object {
public:
    WScript(Runtime& rt, std::string path, std::vector<std::string> args)
        : rt_(rt), path_(std::move(path)), args_(MakeRef<Arguments>(std::move(args))),
          out_(MakeRef<TextStream>(stdout)), err_(MakeRef<TextStream>(stderr)) {}
    std::string TypeName() const override { return "Object"; }

    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "echo")) {
            std::string line;
            for (size_t i = 0; i < args.size(); ++i) {
                if (i) line += ' ';
                if (!args[i].IsMissing() && !args[i].IsNull()) line += ToString(args[i]);
                else if (args[i].IsNull()) line += "Null";
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
        if (NameEquals(name, "scriptname")) return Value::Str(std::filesystem::path(path_).filename().string());
        if (NameEquals(name, "scriptfullname")) {
            std::error_code ec;
            auto full = std::filesystem::absolute(path_, ec);
            return Value::Str(ec ? path_ : full.lexically_normal().string());
        }
        if (NameEquals(name, "sleep")) {
            args.Require(1, 1);
            int32_t ms = ToLong(args[0]);
            if (ms > 0) rt_.Sleep(ms);
            return Value();
        }
        if (NameEquals(name, "stdout")) return Value::Obj(out_);
        if (NameEquals(name, "stderr")) return Value::Obj(err_);
        if (NameEquals(name, "name")) return Value::Str("tarvelo-vbs");
        Raise(438);
    }

private:
    Runtime& rt_;
    std::string path_;
    Ref<Arguments> args_;
    Ref<TextStream> out_, err_;
};

}  // namespace

ObjectRef MakeWScript(Runtime& rt, std::string scriptPath, std::vector<std::string> args) {
    return MakeRef<WScript>(rt, std::move(scriptPath), std::move(args));
}

}  // namespace tarvelo::vbs
