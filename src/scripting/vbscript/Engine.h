// The engine as the host program drives it: reset, language, UI flag, named
// host objects (optionally with their members as global names), a per-call
// time-out, named modules with code added in pieces, procedure enumeration,
// calls by name, and an error object.
//
// Failure contract: every operation that runs or compiles script code
// (AddCode, Run, Eval, ExecuteStatement) records the failure in Error() and
// throws ScriptException carrying the same record. Syntax errors have
// Source "script syntax error"; run-time errors "script runtime error"; a
// call stopped by the time-out has number kTimeoutError (On Error Resume Next
// does not hold it up, and a native that waits through Runtime::Sleep stops
// too); memory exhausted by a script is error 7. The engine
// stays usable after any of them. A host object may throw ScriptQuit to end the
// running code at once (the command-line runner's WScript.Quit); it reaches
// the caller unchanged.
//
// Code added to a module is compiled whole: a piece with a syntax error adds
// nothing (earlier pieces stay), a piece that compiles is kept and its
// top-level statements run at once, even if they then fail at run time.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

class Interpreter;

// The language has no number of its own for a stopped call; this one is ours.
constexpr int kTimeoutError = 4096;

struct ScriptErrorInfo {
    int number = 0;
    std::string description;
    std::string source;
    int line = 0;    // 1-based, 0 when unknown
    int column = 0;  // 1-based, 0 when unknown
    void Clear() { *this = ScriptErrorInfo{}; }
};

class ScriptException : public std::runtime_error {
public:
    explicit ScriptException(ScriptErrorInfo e) : std::runtime_error(e.description), info(std::move(e)) {}
    ScriptErrorInfo info;
};

struct ScriptQuit {
    int exitCode = 0;
};

struct ProcedureInfo {
    std::string name;
    int numArgs = 0;
    bool hasReturnValue = false;
};

class Engine;

// A handle on one named module of an engine; cheap to copy. After Reset the
// name refers to a fresh, empty module.
class ScriptModule {
public:
    ScriptModule(Engine& engine, std::string name) : engine_(&engine), name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    void AddCode(std::string_view code);
    std::vector<ProcedureInfo> Procedures() const;
    Value Run(std::string_view procedure, std::vector<Value> args = {});
    // Arguments passed ByRef: a procedure that assigns a parameter changes args.
    Value RunByRef(std::string_view procedure, std::vector<Value>& args);
    Value Eval(std::string_view expression);
    void ExecuteStatement(std::string_view code);

private:
    Engine* engine_;
    std::string name_;
};

class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Drops all code, modules, variables and added objects; keeps the settings and hooks.
    // Called from inside a running call (a host object's method), the running code
    // finishes on the old state, which goes when the outermost call returns.
    void Reset();
    std::string Language() const { return "VBScript"; }
    // Only "VBScript" is known: anything else gives false.
    bool SetLanguage(std::string_view language);
    bool AllowUI() const;
    void SetAllowUI(bool on);
    // Milliseconds a single call may run; 0 or less: no limit.
    long Timeout() const { return timeoutMs_; }
    void SetTimeout(long ms);

    void AddObject(const std::string& name, ObjectRef object, bool addMembers);
    ScriptModule AddModule(const std::string& name);
    ScriptModule GlobalModule();
    // Shortcuts for the global module.
    void AddCode(std::string_view code) { GlobalModule().AddCode(code); }
    Value Eval(std::string_view expression) { return GlobalModule().Eval(expression); }
    void ExecuteStatement(std::string_view code) { GlobalModule().ExecuteStatement(code); }
    Value Run(std::string_view procedure, std::vector<Value> args = {}) { return GlobalModule().Run(procedure, std::move(args)); }

    ScriptErrorInfo& Error() { return error_; }
    const ScriptErrorInfo& Error() const { return error_; }

    // MsgBox/InputBox/clock hooks, and how a pause waits and the time-out
    // measures (Host().time), kept across Reset.
    HostHooks& Host();
    // The registries and hooks a library or host object sees.
    Runtime& GetRuntime();

private:
    friend class ScriptModule;
    template <class F>
    auto Guard(F&& body) -> decltype(body());
    std::unique_ptr<Interpreter> in_;
    std::vector<std::unique_ptr<Interpreter>> retired_;
    ScriptErrorInfo error_;
    long timeoutMs_ = 0;
    bool allowUI_ = true;
    int active_ = 0;
};

}  // namespace tarvelo::vbs
