// The tree-walking interpreter: modules with their global names, call frames,
// statements (Exec.cpp), expressions and calls (Eval.cpp), name resolution
// (Resolve.cpp), script classes and the Err object (Classes.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <new>
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

// One value of a running call (a local, a parameter, an argument) and the
// pointer it is reached through: its own value, or the caller's variable for a
// ByRef parameter.
struct Slot {
    Value* ref;
    Value value;
};

// The slots of running calls, taken from blocks allocated once and reused, so
// a call allocates nothing. Blocks never move (a ByRef parameter points into
// its caller's slots); a slot not in use holds Empty and points at itself.
class SlotStack {
public:
    SlotStack() = default;
    SlotStack(const SlotStack&) = delete;
    SlotStack& operator=(const SlotStack&) = delete;
    Slot* Push(size_t n) {
        Slot* base = top_;
        if (reinterpret_cast<uintptr_t>(base) + n * sizeof(Slot) > reinterpret_cast<uintptr_t>(end_)) base = Grow(n);
        top_ = base + n;
        return base;
    }
    // Empties the n slots (which may run Class_Terminate, pushing above them)
    // and points the first `bound` back at themselves, then gives them back.
    void Pop(Slot* base, size_t n, size_t bound) noexcept {
        // An empty frame took nothing, and its base may be null (pushed before
        // the first block): rewinding to it would lose the stack.
        if (n == 0) return;
        for (size_t i = 0; i < bound; ++i) base[i].ref = &base[i].value;
        for (size_t i = n; i-- > 0;) base[i].value.Clear();
        if (base >= begin_ && base <= end_) top_ = base;
        else Rewind(base);
    }

private:
    struct Block {
        std::unique_ptr<Slot[]> slots;
        size_t size = 0;
    };
    Slot* Grow(size_t n);
    void Rewind(Slot* base) noexcept;
    static constexpr size_t kBlockSize = 4096;
    std::vector<Block> blocks_;
    size_t current_ = 0;
    Slot* begin_ = nullptr;
    Slot* end_ = nullptr;
    Slot* top_ = nullptr;
};

struct Frame {
    Proc* proc = nullptr;  // null for module-level code
    Module* module = nullptr;
    ScriptObject* me = nullptr;
    Slot* slots = nullptr;
    Value* Local(int i) const { return slots[i].ref; }
    bool resumeNext = false;
    size_t withBase = 0;   // With objects of this frame: withStack_ from here up
};

// Where the error texts of the language come from, as scripts read them in Err.Source.
inline constexpr const char* kRuntimeErrorSource = "Microsoft VBScript runtime error";
inline constexpr const char* kCompileErrorSource = "Microsoft VBScript compilation error";

struct ErrState {
    int number = 0;
    std::string description;
    std::string source;
    std::string helpFile;
    int32_t helpContext = 0;
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
    // One statement blocks (If branches, procedure bodies) are the common case.
    Flow ExecBlock(const Block& b) {
        if (b.size() != 1) return ExecStatements(b);
        const Stmt& s = *b.front();
        try {
            return Exec(s);
        } catch (ScriptError& e) {
            HandleError(e, s);
            return Flow::Normal;
        }
    }
    Flow ExecStatements(const Block& b);
    Flow Exec(const Stmt& s);
    Flow ExecOther(const Stmt& s);
    Value Eval(const Expr& e);
    Value EvalOther(const Expr& e);
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
    void HoistConstants(Module& m, const Block& b);
    void ResolveChunk(Module& m, Chunk& chunk, Proc* scope, ClassDef* cls, bool explicitVars);
    void ResolveProc(Module& m, Proc& p, ClassDef* cls, bool explicitVars);
    // Exec.cpp
    Flow ExecSelect(const SelectStmt& s);
    Flow ExecFor(const ForStmt& s);
    Flow ExecForEach(const ForEachStmt& s);
    Flow ExecDo(const DoStmt& s);
    void ExecDim(const DimStmt& s);
    void ExecReDim(const ReDimStmt& s);
    void ExecAssign(const AssignStmt& s);
    void LetName(const NameExpr& n, Value v);
    void AssignLocal(Value& slot, Value v);
    bool LetDefault(const Value& target, const Value& v);
    void CallName(const NameExpr& n);
    // An error under On Error Resume Next gives onError.
    bool Condition(const Expr& e, bool onError = true) {
        bool r;
        if (QuickCondition(e, r)) return r;
        return ConditionSlow(e, onError);
    }
    bool ConditionSlow(const Expr& e, bool onError);
    Flow BodyOnce(const Stmt& s, ScriptError& e, const Block& body, int atNext);
    void HandleError(ScriptError& e, const Stmt& s);
    void RecordError(ScriptError& e, int line, int col);
    // Eval.cpp
    Value EvalCall(const CallExpr& c, InvokeKind kind);
    Value EvalName(const NameExpr& n, InvokeKind kind);
    Value EvalMember(const MemberExpr& m, InvokeKind kind);
    Value EvalBinary(const BinaryExpr& b);
    Value CallGlobal(const NameExpr& n, GlobalSlot& slot, const std::vector<ExprPtr>& args, InvokeKind kind);
    Value CallNative(const NativeFunction& f, const std::vector<ExprPtr>& args, InvokeKind kind);
    Value CallScript(Proc& p, ScriptObject* me, const std::vector<ExprPtr>& args, const Value* extra);
    struct WriteBack;
    void WriteBackElements(std::vector<WriteBack>& writeBacks, Slot* locals);
    // Before a call: the depth and stack limits, and the time-out.
    void EnterCall() {
        char probe;
        // The machine stack grows down from the outermost entry.
        if (callDepth_ >= kMaxCallDepth || (stackBase_ && stackBase_ - &probe > static_cast<ptrdiff_t>(kStackBudget)))
            Raise(28);
        CheckTime();
    }
    Value RunProc(Proc& p, ScriptObject* me, Slot* locals);
    Value Index(const Value& target, const std::vector<ExprPtr>& args, InvokeKind kind);
    // lower: the name in lower case when known in advance.
    Value InvokeObject(const Value& obj, std::string_view name, const std::vector<ExprPtr>& args, InvokeKind kind,
                       const std::string* lower = nullptr);
    Value* VariableRef(const NameExpr& n, bool forWrite);
    Value* ImplicitRef(const NameExpr& n);
    // A name found in its own module stays there (slots never go back to Unset), so it is remembered.
    GlobalSlot* Lookup(const NameExpr& n) {
        if (n.cacheModule == frame_->module) return n.cacheSlot;
        return LookupSlow(n);
    }
    GlobalSlot* LookupSlow(const NameExpr& n);
    const Value& OperandRef(const BinaryExpr::Operand& o) const {
        return o.literal ? *o.literal : *frame_->Local(o.slot);
    }
    // a op b once both operands are read: whole numbers in place, the rest in CombineSlow.
    [[gnu::always_inline]] Value Combine(const BinaryExpr& b, const Value& a, const Value& c) {
        int x = a.Type(), y = c.Type();
        if ((x == vbInteger || x == vbLong) && (y == vbInteger || y == vbLong)) {
            int64_t p = a.RawInt(), q = c.RawInt(), r;
            switch (b.op) {
            case BinOp::Add: r = p + q; break;
            case BinOp::Sub: r = p - q; break;
            case BinOp::Eq: return Value::Bool(p == q);
            case BinOp::Ne: return Value::Bool(p != q);
            case BinOp::Lt: return Value::Bool(p < q);
            case BinOp::Le: return Value::Bool(p <= q);
            case BinOp::Gt: return Value::Bool(p > q);
            case BinOp::Ge: return Value::Bool(p >= q);
            default: return CombineSlow(b, a, c);
            }
            // An Integer result stays Integer until it would overflow, then Long, then Double.
            if (x == vbInteger && y == vbInteger && r >= -32768 && r <= 32767) return Value::Int(static_cast<int16_t>(r));
            if (r >= INT32_MIN && r <= INT32_MAX) return Value::Long(static_cast<int32_t>(r));
            return Value::Double(static_cast<double>(r));
        }
        return CombineSlow(b, a, c);
    }
    Value CombineSlow(const BinaryExpr& b, const Value& a, const Value& c);
    // Whole numbers compared in place: the common loop and If test. False when not that case.
    bool QuickCondition(const Expr& e, bool& result) const {
        if (e.kind != EK::Binary || !static_cast<const BinaryExpr&>(e).simple) return false;
        auto& b = static_cast<const BinaryExpr&>(e);
        const Value& x = OperandRef(b.left);
        const Value& y = OperandRef(b.right);
        if ((x.Type() != vbInteger && x.Type() != vbLong) || (y.Type() != vbInteger && y.Type() != vbLong)) return false;
        int64_t p = x.RawInt(), q = y.RawInt();
        switch (b.op) {
        case BinOp::Eq: result = p == q; return true;
        case BinOp::Ne: result = p != q; return true;
        case BinOp::Lt: result = p < q; return true;
        case BinOp::Le: result = p <= q; return true;
        case BinOp::Gt: result = p > q; return true;
        case BinOp::Ge: result = p >= q; return true;
        default: return false;
        }
    }
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
    SlotStack slots_;
    std::vector<Value> withStack_;
    size_t withDepth_ = 0;  // withStack_.size()
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
        FrameScope(Interpreter& i, Frame& f) : in(i), saved(i.frame_) {
            f.withBase = in.withDepth_;
            in.frame_ = &f;
        }
        ~FrameScope() { in.frame_ = saved; }
    };
    // Slots taken from the slot stack for one call; the first `bound` may be
    // rebound to other variables (ByRef parameters).
    struct StackSlots {
        SlotStack& stack;
        Slot* slots;
        size_t count, bound;
        StackSlots(SlotStack& s, size_t n, size_t rebound) : stack(s), slots(s.Push(n)), count(n), bound(rebound) {}
        ~StackSlots() { stack.Pop(slots, count, bound); }
        StackSlots(const StackSlots&) = delete;
        StackSlots& operator=(const StackSlots&) = delete;
    };
    // Argument values for a built-in or an object's member: contiguous, on the
    // machine stack up to kInline of them.
    class ArgValues {
    public:
        explicit ArgValues(size_t n) : count_(n) {
            if (n > kInline) heap_ = std::make_unique<Value[]>(n);
            else
                for (size_t i = 0; i < n; ++i) new (&Inline()[i]) Value();
        }
        ~ArgValues() {
            if (!heap_)
                for (size_t i = 0; i < count_; ++i) Inline()[i].~Value();
        }
        ArgValues(const ArgValues&) = delete;
        ArgValues& operator=(const ArgValues&) = delete;
        Value* data() { return heap_ ? heap_.get() : Inline(); }

    private:
        static constexpr size_t kInline = 8;
        Value* Inline() { return reinterpret_cast<Value*>(raw_); }
        size_t count_;
        alignas(Value) unsigned char raw_[kInline * sizeof(Value)];
        std::unique_ptr<Value[]> heap_;
    };
    static constexpr int kMaxCallDepth = 3000;
    static constexpr size_t kStackBudget = 3u << 20;
};

// The compile-time name rules of one piece of code (throws SyntaxError 1041).
void CheckNames(const Chunk& chunk);

// Registers Eval, Execute, ExecuteGlobal, GetRef, Err, VarType and TypeName.
void RegisterLanguageBuiltins(Interpreter& in);

}  // namespace tarvelo::vbs
