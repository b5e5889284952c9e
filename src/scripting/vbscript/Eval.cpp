// Expressions, calls and assignments to targets. Script procedures get their
// ByRef parameters bound straight to the caller's variables; array elements
// passed ByRef are copied in and written back after the call.
#include "scripting/vbscript/Interp.h"

namespace tarvelo::vbs {
namespace {

bool IsInt(int t) { return t == vbInteger || t == vbLong; }

// The comparison operators on two numbers of one kind; false for any other operator.
template <class T>
bool CompareNumbers(BinOp op, T p, T q, Value& out) {
    switch (op) {
    case BinOp::Eq: out = Value::Bool(p == q); return true;
    case BinOp::Ne: out = Value::Bool(p != q); return true;
    case BinOp::Lt: out = Value::Bool(p < q); return true;
    case BinOp::Le: out = Value::Bool(p <= q); return true;
    case BinOp::Gt: out = Value::Bool(p > q); return true;
    case BinOp::Ge: out = Value::Bool(p >= q); return true;
    default: return false;
    }
}

}  // namespace

// The common node kinds here; the rest in EvalOther, which keeps this one small.
Value Interpreter::Eval(const Expr& e) {
    switch (e.kind) {
    case EK::Literal: return static_cast<const LiteralExpr&>(e).value;
    case EK::Name: {
        auto& n = static_cast<const NameExpr&>(e);
        if (n.scope == Scope::Local) return *frame_->Local(n.index);
        return EvalName(n, InvokeKind::Get);
    }
    case EK::Call: {
        auto& c = static_cast<const CallExpr&>(e);
        // A call of a procedure of the script: straight to it.
        if (c.target->kind == EK::Name) {
            auto& n = static_cast<const NameExpr&>(*c.target);
            if (n.scope == Scope::Global) {
                GlobalSlot* s = Lookup(n);
                if (s && s->kind == GlobalSlot::Proc) return CallScript(*s->proc, nullptr, c.args, nullptr);
            }
        }
        return EvalCall(c, InvokeKind::Get);
    }
    case EK::Binary: {
        auto& b = static_cast<const BinaryExpr&>(e);
        if (b.simple) return Combine(b, OperandRef(b.left), OperandRef(b.right));
        return EvalBinary(b);
    }
    default: return EvalOther(e);
    }
}

Value Interpreter::EvalOther(const Expr& e) {
    switch (e.kind) {
    case EK::Member: return EvalMember(static_cast<const MemberExpr&>(e), InvokeKind::Get);
    case EK::Unary: {
        auto& u = static_cast<const UnaryExpr&>(e);
        Value v = Eval(*u.operand);
        return u.isNot ? Not(v) : Negate(v);
    }
    case EK::New: return NewObjectByName(static_cast<const NewExpr&>(e).className);
    case EK::Me:
        if (!frame_ || !frame_->me) Raise(424);
        return Value::Obj(ObjectRef(frame_->me));
    case EK::Paren: return Eval(*static_cast<const ParenExpr&>(e).inner);
    default: Raise(51);
    }
}

const Value& Interpreter::EvalRef(const Expr& e, Value& tmp) {
    if (e.kind == EK::Name) {
        auto& n = static_cast<const NameExpr&>(e);
        switch (n.scope) {
        case Scope::Local: return *frame_->Local(n.index);
        case Scope::Implicit: return *ImplicitRef(n);
        case Scope::Field: return frame_->me->fields[static_cast<size_t>(n.index)];
        case Scope::Global: {
            GlobalSlot* s = Lookup(n);
            if (s && (s->kind == GlobalSlot::Var || s->kind == GlobalSlot::Const || s->kind == GlobalSlot::Builtin))
                return s->value;
            break;
        }
        default: break;
        }
    } else if (e.kind == EK::Literal) {
        return static_cast<const LiteralExpr&>(e).value;
    }
    tmp = Eval(e);
    return tmp;
}

Value Interpreter::EvalBinary(const BinaryExpr& b) {
    // The left operand is read before the right one runs: by reference only when the right one runs no code.
    const Expr& r = *b.rhs;
    bool quiet = r.kind == EK::Literal ||
                 (r.kind == EK::Name && (static_cast<const NameExpr&>(r).scope == Scope::Local ||
                                         static_cast<const NameExpr&>(r).scope == Scope::Field));
    if (!quiet) {
        Value a = Eval(*b.lhs);
        Value c = Eval(r);
        return Combine(b, a, c);
    }
    Value ta, tb;
    const Value& a = EvalRef(*b.lhs, ta);
    const Value& c = EvalRef(r, tb);
    return Combine(b, a, c);
}

Value Interpreter::CombineSlow(const BinaryExpr& b, const Value& a, const Value& c) {
    int x = a.Type(), y = c.Type();
    // Fast paths for the common whole-number and Double cases.
    if (IsInt(x) && IsInt(y)) {
        int64_t p = a.RawInt(), q = c.RawInt();
        bool isLong = x == vbLong || y == vbLong;
        auto fit = [&](int64_t r) {
            if (!isLong && r >= -32768 && r <= 32767) return Value::Int(static_cast<int16_t>(r));
            if (r >= INT32_MIN && r <= INT32_MAX) return Value::Long(static_cast<int32_t>(r));
            return Value::Double(static_cast<double>(r));
        };
        switch (b.op) {
        case BinOp::Add: return fit(p + q);
        case BinOp::Sub: return fit(p - q);
        case BinOp::Mul: return fit(p * q);
        default: break;
        }
        Value out;
        if (CompareNumbers(b.op, p, q, out)) return out;
    } else if (x == vbDouble && y == vbDouble) {
        Value out;
        if (CompareNumbers(b.op, a.RawDouble(), c.RawDouble(), out)) return out;
    } else if (b.op == BinOp::Concat && x == vbString && y == vbString) {
        std::string s;
        s.reserve(a.RawString().size() + c.RawString().size());
        s += a.RawString();
        s += c.RawString();
        return Value::Str(std::move(s));
    }
    switch (b.op) {
    case BinOp::Eq: case BinOp::Ne: case BinOp::Lt: case BinOp::Le: case BinOp::Gt: case BinOp::Ge: {
        // A number written in the text compares with a string as a number.
        bool litA = b.lhs->kind == EK::Literal && static_cast<const LiteralExpr&>(*b.lhs).numeric;
        bool litB = b.rhs->kind == EK::Literal && static_cast<const LiteralExpr&>(*b.rhs).numeric;
        if (litA && (y == vbString || y == vbObject)) return BinaryOp(b.op, a, ToNumber(c));
        if (litB && (x == vbString || x == vbObject)) return BinaryOp(b.op, ToNumber(a), c);
        return BinaryOp(b.op, a, c);
    }
    default: return BinaryOp(b.op, a, c);
    }
}

GlobalSlot* Interpreter::LookupSlow(const NameExpr& n) {
    Module* m = frame_->module;
    GlobalSlot& s = m->Slot(n.id);
    if (s.kind != GlobalSlot::Unset) {
        n.cacheModule = m;
        n.cacheSlot = &s;
        return &s;
    }
    Module& global = modules_.front();
    GlobalSlot& g = global.Slot(n.id);
    if (g.kind != GlobalSlot::Unset) return &g;
    // Built-in names are looked up once and remembered in the global module.
    if (const Value* v = FindConstant(n.lower)) {
        g.kind = GlobalSlot::Builtin;
        g.value = *v;
        return &g;
    }
    if (const NativeFunction* f = FindFunction(n.lower)) {
        g.kind = GlobalSlot::Native;
        g.native = f;
        return &g;
    }
    for (auto& o : memberObjects_) {
        if (o->HasMember(n.lower)) {
            g.kind = GlobalSlot::HostMember;
            g.host = o.get();
            return &g;
        }
    }
    return nullptr;
}

Value* Interpreter::ImplicitRef(const NameExpr& n) {
    GlobalSlot* s = Lookup(n);
    if (s && s->kind == GlobalSlot::Var) return &s->value;
    return frame_->Local(n.index);
}

Value* Interpreter::VariableRef(const NameExpr& n, bool forWrite) {
    switch (n.scope) {
    case Scope::Local: return frame_->Local(n.index);
    case Scope::Implicit: return ImplicitRef(n);
    case Scope::Field: return &frame_->me->fields[static_cast<size_t>(n.index)];
    case Scope::Global: {
        GlobalSlot* s = Lookup(n);
        if (s && s->kind == GlobalSlot::Var) return &s->value;
        if (!s && forWrite) {
            if (frame_->module->optionExplicit) RaiseNamed(500, n.name);
            GlobalSlot& fresh = frame_->module->Slot(n.id);
            fresh.kind = GlobalSlot::Var;
            return &fresh.value;
        }
        return nullptr;
    }
    default: return nullptr;
    }
}

Value Interpreter::EvalName(const NameExpr& n, InvokeKind kind) {
    switch (n.scope) {
    case Scope::Local: return *frame_->Local(n.index);
    case Scope::Implicit: return *ImplicitRef(n);
    case Scope::Field: return frame_->me->fields[static_cast<size_t>(n.index)];
    case Scope::Member: {
        CallArgs none;
        return CallObjectMember(*frame_->me, n.lower, kind, none, true);
    }
    default: break;
    }
    GlobalSlot* s = Lookup(n);
    if (!s) {
        if (frame_->module->optionExplicit) RaiseNamed(500, n.name);
        return Value();
    }
    static const std::vector<ExprPtr> kNoArgs;
    return CallGlobal(n, *s, kNoArgs, kind);
}

Value Interpreter::CallGlobal(const NameExpr& n, GlobalSlot& s, const std::vector<ExprPtr>& args, InvokeKind kind) {
    switch (s.kind) {
    case GlobalSlot::Var: case GlobalSlot::Const: case GlobalSlot::Builtin:
        if (args.empty()) return s.value;
        return Index(s.value, args, kind);
    case GlobalSlot::Proc: return CallScript(*s.proc, nullptr, args, nullptr);  // replaced ones are retired, not freed
    case GlobalSlot::Native: return CallNative(*s.native, args, kind);
    case GlobalSlot::HostMember: return InvokeObject(Value::Obj(ObjectRef(s.host)), n.name, args, kind);
    default: RaiseNamed(13, n.name);
    }
}

void Interpreter::EvalArgs(const std::vector<ExprPtr>& args, std::vector<Value>& out) {
    out.clear();
    out.reserve(args.size());
    for (auto& a : args) out.push_back(a ? Eval(*a) : Value::Missing());
}

Value Interpreter::Index(const Value& target, const std::vector<ExprPtr>& args, InvokeKind kind) {
    if (target.IsArray()) {
        ArgValues buf(args.size());
        Value* v = buf.data();
        for (size_t i = 0; i < args.size(); ++i) {
            if (!args[i]) Raise(9);
            v[i] = Eval(*args[i]);
        }
        if (!target.IsArray()) Raise(13);  // the subscripts ran code that changed the variable
        const ArrayData* a = target.RawArray();
        return a->items[a->Offset(v, args.size())];
    }
    if (target.IsObject()) return InvokeObject(target, "", args, kind);
    if (args.empty()) return target;
    Raise(13);
}

Value Interpreter::InvokeObject(const Value& obj, std::string_view name, const std::vector<ExprPtr>& args,
                                InvokeKind kind, const std::string* lower) {
    if (!obj.IsObject()) Raise(424);
    Object* o = obj.RawObject();
    if (!o) Raise(424);  // a member of Nothing
    if (auto* so = dynamic_cast<ScriptObject*>(o)) {
        // Script classes: call the member directly so ByRef parameters reach the caller's variables.
        std::string owned;
        if (!lower) {
            owned = name.empty() ? so->Class()->defaultMember : LowerName(name);
            lower = &owned;
        }
        bool inside = frame_ && frame_->me == so;
        auto it = so->Class()->members.find(*lower);
        if (it != so->Class()->members.end() && it->second.get && (inside || it->second.get->isPublic)) {
            Value hold = obj;
            return CallScript(*it->second.get, so, args, nullptr);
        }
    }
    ArgValues buf(args.size());
    Value* v = buf.data();
    for (size_t i = 0; i < args.size(); ++i) v[i] = args[i] ? Eval(*args[i]) : Value::Missing();
    CallArgs ca(v, args.size());
    Value hold = obj;  // the call may drop the last other reference
    return o->Invoke(name, kind, ca);
}

Value Interpreter::EvalCall(const CallExpr& c, InvokeKind kind) {
    const Expr& t = *c.target;
    if (t.kind == EK::Name) {
        auto& n = static_cast<const NameExpr&>(t);
        switch (n.scope) {
        case Scope::Local: return Index(*frame_->Local(n.index), c.args, kind);
        case Scope::Implicit: return Index(*ImplicitRef(n), c.args, kind);
        case Scope::Field: return Index(frame_->me->fields[static_cast<size_t>(n.index)], c.args, kind);
        case Scope::Member: return InvokeObject(Value::Obj(ObjectRef(frame_->me)), n.lower, c.args, kind, &n.lower);
        default: break;
        }
        GlobalSlot* s = Lookup(n);
        if (!s) RaiseNamed(13, n.name);
        if (s->kind == GlobalSlot::Proc) return CallScript(*s->proc, nullptr, c.args, nullptr);
        // "obj()" calls the default member even with no arguments.
        if (s->kind == GlobalSlot::Var || s->kind == GlobalSlot::Const || s->kind == GlobalSlot::Builtin)
            return Index(s->value, c.args, kind);
        return CallGlobal(n, *s, c.args, kind);
    }
    if (t.kind == EK::Member) {
        auto& m = static_cast<const MemberExpr&>(t);
        Value obj = m.object ? Eval(*m.object) : WithObject();
        return InvokeObject(obj, m.name, c.args, kind, &m.lower);
    }
    Value v = Eval(t);
    return Index(v, c.args, kind);
}

Value Interpreter::EvalMember(const MemberExpr& m, InvokeKind kind) {
    Value obj = m.object ? Eval(*m.object) : WithObject();
    static const std::vector<ExprPtr> kNoArgs;
    return InvokeObject(obj, m.name, kNoArgs, kind, &m.lower);
}

Value Interpreter::WithObject() {
    if (!frame_ || withDepth_ <= frame_->withBase) Raise(505);  // ".name" outside With
    return withStack_.back();
}

void Interpreter::Store(Value& slot, Value v, bool isSet) {
    if (isSet) {
        if (!v.IsObject()) Raise(424);
    } else if (v.IsObject()) {
        v = Deref(v);
    }
    slot = std::move(v);
}

void Interpreter::AssignTo(const Expr& target, Value value, bool isSet) {
    InvokeKind kind = isSet ? InvokeKind::Set : InvokeKind::Let;
    if (target.kind == EK::Name) {
        auto& n = static_cast<const NameExpr&>(target);
        if (n.scope == Scope::Member) {
            CallArgs none;
            AssignObjectMember(*frame_->me, n.lower, kind, none, value, true);
            return;
        }
        if (n.scope == Scope::Global) {
            GlobalSlot* s = Lookup(n);
            if (s && s->kind == GlobalSlot::HostMember) {
                CallArgs none;
                s->host->Assign(n.name, kind, none, value);
                return;
            }
            if (s && s->kind != GlobalSlot::Var) Raise(501);
        }
        Value* var = VariableRef(n, true);
        if (!var) Raise(501);
        Store(*var, std::move(value), isSet);
        return;
    }
    if (target.kind == EK::Member) {
        auto& m = static_cast<const MemberExpr&>(target);
        Value obj = m.object ? Eval(*m.object) : WithObject();
        if (!obj.IsObject() || !obj.RawObject()) Raise(424);
        CallArgs none;
        if (auto* so = dynamic_cast<ScriptObject*>(obj.RawObject()))
            AssignObjectMember(*so, m.name, kind, none, value, frame_->me == so);
        else
            obj.RawObject()->Assign(m.name, kind, none, value);
        return;
    }
    if (target.kind != EK::Call) Raise(501);
    auto& c = static_cast<const CallExpr&>(target);
    std::vector<Value> subs;
    const Expr& t = *c.target;
    if (t.kind == EK::Name) {
        auto& n = static_cast<const NameExpr&>(t);
        if (n.scope == Scope::Member) {
            EvalArgs(c.args, subs);
            CallArgs ca(subs.data(), subs.size());
            AssignObjectMember(*frame_->me, n.lower, kind, ca, value, true);
            return;
        }
        Value* var = VariableRef(n, false);
        if (!var && n.scope == Scope::Global) {
            GlobalSlot* s = Lookup(n);
            if (s && s->kind == GlobalSlot::HostMember) {
                EvalArgs(c.args, subs);
                CallArgs ca(subs.data(), subs.size());
                s->host->Assign(n.name, kind, ca, value);
                return;
            }
        }
        if (!var) Raise(13);
        EvalArgs(c.args, subs);
        var = VariableRef(n, false);  // the subscripts may have run code
        if (var->IsArray()) {
            ArrayData* a = var->MutableArray();
            size_t off = a->Offset(subs.data(), subs.size());
            Store(a->items[off], std::move(value), isSet);
            return;
        }
        if (var->IsObject() && var->RawObject()) {
            Value obj = *var;
            CallArgs ca(subs.data(), subs.size());
            obj.RawObject()->Assign("", kind, ca, value);
            return;
        }
        Raise(13);
    }
    if (t.kind == EK::Member) {
        auto& m = static_cast<const MemberExpr&>(t);
        Value obj = m.object ? Eval(*m.object) : WithObject();
        if (!obj.IsObject() || !obj.RawObject()) Raise(424);
        EvalArgs(c.args, subs);
        CallArgs ca(subs.data(), subs.size());
        if (auto* so = dynamic_cast<ScriptObject*>(obj.RawObject()))
            AssignObjectMember(*so, m.name, kind, ca, value, frame_->me == so);
        else
            obj.RawObject()->Assign(m.name, kind, ca, value);
        return;
    }
    Value obj = Eval(t);
    if (!obj.IsObject() || !obj.RawObject()) Raise(13);
    EvalArgs(c.args, subs);
    CallArgs ca(subs.data(), subs.size());
    obj.RawObject()->Assign("", kind, ca, value);
}

// A built-in class comes first: a script's own "Class RegExp" is allowed but
// never replaces the built-in one for New.
Value Interpreter::NewObjectByName(const std::string& name) {
    if (ObjectRef o = NewObject(name)) return Value::Obj(o);
    int id = NameId(name);
    Module* m = frame_ ? frame_->module : &modules_.front();
    GlobalSlot* s = &m->Slot(id);
    if (s->kind != GlobalSlot::Class) s = &modules_.front().Slot(id);
    if (s->kind == GlobalSlot::Class) return Value::Obj(NewInstance(s->cls, m));
    RaiseNamed(506, name);
}

}  // namespace tarvelo::vbs
