// The tree-walking interpreter: modules with their global names, call frames,
// statements (Exec.cpp), expressions and calls (Eval.cpp), name resolution
// (Resolve.cpp), script classes and the Err object (Classes.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "scripting/vbscript/Ast.h"
#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

class Interpreter;
class ScriptObject;

// Thrown past every On Error handler: the call's time-out, WScript.Quit.
struct ScriptAbort {
    int number;  // 0: a quit request
    int exitCode = 0;
};

struct GlobalSlot {
    enum Kind : uint8_t { Unset, Var, Const, Proc, Class, Native, Builtin, HostMember };
    Kind kind = Unset;
    Value value;             // Var, Const, Builtin constant
    ProcPtr proc;
    ClassPtr cls;
    const NativeFunction* native = nullptr;
    Object* host = nullptr;  // HostMember: the object that has the member (held by the engine)
};

struct Module {
    std::string name;
    std::deque<GlobalSlot> slots;  // by name id; a deque keeps ByRef pointers valid as it grows
    std::vector<ProcPtr> procs;    // declared procedures in order, for enumeration
    std::vector<std::shared_ptr<Chunk>> chunks;
    // Procedures and classes a later definition replaced: one of them may still be running.
    std::vector<ProcPtr> retiredProcs;
    std::vector<ClassPtr> retiredClasses;
    bool optionExplicit = false;
    GlobalSlot& Slot(int id) {
        if (static_cast<size_t>(id) >= slots.size()) slots.resize(static_cast<size_t>(id) + 1);
        return slots[static_cast<size_t>(id)];
    }
};

enum class Flow : uint8_t { Normal, ExitDo, ExitFor, ExitProc };

struct Frame {
    Proc* proc = nullptr;  // null for module-level code
    Module* module = nullptr;
    ScriptObject* me = nullptr;
    Value** slots = nullptr;
    bool resumeNext = false;
    std::vector<Value> with;
};

struct ErrState {
    int number = 0;
    std::string description;
    std::string source;
    int line = 0, col = 0;
};

class ScriptObject : public Object {
public:
    ScriptObject(std::shared_ptr<Interpreter*> link, ClassPtr cls, Module* module);
    ~ScriptObject() override;
    std::string TypeName() const override { return cls_->name; }
    Value Invoke(std::string_view name, InvokeKind kind, CallArgs& args) override;
    void Assign(std::string_view name, InvokeKind kind, CallArgs& args, const Value& value) override;
    const ClassPtr& Class() const { return cls_; }
    Module* ModuleOf() const { return module_; }
    std::vector<Value> fields;

protected:
    void LastRelease() noexcept override;

private:
    std::shared_ptr<Interpreter*> link_;
    ClassPtr cls_;
    Module* module_;
    bool terminated_ = false;
};

class Interpreter : public Runtime {
public:
    Interpreter();
    ~Interpreter();

    // ---- used by the engine API ----
    Module& GetModule(const std::string& name);  // made on first use; "" is the global module
    // Parses, declares and runs the top-level code of a piece of text (throws SyntaxError, ScriptError, ScriptAbort).
    void AddCode(Module& m, std::string_view text, int firstLine = 1);
    Value Run(Module& m, std::string_view procName, std::vector<Value>& args);
    Value EvalText(Module& m, std::string_view text);
    void ExecuteText(Module& m, std::string_view text, bool global);
    void AddNamedObject(const std::string& name, ObjectRef obj, bool addMembers);
    void SetTimeout(long ms) { timeoutMs_ = ms; }
    void SetDeadline();
    void ClearDeadline() { hasDeadline_ = false; }
    ErrState& Err() { return err_; }
    void Shutdown();  // releases every script value while the interpreter can still run Class_Terminate

    // ---- used by the language's own built-ins ----
    Frame* Current() { return frame_; }
    const std::shared_ptr<Interpreter*>& Link() const { return link_; }
    int NameId(std::string_view name);
    const std::string& NameOf(int id) const { return names_[static_cast<size_t>(id)]; }
    // One argument of a script call: the variable a ByRef parameter aliases, or a temporary.
    struct ArgRef { Value* ptr; bool temp; };
    Value CallProc(Proc& p, ScriptObject* me, ArgRef* args, size_t argc);
    Value CallObjectMember(ScriptObject& obj, std::string_view name, InvokeKind kind, CallArgs& args, bool inside);
    void AssignObjectMember(ScriptObject& obj, std::string_view name, InvokeKind kind, CallArgs& args,
                            const Value& value, bool inside);
    ObjectRef NewInstance(const ClassPtr& cls, Module* module);
    void RunTerminate(ScriptObject& obj) noexcept;
    void ExecChunkIn(Frame& frame, Chunk& chunk);
    ProcPtr FindProc(Module& m, std::string_view name);

    // Statements and expressions.
    Flow ExecBlock(const Block& b);
    Flow Exec(const Stmt& s);
    Value Eval(const Expr& e);
    const Value& EvalRef(const Expr& e, Value& tmp);
    // Called on every backward jump and call; reads the clock every 16th time.
    void CheckTime() {
        if (hasDeadline_ && (++ticks_ & 15) == 0) CheckClock();
    }
    void CheckClock();

protected:
    void CheckTimeout() override {
        if (hasDeadline_) CheckClock();
    }

private:
    friend class ScriptObject;
    // Resolve.cpp
    void Declare(Module& m, Chunk& chunk);
    void ResolveChunk(Module& m, Chunk& chunk, Proc* scope, ClassDef* cls, bool explicitVars);
    void ResolveProc(Module& m, Proc& p, ClassDef* cls, bool explicitVars);
    // Exec.cpp
    Flow ExecIf(const IfStmt& s);
    Flow ExecSelect(const SelectStmt& s);
    Flow ExecFor(const ForStmt& s);
    Flow ExecForEach(const ForEachStmt& s);
    Flow ExecDo(const DoStmt& s);
    void ExecDim(const DimStmt& s);
    void ExecReDim(const ReDimStmt& s);
    void ExecAssign(const AssignStmt& s);
    void LetName(const NameExpr& n, Value v);
    void LetDefault(const Value& target, Value v);
    void CallName(const NameExpr& n);
    // An error under On Error Resume Next gives onError.
    bool Condition(const Expr& e, bool onError = true);
    Flow BodyOnce(const Stmt& s, ScriptError& e, const Block& body);
    void HandleError(ScriptError& e, const Stmt& s);
    void RecordError(ScriptError& e, int line, int col);
    // Eval.cpp
    Value EvalCall(const CallExpr& c, InvokeKind kind);
    Value EvalName(const NameExpr& n, InvokeKind kind);
    Value EvalMember(const MemberExpr& m, InvokeKind kind);
    Value EvalBinary(const BinaryExpr& b);
    Value CallGlobal(const NameExpr& n, GlobalSlot& slot, const std::vector<ExprPtr>& args, InvokeKind kind);
    Value CallNative(const NativeFunction& f, const std::vector<ExprPtr>& args);
    Value CallScript(Proc& p, ScriptObject* me, const std::vector<ExprPtr>& args, const Value* extra);
    Value Index(const Value& target, const std::vector<ExprPtr>& args, InvokeKind kind);
    // lower: the name in lower case when known in advance.
    Value InvokeObject(const Value& obj, std::string_view name, const std::vector<ExprPtr>& args, InvokeKind kind,
                       const std::string* lower = nullptr);
    Value* VariableRef(const NameExpr& n, bool forWrite);
    Value* ImplicitRef(const NameExpr& n);
    GlobalSlot* Lookup(const NameExpr& n);
    void EvalArgs(const std::vector<ExprPtr>& args, std::vector<Value>& out);
    Value WithObject();
public:
    void AssignTo(const Expr& target, Value value, bool isSet);
    Value NewObjectByName(const std::string& name);
    void Store(Value& slot, Value v, bool isSet);
private:

    std::unordered_map<std::string, int> nameIds_;
    std::vector<std::string> names_;
    std::deque<Module> modules_;
    std::shared_ptr<Interpreter*> link_;
    std::vector<std::pair<std::string, ObjectRef>> namedObjects_;
    std::vector<ObjectRef> memberObjects_;
    std::unordered_set<ScriptObject*> live_;  // instances of script classes, to break cycles at the end
    Frame* frame_ = nullptr;
    ErrState err_;
    int callDepth_ = 0;
    const char* stackBase_ = nullptr;
    long timeoutMs_ = 0;
    bool hasDeadline_ = false;
    int64_t deadlineMs_ = 0;  // on MonotonicMillis()
    unsigned ticks_ = 0;

public:
    // Frames push themselves for their lifetime.
    struct FrameScope {
        Interpreter& in;
        Frame* saved;
        FrameScope(Interpreter& i, Frame& f) : in(i), saved(i.frame_) { in.frame_ = &f; }
        ~FrameScope() { in.frame_ = saved; }
    };
    static constexpr int kMaxCallDepth = 3000;
    static constexpr size_t kStackBudget = 3u << 20;
};

// Registers Eval, Execute, ExecuteGlobal, GetRef, Err, VarType and TypeName.
void RegisterLanguageBuiltins(Interpreter& in);

}  // namespace tarvelo::vbs
