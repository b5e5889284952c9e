// Calls: built-in functions and script procedures. A script call evaluates its
// arguments straight into the callee's slots on the slot stack; ByRef
// parameters are bound to the caller's variables; array elements passed ByRef
// are copied in and written back after the call.
#include "scripting/vbscript/Interp.h"

namespace tarvelo::vbs {

Slot* SlotStack::Grow(size_t n) {
    size_t next = blocks_.empty() ? 0 : current_ + 1;
    // Blocks above the current one hold nothing: one too small for n is replaced.
    if (next < blocks_.size() && blocks_[next].size < n) blocks_.resize(next);
    if (next == blocks_.size()) {
        Block b;
        b.size = std::max(kBlockSize, n);
        b.slots = std::make_unique<Slot[]>(b.size);
        for (size_t i = 0; i < b.size; ++i) b.slots[i].ref = &b.slots[i].value;
        blocks_.push_back(std::move(b));
    }
    current_ = next;
    begin_ = blocks_[next].slots.get();
    end_ = begin_ + blocks_[next].size;
    return begin_;
}

void SlotStack::Rewind(Slot* base) noexcept {
    while (current_ > 0 && !(base >= begin_ && base <= end_)) {
        --current_;
        begin_ = blocks_[current_].slots.get();
        end_ = begin_ + blocks_[current_].size;
    }
    top_ = base;
}

Value Interpreter::CallNative(const NativeFunction& f, const std::vector<ExprPtr>& args, InvokeKind kind) {
    size_t n = args.size();
    if (static_cast<int>(n) < f.minArgs || (f.maxArgs >= 0 && static_cast<int>(n) > f.maxArgs)) Raise(450);
    if (f.use == CallUse::StatementOnly && kind == InvokeKind::Get) Raise(13);
    ArgValues buf(n);
    Value* v = buf.data();
    for (size_t i = 0; i < n; ++i) v[i] = args[i] ? Eval(*args[i]) : Value::Missing();
    CallArgs ca(v, n);
    Value r = f.fn(*this, ca);
    if (f.use == CallUse::ValueOnly && kind == InvokeKind::Call) Raise(458);
    return r;
}

// Runs p in a frame over its slots, which hold the arguments already.
inline Value Interpreter::RunProc(Proc& p, ScriptObject* me, Slot* locals) {
    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& x) : d(x) { ++d; }
        ~DepthGuard() { --d; }
    } guard(callDepth_);
    ObjectRef keepMe(me);
    Frame f;
    f.proc = &p;
    f.module = p.module;
    f.me = me;
    f.slots = locals;
    FrameScope scope(*this, f);
    ExecBlock(p.body);
    if (p.resultSlot >= 0) return std::move(locals[p.resultSlot].value);
    return Value();
}

// Array elements passed ByRef: written back after the call.
struct Interpreter::WriteBack {
    size_t arg;
    const CallExpr* elem;
    std::vector<Value> subs;
};

Value Interpreter::CallScript(Proc& p, ScriptObject* me, const std::vector<ExprPtr>& args, const Value* extra) {
    size_t argc = args.size();
    if (argc + (extra ? 1 : 0) != p.paramCount) Raise(450);
    EnterCall();
    StackSlots frame(slots_, p.localCount, p.paramCount);
    Slot* locals = frame.slots;
    std::unique_ptr<std::vector<WriteBack>> writeBacks;
    const std::unique_ptr<Expr>* argv = args.data();
    for (size_t i = 0; i < argc; ++i) {
        const Expr* a = argv[i].get();
        if (!a) Raise(450);
        if (!p.byVal[i]) {
            if (a->kind == EK::Name) {
                auto& nm = static_cast<const NameExpr&>(*a);
                if (nm.scope == Scope::Local) {
                    locals[i].ref = frame_->Local(nm.index);
                    continue;
                }
                if (nm.scope != Scope::Member) {
                    if (Value* var = VariableRef(nm, false)) {
                        locals[i].ref = var;
                        continue;
                    }
                }
            } else if (a->kind == EK::Call) {
                auto& ce = static_cast<const CallExpr&>(*a);
                if (ce.target->kind == EK::Name && static_cast<const NameExpr&>(*ce.target).scope != Scope::Member) {
                    Value* var = VariableRef(static_cast<const NameExpr&>(*ce.target), false);
                    if (var && var->IsArray()) {
                        WriteBack wb{i, &ce, {}};
                        EvalArgs(ce.args, wb.subs);
                        if (!var->IsArray()) Raise(13);
                        locals[i].value = var->RawArray()->items[var->RawArray()->Offset(wb.subs.data(), wb.subs.size())];
                        if (!writeBacks) writeBacks = std::make_unique<std::vector<WriteBack>>();
                        writeBacks->push_back(std::move(wb));
                        continue;
                    }
                }
            }
        }
        locals[i].value = Eval(*a);
    }
    if (extra) locals[argc].value = *extra;
    Value r = RunProc(p, me, locals);
    if (writeBacks) WriteBackElements(*writeBacks, locals);
    return r;
}

void Interpreter::WriteBackElements(std::vector<WriteBack>& writeBacks, Slot* locals) {
    for (auto& wb : writeBacks) {
        Value* var = VariableRef(static_cast<const NameExpr&>(*wb.elem->target), false);
        if (!var || !var->IsArray()) continue;
        try {
            size_t off = var->RawArray()->Offset(wb.subs.data(), wb.subs.size());
            var->MutableArray()->items[off] = std::move(locals[wb.arg].value);
        } catch (const ScriptError&) {
            // The array was resized below the element meanwhile: nothing to write back to.
        }
    }
}

Value Interpreter::CallProc(Proc& p, ScriptObject* me, ArgRef* args, size_t argc) {
    EnterCall();
    StackSlots frame(slots_, p.localCount, p.paramCount);
    Slot* locals = frame.slots;
    for (size_t i = 0; i < argc && i < p.localCount; ++i) {
        if (p.byVal[i]) locals[i].value = args[i].temp ? std::move(*args[i].ptr) : *args[i].ptr;
        else locals[i].ref = args[i].ptr;
    }
    return RunProc(p, me, locals);
}

}  // namespace tarvelo::vbs
