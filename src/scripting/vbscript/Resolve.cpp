// Declares what a piece of code defines and binds every name to where it
// lives: a frame slot (parameters, Dim'd and implicit locals), a field of Me,
// a member of the class, or a module-level name looked up by id.
#include "scripting/vbscript/Interp.h"
#include "scripting/vbscript/Lexer.h"

namespace tarvelo::vbs {
namespace {

struct Ctx {
    Interpreter& in;
    Proc* proc;
    ClassDef* cls;
    bool addLocals;  // false for code given to Execute: it sees the frame's names but adds none
};

void AddLocal(Proc& p, const std::string& lower) {
    if (p.localIndex.count(lower)) return;
    p.localIndex[lower] = static_cast<int>(p.locals.size());
    p.locals.push_back(lower);
}

void ResolveExpr(Ctx& c, Expr* e, bool callTarget = false);

void ResolveName(Ctx& c, NameExpr& n, bool callTarget) {
    if (n.lower.empty()) n.lower = LowerName(n.name);
    n.id = c.in.NameId(n.lower);
    if (c.proc) {
        auto it = c.proc->localIndex.find(n.lower);
        // "F(x)" inside Function F is a recursive call, "F" alone its result.
        if (it != c.proc->localIndex.end() && !(callTarget && it->second == c.proc->resultSlot)) {
            size_t slot = static_cast<size_t>(it->second);
            bool implicit = slot < c.proc->implicitSlot.size() && c.proc->implicitSlot[slot];
            n.scope = implicit ? Scope::Implicit : Scope::Local;
            n.index = it->second;
            return;
        }
    }
    if (c.cls) {
        auto f = c.cls->fieldIndex.find(n.lower);
        if (f != c.cls->fieldIndex.end()) {
            n.scope = Scope::Field;
            n.index = f->second;
            return;
        }
        if (c.cls->members.count(n.lower)) {
            n.scope = Scope::Member;
            return;
        }
    }
    n.scope = Scope::Global;
}

void ResolveExpr(Ctx& c, Expr* e, bool callTarget) {
    if (!e) return;
    switch (e->kind) {
    case EK::Name: ResolveName(c, *static_cast<NameExpr*>(e), callTarget); break;
    case EK::Call: {
        auto* x = static_cast<CallExpr*>(e);
        ResolveExpr(c, x->target.get(), true);
        for (auto& a : x->args) ResolveExpr(c, a.get());
        break;
    }
    case EK::Member: ResolveExpr(c, static_cast<MemberExpr*>(e)->object.get()); break;
    case EK::Unary: ResolveExpr(c, static_cast<UnaryExpr*>(e)->operand.get()); break;
    case EK::Binary: {
        auto* b = static_cast<BinaryExpr*>(e);
        ResolveExpr(c, b->lhs.get());
        ResolveExpr(c, b->rhs.get());
        auto operand = [](const Expr& x, BinaryExpr::Operand& o) {
            if (x.kind == EK::Literal) {
                o.literal = &static_cast<const LiteralExpr&>(x).value;
                return true;
            }
            if (x.kind == EK::Name && static_cast<const NameExpr&>(x).scope == Scope::Local) {
                o.slot = static_cast<const NameExpr&>(x).index;
                return true;
            }
            return false;
        };
        b->simple = operand(*b->lhs, b->left) && operand(*b->rhs, b->right);
        break;
    }
    case EK::Paren: ResolveExpr(c, static_cast<ParenExpr*>(e)->inner.get()); break;
    default: break;
    }
}

void ResolveBlock(Ctx& c, Block& b);

void ResolveStmt(Ctx& c, Stmt& s) {
    switch (s.kind) {
    case SK::Assign: {
        auto& a = static_cast<AssignStmt&>(s);
        ResolveExpr(c, a.target.get());
        ResolveExpr(c, a.value.get());
        break;
    }
    case SK::Call: ResolveExpr(c, static_cast<CallStmt&>(s).call.get(), true); break;
    case SK::If: {
        auto& x = static_cast<IfStmt&>(s);
        for (auto& e : x.conds) ResolveExpr(c, e.get());
        for (auto& b : x.blocks) ResolveBlock(c, b);
        break;
    }
    case SK::Select: {
        auto& x = static_cast<SelectStmt&>(s);
        ResolveExpr(c, x.subject.get());
        for (auto& k : x.cases) {
            for (auto& v : k.values) ResolveExpr(c, v.get());
            ResolveBlock(c, k.body);
        }
        break;
    }
    case SK::For: {
        auto& x = static_cast<ForStmt&>(s);
        ResolveExpr(c, x.var.get());
        ResolveExpr(c, x.from.get());
        ResolveExpr(c, x.to.get());
        ResolveExpr(c, x.step.get());
        ResolveBlock(c, x.body);
        break;
    }
    case SK::ForEach: {
        auto& x = static_cast<ForEachStmt&>(s);
        ResolveExpr(c, x.var.get());
        ResolveExpr(c, x.collection.get());
        ResolveBlock(c, x.body);
        break;
    }
    case SK::Do: {
        auto& x = static_cast<DoStmt&>(s);
        ResolveExpr(c, x.cond.get());
        ResolveBlock(c, x.body);
        break;
    }
    case SK::Dim:
        for (auto& i : static_cast<DimStmt&>(s).items) {
            ResolveExpr(c, i.var.get());
            for (auto& b : i.bounds) ResolveExpr(c, b.get());
        }
        break;
    case SK::ReDim:
        for (auto& i : static_cast<ReDimStmt&>(s).items) {
            ResolveExpr(c, i.var.get());
            for (auto& b : i.bounds) ResolveExpr(c, b.get());
        }
        break;
    case SK::Erase:
        for (auto& v : static_cast<EraseStmt&>(s).vars) ResolveExpr(c, v.get());
        break;
    case SK::With: {
        auto& x = static_cast<WithStmt&>(s);
        ResolveExpr(c, x.object.get());
        ResolveBlock(c, x.body);
        break;
    }
    default: break;
    }
}

void ResolveBlock(Ctx& c, Block& b) {
    for (auto& s : b) ResolveStmt(c, *s);
}

// Names a procedure declares (Dim, Const, ReDim) and the names it assigns.
void CollectNames(Block& b, std::vector<std::string>& declared, std::vector<std::string>& assigned,
                  std::vector<std::string>& redims) {
    auto targetName = [&](Expr* e) {
        if (e && e->kind == EK::Name) assigned.push_back(LowerName(static_cast<NameExpr*>(e)->name));
    };
    for (auto& sp : b) {
        Stmt& s = *sp;
        switch (s.kind) {
        case SK::Dim:
            for (auto& i : static_cast<DimStmt&>(s).items) declared.push_back(LowerName(i.var->name));
            break;
        case SK::ReDim:  // declares the array unless the name is known outside (see ResolveProc)
            for (auto& i : static_cast<ReDimStmt&>(s).items)
                redims.push_back(LowerName(static_cast<NameExpr*>(i.var.get())->name));
            break;
        case SK::Assign: {
            auto& a = static_cast<AssignStmt&>(s);
            if (a.isConst) declared.push_back(LowerName(static_cast<NameExpr*>(a.target.get())->name));
            else targetName(a.target.get());
            break;
        }
        case SK::If:
            for (auto& blk : static_cast<IfStmt&>(s).blocks) CollectNames(blk, declared, assigned, redims);
            break;
        case SK::Select:
            for (auto& k : static_cast<SelectStmt&>(s).cases) CollectNames(k.body, declared, assigned, redims);
            break;
        case SK::For:
            targetName(static_cast<ForStmt&>(s).var.get());
            CollectNames(static_cast<ForStmt&>(s).body, declared, assigned, redims);
            break;
        case SK::ForEach:
            targetName(static_cast<ForEachStmt&>(s).var.get());
            CollectNames(static_cast<ForEachStmt&>(s).body, declared, assigned, redims);
            break;
        case SK::Do: CollectNames(static_cast<DoStmt&>(s).body, declared, assigned, redims); break;
        case SK::With: CollectNames(static_cast<WithStmt&>(s).body, declared, assigned, redims); break;
        default: break;
        }
    }
}

}  // namespace

int Interpreter::NameId(std::string_view name) {
    std::string lower = LowerName(name);
    auto it = nameIds_.find(lower);
    if (it != nameIds_.end()) return it->second;
    int id = static_cast<int>(names_.size());
    names_.push_back(lower);
    nameIds_.emplace(std::move(lower), id);
    return id;
}

void Interpreter::ResolveProc(Module& m, Proc& p, ClassDef* cls, bool explicitVars) {
    p.locals.clear();
    p.localIndex.clear();
    p.implicitSlot.clear();
    for (auto& prm : p.params) AddLocal(p, LowerName(prm.name));
    if (p.kind == ProcKind::Function || p.kind == ProcKind::PropGet) {
        std::string lower = LowerName(p.name);
        p.resultSlot = static_cast<int>(p.locals.size());
        p.localIndex[lower] = p.resultSlot;
        p.locals.push_back(lower);
    }
    std::vector<std::string> declared, assigned, redims;
    CollectNames(p.body, declared, assigned, redims);
    for (auto& d : declared) AddLocal(p, d);
    // Assigned (or ReDim'd) but declared nowhere: a variable of the procedure, unless the name is known outside it.
    Module& global = modules_.front();
    auto knownOutside = [&](const std::string& a) {
        if (p.localIndex.count(a)) return true;
        if (cls && (cls->fieldIndex.count(a) || cls->members.count(a))) return true;
        int id = NameId(a);
        if (m.Slot(id).kind != GlobalSlot::Unset || global.Slot(id).kind != GlobalSlot::Unset) return true;
        if (FindConstant(a) || FindFunction(a)) return true;
        for (auto& o : memberObjects_)
            if (o->HasMember(a)) return true;
        return false;
    };
    size_t declaredCount = p.locals.size();
    for (auto& r : redims)
        if (!knownOutside(r)) AddLocal(p, r);
    if (!explicitVars)
        for (auto& a : assigned)
            if (!knownOutside(a)) AddLocal(p, a);
    p.implicitSlot.assign(p.locals.size(), 0);
    for (size_t i = declaredCount; i < p.locals.size(); ++i) p.implicitSlot[i] = 1;
    Ctx c{*this, &p, cls, true};
    ResolveBlock(c, p.body);
    p.paramCount = p.params.size();
    p.localCount = p.locals.size();
    p.byVal.clear();
    for (auto& prm : p.params) p.byVal.push_back(prm.byVal);
    p.resolved = true;
}

// One name, one meaning within a piece of code: a Dim'd name may not also be a
// procedure or class. A procedure defined twice is no error: the last one wins.
void CheckNames(const Chunk& chunk) {
    std::unordered_map<std::string, int> defined;
    for (auto& c : chunk.classes)
        if (defined[LowerName(c->name)]++) throw SyntaxError{1041, c->line, c->col};
    std::unordered_map<std::string, int> procs;
    for (auto& p : chunk.procs) {
        std::string lower = LowerName(p->name);
        if (!procs[lower]++ && defined[lower]++) throw SyntaxError{1041, p->line, p->col};
    }
    for (size_t i = 0; i < chunk.globals.size(); ++i)
        if (defined.count(chunk.globals[i]))
            throw SyntaxError{1041, chunk.globalPos[i].first, chunk.globalPos[i].second};
}

void Interpreter::Declare(Module& m, Chunk& chunk) {
    CheckNames(chunk);
    for (auto& cls : chunk.classes) {
        for (size_t i = 0; i < cls->fields.size(); ++i) cls->fieldIndex[LowerName(cls->fields[i].name)] = static_cast<int>(i);
        for (auto& p : cls->procs) {
            std::string lower = LowerName(p->name);
            auto& mem = cls->members[lower];
            if (p->kind == ProcKind::PropLet) mem.let = p.get();
            else if (p->kind == ProcKind::PropSet) mem.set = p.get();
            else mem.get = p.get();
            if (p->isDefault) {
                if (!cls->defaultMember.empty() && cls->defaultMember != lower) throw SyntaxError{1052, p->line, p->col};
                cls->defaultMember = lower;
            }
            if (lower == "class_initialize" && p->kind == ProcKind::Sub) {
                if (!p->params.empty()) throw SyntaxError{1053, p->line, p->col};
                cls->init = p.get();
            }
            if (lower == "class_terminate" && p->kind == ProcKind::Sub) {
                if (!p->params.empty()) throw SyntaxError{1053, p->line, p->col};
                cls->term = p.get();
            }
        }
        GlobalSlot& s = m.Slot(NameId(cls->name));
        if (s.cls) m.retiredClasses.push_back(s.cls);
        if (s.proc) m.retiredProcs.push_back(s.proc);
        s = GlobalSlot{};
        s.kind = GlobalSlot::Class;
        s.cls = cls;
    }
    for (auto& p : chunk.procs) {
        GlobalSlot& s = m.Slot(NameId(p->name));
        if (s.cls) m.retiredClasses.push_back(s.cls);
        if (s.proc) m.retiredProcs.push_back(s.proc);
        s = GlobalSlot{};
        s.kind = GlobalSlot::Proc;
        s.proc = p;
        bool replaced = false;
        for (auto& old : m.procs)
            if (NameEquals(old->name, p->name)) { old = p; replaced = true; }
        if (!replaced) m.procs.push_back(p);
    }
    for (auto& g : chunk.globals) {
        GlobalSlot& s = m.Slot(NameId(g));
        if (s.kind != GlobalSlot::Var) {
            if (s.cls) m.retiredClasses.push_back(s.cls);
            if (s.proc) m.retiredProcs.push_back(s.proc);
            s = GlobalSlot{};
            s.kind = GlobalSlot::Var;
        }
    }
    HoistConstants(m, chunk.statements);
}

// Constants of literal value exist before any code runs, wherever they stand:
// "If False Then Const c = 1" still defines c.
void Interpreter::HoistConstants(Module& m, const Block& b) {
    for (const auto& sp : b) {
        const Stmt& s = *sp;
        switch (s.kind) {
        case SK::Assign: {
            auto& a = static_cast<const AssignStmt&>(s);
            if (!a.isConst) break;
            const Expr* e = a.value.get();
            bool negate = false;
            if (e->kind == EK::Unary && !static_cast<const UnaryExpr*>(e)->isNot) {
                negate = true;
                e = static_cast<const UnaryExpr*>(e)->operand.get();
            }
            if (e->kind != EK::Literal) break;
            const Value& v = static_cast<const LiteralExpr*>(e)->value;
            GlobalSlot& slot = m.Slot(NameId(static_cast<const NameExpr&>(*a.target).name));
            slot.kind = GlobalSlot::Const;
            slot.value = negate ? Negate(v) : v;
            break;
        }
        case SK::If:
            for (const auto& blk : static_cast<const IfStmt&>(s).blocks) HoistConstants(m, blk);
            break;
        case SK::Select:
            for (const auto& k : static_cast<const SelectStmt&>(s).cases) HoistConstants(m, k.body);
            break;
        case SK::For: HoistConstants(m, static_cast<const ForStmt&>(s).body); break;
        case SK::ForEach: HoistConstants(m, static_cast<const ForEachStmt&>(s).body); break;
        case SK::Do: HoistConstants(m, static_cast<const DoStmt&>(s).body); break;
        case SK::With: HoistConstants(m, static_cast<const WithStmt&>(s).body); break;
        default: break;
        }
    }
}

void Interpreter::ResolveChunk(Module& m, Chunk& chunk, Proc* scope, ClassDef* cls, bool explicitVars) {
    for (auto& c : chunk.classes)
        for (auto& p : c->procs) ResolveProc(m, *p, c.get(), explicitVars);
    for (auto& p : chunk.procs) ResolveProc(m, *p, nullptr, explicitVars);
    Ctx c{*this, scope, cls, false};
    ResolveBlock(c, chunk.statements);
}

}  // namespace tarvelo::vbs
