// Statements. An error inside a statement goes to the frame's On Error
// setting: with Resume Next the statement is abandoned and the next one runs;
// an error in a condition or a loop header continues into the block it guards.
#include <cmath>

#include "scripting/vbscript/Interp.h"

namespace tarvelo::vbs {
namespace {

bool IsIntegral(int t) { return t == vbInteger || t == vbLong || t == vbByte; }

}  // namespace

void Interpreter::HandleError(ScriptError& e, const Stmt& s) { RecordError(e, s.line, s.col); }

// Under On Error Resume Next the error goes into Err; otherwise it goes on up.
// Called from a catch block: "throw;" rethrows the error being handled.
void Interpreter::RecordError(ScriptError& e, int line, int col) {
    if (e.line == 0) {
        e.line = line;
        e.col = col;
    }
    if (!frame_->resumeNext) throw;
    err_.number = e.number;
    err_.description = e.description.empty() ? StandardErrorText(e.number) : e.description;
    err_.source = e.source.empty() ? "VBScript runtime" : e.source;
    err_.line = e.line;
    err_.col = e.col;
}

Flow Interpreter::ExecBlock(const Block& b) {
    for (const auto& s : b) {
        Flow f;
        try {
            f = Exec(*s);
        } catch (ScriptError& e) {
            HandleError(e, *s);
            continue;
        }
        if (f != Flow::Normal) return f;
    }
    return Flow::Normal;
}

bool Interpreter::Condition(const Expr& e, bool onError) {
    try {
        Value v = Eval(e);
        if (v.Type() == vbBoolean) return v.RawBool();
        if (v.IsNull()) return false;
        return ToBool(v);
    } catch (ScriptError& err) {
        RecordError(err, e.line, e.col);
        return onError;
    }
}

void Interpreter::CheckClock() {
    if (MonotonicMillis() > deadlineMs_) throw ScriptAbort{4096};
}

void Interpreter::SetDeadline() {
    hasDeadline_ = timeoutMs_ > 0;
    if (hasDeadline_) deadlineMs_ = MonotonicMillis() + timeoutMs_;
}

Flow Interpreter::Exec(const Stmt& s) {
    switch (s.kind) {
    case SK::Assign: ExecAssign(static_cast<const AssignStmt&>(s)); return Flow::Normal;
    case SK::Call: {
        const Expr& c = *static_cast<const CallStmt&>(s).call;
        if (c.kind == EK::Call) EvalCall(static_cast<const CallExpr&>(c), InvokeKind::Call);
        else if (c.kind == EK::Name) CallName(static_cast<const NameExpr&>(c));
        else if (c.kind == EK::Member) EvalMember(static_cast<const MemberExpr&>(c), InvokeKind::Call);
        else Eval(c);
        return Flow::Normal;
    }
    case SK::If: return ExecIf(static_cast<const IfStmt&>(s));
    case SK::Select: return ExecSelect(static_cast<const SelectStmt&>(s));
    case SK::For: return ExecFor(static_cast<const ForStmt&>(s));
    case SK::ForEach: return ExecForEach(static_cast<const ForEachStmt&>(s));
    case SK::Do: return ExecDo(static_cast<const DoStmt&>(s));
    case SK::Exit:
        switch (static_cast<const ExitStmt&>(s).what) {
        case ExitKind::Do: return Flow::ExitDo;
        case ExitKind::For: return Flow::ExitFor;
        default: return Flow::ExitProc;
        }
    case SK::OnError:
        frame_->resumeNext = static_cast<const OnErrorStmt&>(s).resumeNext;
        err_ = ErrState{};
        return Flow::Normal;
    case SK::Dim: ExecDim(static_cast<const DimStmt&>(s)); return Flow::Normal;
    case SK::ReDim: ExecReDim(static_cast<const ReDimStmt&>(s)); return Flow::Normal;
    case SK::Erase:
        for (auto& v : static_cast<const EraseStmt&>(s).vars) {
            Value* var = VariableRef(static_cast<const NameExpr&>(*v), false);
            if (!var || !var->IsArray()) Raise(13);
            ArrayData* a = var->MutableArray();
            if (a->fixed) {
                for (auto& item : a->items) item = Value();
            } else {
                *var = Value::Array(MakeRef<ArrayData>());
            }
        }
        return Flow::Normal;
    case SK::With: {
        auto& w = static_cast<const WithStmt&>(s);
        frame_->with.push_back(Eval(*w.object));
        struct Pop {
            std::vector<Value>& v;
            ~Pop() { v.pop_back(); }
        } pop{frame_->with};
        return ExecBlock(w.body);
    }
    case SK::Nop: return Flow::Normal;
    }
    return Flow::Normal;
}

void Interpreter::ExecAssign(const AssignStmt& s) {
    if (s.isConst) {
        auto& n = static_cast<const NameExpr&>(*s.target);
        Value v = Eval(*s.value);
        if (n.scope == Scope::Global) {
            GlobalSlot& slot = frame_->module->Slot(n.id);
            slot.kind = GlobalSlot::Const;
            slot.value = std::move(v);
            return;
        }
        Value* var = VariableRef(n, true);
        if (var) *var = std::move(v);
        return;
    }
    if (s.append) {
        auto& b = static_cast<const BinaryExpr&>(*s.value);
        if (s.appendChecked < 0) {
            // Only when nothing on the right can run script code that changes the target.
            bool ok = true;
            std::vector<const Expr*> todo{b.rhs.get()};
            while (!todo.empty() && ok) {
                const Expr* e = todo.back();
                todo.pop_back();
                switch (e->kind) {
                case EK::Literal: case EK::Name: break;
                case EK::Unary: todo.push_back(static_cast<const UnaryExpr*>(e)->operand.get()); break;
                case EK::Paren: todo.push_back(static_cast<const ParenExpr*>(e)->inner.get()); break;
                case EK::Binary:
                    todo.push_back(static_cast<const BinaryExpr*>(e)->lhs.get());
                    todo.push_back(static_cast<const BinaryExpr*>(e)->rhs.get());
                    break;
                case EK::Call: {
                    auto* c = static_cast<const CallExpr*>(e);
                    const GlobalSlot* g = nullptr;
                    if (c->target->kind == EK::Name && static_cast<const NameExpr&>(*c->target).scope == Scope::Global)
                        g = Lookup(static_cast<const NameExpr&>(*c->target));
                    if (!g || g->kind != GlobalSlot::Native) ok = false;
                    for (auto& a : c->args)
                        if (a) todo.push_back(a.get());
                    break;
                }
                default: ok = false;
                }
            }
            s.appendChecked = ok ? 1 : 0;
        }
        if (s.appendChecked == 1) {
            Value r = Eval(*b.rhs);
            auto& n = static_cast<const NameExpr&>(*s.target);
            Value* var = n.scope == Scope::Member ? nullptr : VariableRef(n, false);
            if (var && var->IsString()) {
                if (r.IsString()) var->RawString() += r.RawString();
                else if (!r.IsNull()) var->RawString() += ToString(r);
                return;
            }
            Value cur = Eval(*b.lhs);
            LetName(n, BinaryOp(BinOp::Concat, cur, r));
            return;
        }
    }
    if (!s.isSet && s.target->kind == EK::Name) {
        auto& n = static_cast<const NameExpr&>(*s.target);
        if (n.scope == Scope::Local) {
            // Plain variables take plain values directly.
            Value v = Eval(*s.value);
            if (v.IsObject()) v = Deref(v);
            Value& slot = *frame_->slots[n.index];
            if (slot.IsObject() && slot.RawObject()) LetDefault(slot, std::move(v));
            else slot = std::move(v);
            return;
        }
        LetName(n, Eval(*s.value));
        return;
    }
    AssignTo(*s.target, Eval(*s.value), s.isSet);
}

// "x = v" where x holds an object assigns the object's default property.
void Interpreter::LetName(const NameExpr& n, Value v) {
    Value* var = n.scope == Scope::Member ? nullptr : VariableRef(n, false);
    if (var && var->IsObject() && var->RawObject()) LetDefault(*var, std::move(v));
    else AssignTo(n, std::move(v), false);
}

void Interpreter::LetDefault(const Value& target, Value v) {
    Value obj = target;  // the property may replace the variable
    if (v.IsObject()) v = Deref(v);
    CallArgs none;
    if (auto* so = dynamic_cast<ScriptObject*>(obj.RawObject()))
        AssignObjectMember(*so, "", InvokeKind::Let, none, v, frame_->me == so);
    else
        obj.RawObject()->Assign("", InvokeKind::Let, none, v);
}

// A name alone as a statement: a procedure is called; a variable that holds an
// object (GetRef's result) has its default member called.
void Interpreter::CallName(const NameExpr& n) {
    Value* var = n.scope == Scope::Member ? nullptr : VariableRef(n, false);
    if (!var) {
        EvalName(n, InvokeKind::Call);
        return;
    }
    if (var->IsObject() && var->RawObject()) {
        static const std::vector<ExprPtr> kNoArgs;
        Value obj = *var;
        InvokeObject(obj, "", kNoArgs, InvokeKind::Call);
    }
}

Flow Interpreter::ExecIf(const IfStmt& s) {
    for (size_t i = 0; i < s.conds.size(); ++i)
        if (Condition(*s.conds[i])) return ExecBlock(s.blocks[i]);
    if (s.blocks.size() > s.conds.size()) return ExecBlock(s.blocks.back());
    return Flow::Normal;
}

Flow Interpreter::ExecSelect(const SelectStmt& s) {
    Value subject;
    try {
        subject = Eval(*s.subject);
    } catch (ScriptError& e) {
        HandleError(e, s);
        // Resumed: the first block runs, as the next statement after the failed test.
        return s.cases.empty() ? Flow::Normal : ExecBlock(s.cases.front().body);
    }
    for (const auto& c : s.cases) {
        if (c.isElse) return ExecBlock(c.body);
        for (const auto& v : c.values) {
            bool hit;
            try {
                Value x = Eval(*v);
                bool lit = v->kind == EK::Literal && static_cast<const LiteralExpr&>(*v).numeric;
                int r = lit && subject.IsString() ? Compare(ToNumber(subject), x) : Compare(subject, x);
                hit = r == 0;
            } catch (ScriptError& e) {
                if (!e.line) { e.line = c.line; e.col = c.col; }
                HandleError(e, s);
                hit = true;
            }
            if (hit) return ExecBlock(c.body);
        }
    }
    return Flow::Normal;
}

// A loop header that failed under Resume Next: execution resumes with the first
// statement of the body; with no bounds to test, the loop ends at its Next.
Flow Interpreter::BodyOnce(const Stmt& s, ScriptError& e, const Block& body) {
    HandleError(e, s);
    Flow f = ExecBlock(body);
    return f == Flow::ExitFor ? Flow::Normal : f;
}

Flow Interpreter::ExecFor(const ForStmt& s) {
    Value from, to, step;
    auto& var = static_cast<const NameExpr&>(*s.var);
    try {
        from = ToNumber(Eval(*s.from));
        to = ToNumber(Eval(*s.to));
        step = s.step ? ToNumber(Eval(*s.step)) : Value::Int(1);
        AssignTo(var, from, false);
    } catch (ScriptError& e) {
        return BodyOnce(s, e, s.body);
    }
    if (IsIntegral(from.Type()) && IsIntegral(to.Type()) && IsIntegral(step.Type())) {
        int64_t end = to.RawInt(), inc = step.RawInt();
        for (;;) {
            Value* v = VariableRef(var, true);
            int64_t cur;
            if (v && IsIntegral(v->Type())) cur = v->RawInt();
            else cur = static_cast<int64_t>(ToDouble(v ? *v : EvalName(var, InvokeKind::Get)));
            if (inc >= 0 ? cur > end : cur < end) break;
            Flow f = ExecBlock(s.body);
            if (f == Flow::ExitFor) break;
            if (f != Flow::Normal) return f;
            CheckTime();
            v = VariableRef(var, true);
            int64_t now = v && IsIntegral(v->Type()) ? v->RawInt() : static_cast<int64_t>(ToDouble(*v));
            int64_t next = now + inc;
            // counter + step: an Integer stays Integer until it would overflow.
            bool isLong = (v && v->Type() == vbLong) || step.Type() == vbLong;
            Value nv;
            if (!isLong && next >= -32768 && next <= 32767) nv = Value::Int(static_cast<int16_t>(next));
            else if (next >= INT32_MIN && next <= INT32_MAX) nv = Value::Long(static_cast<int32_t>(next));
            else Raise(6);
            if (v) *v = std::move(nv);
            else AssignTo(var, std::move(nv), false);
        }
        return Flow::Normal;
    }
    double end = ToDouble(to), inc = ToDouble(step);
    for (;;) {
        Value cur = EvalName(var, InvokeKind::Get);
        double c = ToDouble(cur);
        if (inc >= 0 ? c > end : c < end) break;
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitFor) break;
        if (f != Flow::Normal) return f;
        CheckTime();
        AssignTo(var, BinaryOp(BinOp::Add, EvalName(var, InvokeKind::Get), step), false);
    }
    return Flow::Normal;
}

Flow Interpreter::ExecForEach(const ForEachStmt& s) {
    Value coll;
    std::vector<Value> items;
    const std::vector<Value>* list = &items;
    try {
        coll = Eval(*s.collection);
        if (coll.IsArray()) {
            list = &coll.RawArray()->items;  // coll keeps the storage alive; writes to the variable unshare it
        } else if (coll.IsObject()) {
            if (!coll.RawObject()) Raise(424);
            if (!coll.RawObject()->Enumerate(items)) Raise(451);
        } else {
            Raise(451);
        }
    } catch (ScriptError& e) {
        return BodyOnce(s, e, s.body);
    }
    for (size_t i = 0; i < list->size(); ++i) {
        const Value& item = (*list)[i];
        AssignTo(*s.var, item, item.IsObject());
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitFor) break;
        if (f != Flow::Normal) return f;
        CheckTime();
    }
    return Flow::Normal;
}

// A failed condition under Resume Next goes on with the next statement: the body
// for a test at the top, the statement after the loop for a test at the bottom.
Flow Interpreter::ExecDo(const DoStmt& s) {
    for (;;) {
        if (s.form == DoStmt::PreWhile && !Condition(*s.cond)) break;
        if (s.form == DoStmt::PreUntil && Condition(*s.cond, false)) break;
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitDo) break;
        if (f != Flow::Normal) return f;
        if (s.form == DoStmt::PostWhile && !Condition(*s.cond, false)) break;
        if (s.form == DoStmt::PostUntil && Condition(*s.cond)) break;
        CheckTime();
    }
    return Flow::Normal;
}

void Interpreter::ExecDim(const DimStmt& s) {
    for (const auto& item : s.items) {
        if (!item.isArray) continue;
        std::vector<int32_t> uppers;
        for (const auto& b : item.bounds) uppers.push_back(ToLong(Eval(*b)));
        auto a = MakeRef<ArrayData>(uppers);
        a->fixed = !uppers.empty();
        Value* var = VariableRef(*item.var, true);
        if (var) *var = Value::Array(a);
    }
}

void Interpreter::ExecReDim(const ReDimStmt& s) {
    for (const auto& item : s.items) {
        std::vector<int32_t> uppers;
        for (const auto& b : item.bounds) uppers.push_back(ToLong(Eval(*b)));
        Value* var = VariableRef(static_cast<const NameExpr&>(*item.var), true);
        if (!var) Raise(501);
        if (var->IsArray() && var->RawArray()->fixed) Raise(10);
        if (s.preserve && var->IsArray()) {
            var->MutableArray()->Resize(uppers, true);
        } else {
            *var = Value::Array(MakeRef<ArrayData>(uppers));
        }
    }
}

}  // namespace tarvelo::vbs
