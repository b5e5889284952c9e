// Instances of script classes: fields, Property Get/Let/Set, the default
// member, Class_Initialize and Class_Terminate (run when the last reference goes).
#include "scripting/vbscript/Interp.h"
#include "scripting/vbscript/Lexer.h"

namespace tarvelo::vbs {

ScriptObject::ScriptObject(std::shared_ptr<Interpreter*> link, ClassPtr cls, Module* module)
    : link_(std::move(link)), cls_(std::move(cls)), module_(module) {
    fields.resize(cls_->fields.size());
    for (size_t i = 0; i < cls_->fields.size(); ++i) {
        const auto& f = cls_->fields[i];
        if (!f.isArray) continue;
        fields[i] = Value::Array(MakeRef<ArrayData>(f.dims));
        if (!f.dims.empty()) fields[i].MarkFixed();
    }
    if (Interpreter* in = *link_) in->live_.insert(this);
}

ScriptObject::~ScriptObject() {
    if (Interpreter* in = *link_) in->live_.erase(this);
}

Value ScriptObject::Invoke(std::string_view name, InvokeKind kind, CallArgs& args) {
    Interpreter* in = *link_;
    if (!in) Raise(51);
    return in->CallObjectMember(*this, name, kind, args, false);
}

void ScriptObject::Assign(std::string_view name, InvokeKind kind, CallArgs& args, const Value& value) {
    Interpreter* in = *link_;
    if (!in) Raise(51);
    in->AssignObjectMember(*this, name, kind, args, value, false);
}

void ScriptObject::LastRelease() noexcept {
    Interpreter* in = *link_;
    if (in && cls_->term && !terminated_) {
        terminated_ = true;
        AddRef();
        in->RunTerminate(*this);
        if (RefCount() > 1) {
            Release();  // kept alive by what Class_Terminate stored
            return;
        }
    }
    DeleteSoon(this);
}

void Interpreter::RunTerminate(ScriptObject& obj) noexcept {
    try {
        CallProc(*obj.Class()->term, &obj, nullptr, 0);
    } catch (...) {
        // An error or time-out inside Class_Terminate ends only Class_Terminate.
    }
}

ObjectRef Interpreter::NewInstance(const ClassPtr& cls, Module* module) {
    Ref<ScriptObject> obj = MakeRef<ScriptObject>(link_, cls, module);
    if (cls->init) CallProc(*cls->init, obj.get(), nullptr, 0);
    return obj;
}

Value Interpreter::CallObjectMember(ScriptObject& obj, std::string_view name, InvokeKind kind, CallArgs& args,
                                    bool inside) {
    const ClassDef& cls = *obj.Class();
    std::string lower = name.empty() ? cls.defaultMember : LowerName(name);
    if (lower.empty()) {
        if (name.empty() && args.size() == 0) return Value::Obj(ObjectRef(&obj));
        Raise(438);
    }
    auto it = cls.members.find(lower);
    if (it != cls.members.end() && it->second.get) {
        Proc& p = *it->second.get;
        if (!p.isPublic && !inside) Raise(438);
        if (args.size() != p.params.size()) Raise(450);
        ArgRef inl[8];
        std::vector<ArgRef> heap;
        ArgRef* refs = inl;
        if (args.size() > 8) { heap.resize(args.size()); refs = heap.data(); }
        for (size_t i = 0; i < args.size(); ++i) refs[i] = {&args[i], false};
        Value hold = Value::Obj(ObjectRef(&obj));
        return CallProc(p, &obj, refs, args.size());
    }
    auto f = cls.fieldIndex.find(lower);
    if (f != cls.fieldIndex.end() && (inside || cls.fields[static_cast<size_t>(f->second)].isPublic)) {
        const Value& v = obj.fields[static_cast<size_t>(f->second)];
        if (args.size() == 0) return v;
        if (v.IsArray()) return v.RawArray()->items[v.RawArray()->Offset(&args[0], args.size())];
        if (v.IsObject() && v.RawObject()) return v.RawObject()->Invoke("", kind, args);
        Raise(13);
    }
    Raise(438);
}

void Interpreter::AssignObjectMember(ScriptObject& obj, std::string_view name, InvokeKind kind, CallArgs& args,
                                     const Value& value, bool inside) {
    const ClassDef& cls = *obj.Class();
    std::string lower = name.empty() ? cls.defaultMember : LowerName(name);
    if (lower.empty()) Raise(438);
    auto it = cls.members.find(lower);
    if (it != cls.members.end()) {
        Proc* p = kind == InvokeKind::Set ? it->second.set : it->second.let;
        if (!p) p = kind == InvokeKind::Set ? nullptr : it->second.set && value.IsObject() ? it->second.set : nullptr;
        if (!p || (!p->isPublic && !inside)) Raise(p ? 438 : (it->second.get ? 450 : 438));
        if (args.size() + 1 != p->params.size()) Raise(450);
        std::vector<ArgRef> refs(args.size() + 1);
        for (size_t i = 0; i < args.size(); ++i) refs[i] = {&args[i], false};
        Value v = value;
        if (kind == InvokeKind::Let && v.IsObject() && p == it->second.let) v = Deref(v);
        refs[args.size()] = {&v, true};
        Value hold = Value::Obj(ObjectRef(&obj));
        CallProc(*p, &obj, refs.data(), refs.size());
        return;
    }
    auto f = cls.fieldIndex.find(lower);
    if (f != cls.fieldIndex.end() && (inside || cls.fields[static_cast<size_t>(f->second)].isPublic)) {
        Value& slot = obj.fields[static_cast<size_t>(f->second)];
        if (args.size() == 0) {
            Store(slot, value, kind == InvokeKind::Set);
            return;
        }
        if (slot.IsArray()) {
            ArrayData* a = slot.MutableArray();
            Store(a->items[a->Offset(&args[0], args.size())], value, kind == InvokeKind::Set);
            return;
        }
        Raise(13);
    }
    Raise(438);
}

// ---------------------------------------------------------------- Err

namespace {

// Err.Raise's number as Err.Number reports it: the language's own errors
// (1 to 65535, or an HRESULT of its facility) by their number, the common
// system HRESULTs by the error they stand for, any other HRESULT unchanged.
int32_t RaisedNumber(int32_t n) {
    if (n == 0) return 5;
    if (n > 0) return n <= 0xFFFF ? n : 5;  // a success code raises nothing it could name
    uint32_t h = static_cast<uint32_t>(n);
    if ((h & 0xFFFF0000u) == 0x800A0000u) return static_cast<int32_t>(h & 0xFFFFu);
    static const struct { uint32_t hresult; int32_t number; } kMapped[] = {
        {0x80004001u, 445}, {0x80004002u, 430}, {0x8007000Eu, 7},   {0x80070057u, 5},
        {0x80070005u, 70},  {0x80070002u, 53},  {0x80070003u, 76},  {0x80070050u, 58},
        {0x800700B7u, 58},  {0x80070070u, 61},  {0x80020001u, 430}, {0x80020003u, 438},
        {0x80020005u, 13},  {0x80020006u, 438}, {0x80020007u, 446}, {0x80020008u, 458},
        {0x8002000Au, 6},   {0x8002000Bu, 9},   {0x8002000Du, 10},  {0x8002000Eu, 450},
        {0x8002000Fu, 449}, {0x80020012u, 11},  {0x80040154u, 429}, {0x800401E3u, 429},
        {0x80030002u, 53},  {0x80030003u, 76},  {0x80030005u, 70},
    };
    for (const auto& m : kMapped)
        if (m.hresult == h) return m.number;
    return n;
}

class ErrObject : public Object {
public:
    explicit ErrObject(std::shared_ptr<Interpreter*> link) : link_(std::move(link)) {}
    std::string TypeName() const override { return "ErrObject"; }

    Value Invoke(std::string_view name, InvokeKind kind, CallArgs& args) override {
        Interpreter* in = *link_;
        if (!in) Raise(51);
        ErrState& e = in->Err();
        if (name.empty() || NameEquals(name, "number")) return Value::Long(e.number);
        if (NameEquals(name, "description")) return Value::Str(e.description);
        if (NameEquals(name, "source")) return Value::Str(e.source);
        if (NameEquals(name, "helpfile")) return Value::Str(e.helpFile);
        if (NameEquals(name, "helpcontext")) return Value::Long(e.helpContext);
        if (NameEquals(name, "clear")) {
            e = ErrState{};
            return Value();
        }
        if (NameEquals(name, "raise")) RaiseFrom(e, args);
        Raise(438);
    }

    void Assign(std::string_view name, InvokeKind, CallArgs&, const Value& value) override {
        Interpreter* in = *link_;
        if (!in) Raise(51);
        ErrState& e = in->Err();
        if (name.empty() || NameEquals(name, "number")) e.number = ToLong(value);
        else if (NameEquals(name, "description")) e.description = ToString(value);
        else if (NameEquals(name, "source")) e.source = ToString(value);
        else if (NameEquals(name, "helpfile")) e.helpFile = ToString(value);
        else if (NameEquals(name, "helpcontext")) e.helpContext = ToLong(value);
        else Raise(438);
    }

private:
    // Raise(number[, source[, description[, helpfile, helpcontext]]]): what is left
    // out keeps its value from the error Err holds, or takes the standard one.
    [[noreturn]] static void RaiseFrom(const ErrState& cur, CallArgs& args) {
        if (args.size() < 1 || args.size() > 5 || !args.Has(0)) Raise(450);
        ScriptError err(RaisedNumber(ToLong(args[0])));
        err.source = args.Has(1) ? ToString(args[1]) : cur.source.empty() ? kRuntimeErrorSource : cur.source;
        err.description = args.Has(2) ? ToString(args[2])
                        : cur.description.empty() ? StandardErrorText(err.number) : cur.description;
        err.helpFile = args.Has(3) ? ToString(args[3]) : cur.helpFile;
        err.helpContext = args.Has(4) ? ToLong(args[4]) : cur.helpContext;
        throw err;
    }

    std::shared_ptr<Interpreter*> link_;
};

// What GetRef gives: calling its default member calls the procedure.
class ProcRef : public Object {
public:
    ProcRef(std::shared_ptr<Interpreter*> link, ProcPtr p) : link_(std::move(link)), proc_(std::move(p)) {}
    std::string TypeName() const override { return "Object"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        Interpreter* in = *link_;
        if (!in) Raise(51);
        if (!name.empty()) Raise(438);
        if (args.size() != proc_->params.size()) Raise(450);
        std::vector<Interpreter::ArgRef> refs(args.size());
        for (size_t i = 0; i < args.size(); ++i) refs[i] = {&args[i], false};
        return in->CallProc(*proc_, nullptr, refs.data(), refs.size());
    }

private:
    std::shared_ptr<Interpreter*> link_;
    ProcPtr proc_;
};

Interpreter& In(Runtime& rt) { return static_cast<Interpreter&>(rt); }

// Errors in code given to Eval or Execute, syntax errors too, are errors of the calling statement:
// lines of that text mean nothing in the script's file.
template <class F>
Value Compiled(F&& body) {
    try {
        return body();
    } catch (const SyntaxError& e) {
        throw ScriptError(e.number, {}, kCompileErrorSource);
    } catch (ScriptError& e) {
        e.line = e.col = 0;
        throw;
    }
}

Value FnEval(Runtime& rt, CallArgs& a) {
    Interpreter& in = In(rt);
    return Compiled([&] { return in.EvalText(*in.Current()->module, ToString(a[0])); });
}

Value FnExecute(Runtime& rt, CallArgs& a) {
    Interpreter& in = In(rt);
    return Compiled([&] {
        in.ExecuteText(*in.Current()->module, ToString(a[0]), false);
        return Value();
    });
}

Value FnExecuteGlobal(Runtime& rt, CallArgs& a) {
    Interpreter& in = In(rt);
    return Compiled([&] {
        in.ExecuteText(*in.Current()->module, ToString(a[0]), true);
        return Value();
    });
}

Value FnGetRef(Runtime& rt, CallArgs& a) {
    Interpreter& in = In(rt);
    ProcPtr p = in.FindProc(*in.Current()->module, ToString(a[0]));
    if (!p) Raise(5);
    return Value::Obj(MakeRef<ProcRef>(in.Link(), p));
}

Value FnVarType(Runtime&, CallArgs& a) { return Value::Int(static_cast<int16_t>(a[0].VarTypeCode())); }
Value FnTypeName(Runtime&, CallArgs& a) { return Value::Str(TypeNameOf(a[0])); }

}  // namespace

ObjectRef MakeErrObject(std::shared_ptr<Interpreter*> link) { return MakeRef<ErrObject>(std::move(link)); }

void RegisterLanguageBuiltins(Interpreter& in) {
    in.AddFunction("Eval", FnEval, 1, 1);
    in.AddFunction("Execute", FnExecute, 1, 1);
    in.AddFunction("ExecuteGlobal", FnExecuteGlobal, 1, 1);
    in.AddFunction("GetRef", FnGetRef, 1, 1);
    in.AddFunction("VarType", FnVarType, 1, 1);
    in.AddFunction("TypeName", FnTypeName, 1, 1);
    in.AddConstant("Err", Value::Obj(MakeErrObject(in.Link())));
}

}  // namespace tarvelo::vbs
