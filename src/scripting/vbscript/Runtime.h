// What the built-in library and host objects see of an engine: argument
// lists, the object protocol, registries for functions, constants and
// creatable classes, the host's hooks (message boxes, clock) and per-engine
// state. Nothing here is process-wide: two engines never share a registry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scripting/vbscript/Value.h"

namespace tarvelo::vbs {

// Arguments of one call, in order. Values are the caller's (temporaries for
// expressions); a built-in may write to them.
class CallArgs {
public:
    CallArgs() = default;
    CallArgs(Value* items, size_t count) : v_(items), n_(count) {}
    size_t size() const { return n_; }
    Value& operator[](size_t i) { return v_[i]; }
    const Value& operator[](size_t i) const { return v_[i]; }
    // True when argument i was given and not left out ("f a, , c").
    bool Has(size_t i) const { return i < n_ && !v_[i].IsMissing(); }
    // Error 450 (wrong number of arguments) unless min <= count <= max.
    void Require(size_t min, size_t max) const;

private:
    Value* v_ = nullptr;
    size_t n_ = 0;
};

enum class InvokeKind {
    Get,   // a value is wanted: property read or function call in an expression
    Call,  // statement call, the result is dropped
    Let,   // property assignment
    Set    // object property assignment (Set x.p = obj)
};

// Base of every object a script can hold: library objects, host objects and
// instances of script classes. Names are matched case-insensitively; an empty
// name means the default member.
class Object : public RefCounted {
public:
    virtual std::string TypeName() const = 0;
    // Read a property or call a method. Default: error 438.
    virtual Value Invoke(std::string_view name, InvokeKind kind, CallArgs& args);
    // Assign a property (kind Let or Set); index arguments in args. Default: error 438.
    virtual void Assign(std::string_view name, InvokeKind kind, CallArgs& args, const Value& value);
    // For host objects added with their members as global names.
    virtual bool HasMember(std::string_view name) const { return false; }
    // For Each: fills the items to visit; false when this is not a collection (error 451).
    virtual bool Enumerate(std::vector<Value>& out) { return false; }
};

using NativeFn = Value (*)(Runtime&, CallArgs&);
using ObjectFactory = std::function<ObjectRef(Runtime&)>;

struct NativeFunction {
    std::string name;  // as registered (its spelling)
    NativeFn fn = nullptr;
    int minArgs = 0;
    int maxArgs = 0;  // -1: any number
};

// How the engine waits and measures time. Left empty, a pause sleeps the
// thread and the time-out runs on the system's steady clock. A host with an
// event loop passes its own, so that a script's pause keeps the loop running
// (and tests can run both in virtual time).
struct TimeHooks {
    std::function<void(long ms)> sleep;         // pauses for about ms milliseconds
    std::function<int64_t()> monotonicMillis;   // milliseconds that never go back
};

// Hooks the embedding program sets. Left empty, the engine's defaults apply:
// MsgBox/InputBox write the prompt through `echo` (standard output when that is
// empty too), Now is the system's local time.
struct HostHooks {
    std::function<void(const std::string& line)> echo;
    std::function<int(const std::string& prompt, int buttons, const std::string& title)> msgBox;
    std::function<std::string(const std::string& prompt, const std::string& title,
                              const std::string& defaultText)> inputBox;
    std::function<double()> now;  // local date-time as days since 1899-12-30
    TimeHooks time;
};

class Runtime {
public:
    Runtime();
    virtual ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // ---- registration (names case-insensitive; a later registration replaces) ----
    void AddFunction(std::string_view name, NativeFn fn, int minArgs, int maxArgs);
    void AddConstant(std::string_view name, Value value);
    // For CreateObject("Prog.Id").
    void AddClass(std::string_view progId, ObjectFactory factory);
    // For "New Name" in scripts (script classes are looked up first).
    void AddNewable(std::string_view className, ObjectFactory factory);

    const NativeFunction* FindFunction(std::string_view name) const;
    const Value* FindConstant(std::string_view name) const;
    // Error 429 when no class is registered under progId.
    ObjectRef CreateObject(std::string_view progId);
    // Null when no class of that name can be made with New.
    ObjectRef NewObject(std::string_view className);

    // ---- host ----
    HostHooks& Host() { return host_; }
    double Now() const;
    bool AllowUI() const { return allowUI_; }
    void SetAllowUI(bool on) { allowUI_ = on; }
    int MsgBox(const std::string& prompt, int buttons, const std::string& title);
    // One line of text for the user: the echo hook, else standard output.
    void Echo(const std::string& line);
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText);
    // Pauses the running script for ms milliseconds in short slices, so that a
    // call passing its time-out meanwhile stops here with the time-out error.
    void Sleep(long ms);
    // The clock the time-out runs on (the host's, else the steady clock).
    int64_t MonotonicMillis() const;

    // Per-engine state of a library part (Rnd's seed, ...), made on first use.
    template <class T>
    T& State() {
        static const char key = 0;
        auto& slot = states_[&key];
        if (!slot) slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

protected:
    // Throws the time-out error when the running call is past its time-out.
    virtual void CheckTimeout() {}

private:
    std::unordered_map<std::string, NativeFunction> functions_;
    std::unordered_map<std::string, Value> constants_;
    std::unordered_map<std::string, ObjectFactory> classes_;
    std::unordered_map<std::string, ObjectFactory> newables_;
    std::unordered_map<const void*, std::shared_ptr<void>> states_;
    HostHooks host_;
    bool allowUI_ = true;
};

// The system's local time as days since 1899-12-30 with the time as fraction.
double SystemNow();

}  // namespace tarvelo::vbs
