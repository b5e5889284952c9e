// Life of an interpreter: modules, code added in pieces, calls from the host,
// Eval/Execute, and an orderly end that still runs Class_Terminate.
#include "scripting/vbscript/Interp.h"

#include "scripting/vbscript/Library.h"
#include "scripting/vbscript/Parser.h"

namespace tarvelo::vbs {

ObjectRef MakeErrObject(std::shared_ptr<Interpreter*> link);

namespace {

// Marks the outermost entry into the interpreter: the stack depth is measured from here.
struct Entry {
    const char*& base;
    bool outer;
    explicit Entry(const char*& b, bool isOuter) : base(b), outer(isOuter) {
        if (outer) base = reinterpret_cast<const char*>(__builtin_frame_address(0));
    }
    ~Entry() {
        if (outer) base = nullptr;
    }
};

}  // namespace

Interpreter::Interpreter() : link_(std::make_shared<Interpreter*>(this)) {
    modules_.emplace_back();
    modules_.front().name = "Global";
    RegisterLanguageBuiltins(*this);
    RegisterLibrary(*this);
}

Interpreter::~Interpreter() { Shutdown(); }

void Interpreter::Shutdown() {
    if (!*link_) return;
    // Drop script values first so Class_Terminate runs while everything it may use exists.
    for (auto& m : modules_)
        for (auto& s : m.slots)
            if (s.kind == GlobalSlot::Var || s.kind == GlobalSlot::Const) s.value = Value();
    // Objects still alive hold each other (a cycle) or were handed to the host: empty their
    // fields so cycles come apart; Class_Terminate no longer runs from here on.
    std::vector<ObjectRef> held(live_.begin(), live_.end());
    std::vector<std::vector<Value>> contents;
    for (auto& o : held) contents.push_back(std::move(static_cast<ScriptObject*>(o.get())->fields));
    live_.clear();
    *link_ = nullptr;
    contents.clear();
    held.clear();
    for (auto& m : modules_) m.slots.clear();
    namedObjects_.clear();
    memberObjects_.clear();
}

Module& Interpreter::GetModule(const std::string& name) {
    if (name.empty() || NameEquals(name, "Global")) return modules_.front();
    for (auto& m : modules_)
        if (NameEquals(m.name, name)) return m;
    modules_.emplace_back();
    modules_.back().name = name;
    return modules_.back();
}

ProcPtr Interpreter::FindProc(Module& m, std::string_view name) {
    int id = NameId(name);
    GlobalSlot& s = m.Slot(id);
    if (s.kind == GlobalSlot::Proc) return s.proc;
    GlobalSlot& g = modules_.front().Slot(id);
    if (g.kind == GlobalSlot::Proc) return g.proc;
    return nullptr;
}

void Interpreter::AddCode(Module& m, std::string_view text, int firstLine) {
    auto chunk = std::make_shared<Chunk>(ParseProgram(text, firstLine));
    for (auto& p : chunk->procs) p->module = &m;
    for (auto& c : chunk->classes)
        for (auto& p : c->procs) p->module = &m;
    m.optionExplicit = m.optionExplicit || chunk->optionExplicit;
    Declare(m, *chunk);
    ResolveChunk(m, *chunk, nullptr, nullptr, m.optionExplicit);
    m.chunks.push_back(chunk);
    Frame f;
    f.module = &m;
    ExecChunkIn(f, *chunk);
}

void Interpreter::ExecChunkIn(Frame& f, Chunk& chunk) {
    Entry entry(stackBase_, frame_ == nullptr);
    FrameScope scope(*this, f);
    ExecBlock(chunk.statements);
}

Value Interpreter::Run(Module& m, std::string_view procName, std::vector<Value>& args) {
    ProcPtr p = FindProc(m, procName);
    if (!p) RaiseNamed(35, std::string(procName));
    if (args.size() != p->params.size()) Raise(450);
    std::vector<ArgRef> refs(args.size());
    for (size_t i = 0; i < args.size(); ++i) refs[i] = {&args[i], false};
    Entry entry(stackBase_, frame_ == nullptr);
    return CallProc(*p, nullptr, refs.data(), refs.size());
}

Value Interpreter::EvalText(Module& m, std::string_view text) {
    auto chunk = std::make_shared<Chunk>();
    ExprPtr e = ParseExpression(text);
    Frame* cur = frame_;
    Proc* scope = cur ? cur->proc : nullptr;
    ClassDef* cls = cur && cur->me ? cur->me->Class().get() : nullptr;
    // Resolve as one statement so the resolver walks it with the caller's names.
    auto holder = std::make_unique<CallStmt>(e->line, e->col);
    holder->call = std::move(e);
    chunk->statements.push_back(std::move(holder));
    ResolveChunk(m, *chunk, scope, cls, m.optionExplicit);
    // The text lives only as long as it runs: a loop of Eval calls must not pile up code.
    const Expr& expr = *static_cast<CallStmt&>(*chunk->statements.front()).call;
    if (cur) return Eval(expr);
    Frame f;
    f.module = &m;
    Entry entry(stackBase_, true);
    FrameScope fs(*this, f);
    return Eval(expr);
}

void Interpreter::ExecuteText(Module& m, std::string_view text, bool global) {
    auto chunk = std::make_shared<Chunk>(ParseProgram(text, 1));
    for (auto& p : chunk->procs) p->module = &m;
    for (auto& c : chunk->classes)
        for (auto& p : c->procs) p->module = &m;
    Declare(m, *chunk);
    Frame* cur = frame_;
    bool local = !global && cur && cur->proc;
    ResolveChunk(m, *chunk, local ? cur->proc : nullptr, local && cur->me ? cur->me->Class().get() : nullptr,
                 m.optionExplicit);
    // Procedures and classes it declared are held by the module; the statements only while they run.
    if (local) {
        ExecBlock(chunk->statements);
        return;
    }
    Frame f;
    f.module = &m;
    ExecChunkIn(f, *chunk);
}

void Interpreter::AddNamedObject(const std::string& name, ObjectRef obj, bool addMembers) {
    Module& global = modules_.front();
    GlobalSlot& s = global.Slot(NameId(name));
    if (s.cls) global.retiredClasses.push_back(s.cls);
    if (s.proc) global.retiredProcs.push_back(s.proc);
    s = GlobalSlot{};
    s.kind = GlobalSlot::Builtin;
    s.value = Value::Obj(obj);
    namedObjects_.emplace_back(name, obj);
    if (addMembers) memberObjects_.push_back(obj);
}

}  // namespace tarvelo::vbs
