// The engine API over the interpreter: error recording and the time-out.
#include "scripting/vbscript/Engine.h"

#include <new>
#include <stdexcept>

#include "scripting/vbscript/Interp.h"
#include "scripting/vbscript/Parser.h"

namespace tarvelo::vbs {

std::optional<ScriptErrorInfo> CheckScript(std::string_view code) {
    try {
        CheckNames(ParseProgram(code));
        return std::nullopt;
    } catch (const SyntaxError& s) {
        ScriptErrorInfo e;
        e.number = s.number;
        e.description = StandardErrorText(s.number);
        e.source = kCompileErrorSource;
        e.line = s.line;
        e.column = s.col;
        return e;
    }
}

Engine::Engine() : in_(std::make_unique<Interpreter>()) {}
Engine::~Engine() = default;

void Engine::Reset() {
    HostHooks hooks = in_->Host();
    if (active_ > 0) retired_.push_back(std::move(in_));
    in_ = std::make_unique<Interpreter>();
    in_->SetAllowUI(allowUI_);
    in_->SetTimeout(timeoutMs_);
    in_->Host() = std::move(hooks);
    error_.Clear();
}

bool Engine::SetLanguage(std::string_view language) { return NameEquals(language, "VBScript"); }
bool Engine::AllowUI() const { return allowUI_; }
void Engine::SetAllowUI(bool on) {
    allowUI_ = on;
    in_->SetAllowUI(on);
}
void Engine::SetTimeout(long ms) {
    timeoutMs_ = ms;
    in_->SetTimeout(ms);
}

HostHooks& Engine::Host() { return in_->Host(); }
Runtime& Engine::GetRuntime() { return *in_; }

void Engine::AddObject(const std::string& name, ObjectRef object, bool addMembers) {
    in_->AddNamedObject(name, std::move(object), addMembers);
}

ScriptModule Engine::AddModule(const std::string& name) {
    in_->GetModule(name);
    return ScriptModule(*this, name);
}

ScriptModule Engine::GlobalModule() { return ScriptModule(*this, "Global"); }

template <class F>
auto Engine::Guard(F&& body) -> decltype(body()) {
    bool outer = active_ == 0;
    if (outer) in_->SetDeadline();
    struct Depth {
        Engine& e;
        bool outer;
        Interpreter& in;
        ~Depth() {
            --e.active_;
            if (outer) {
                in.ClearDeadline();
                e.retired_.clear();
            }
        }
    } depth{*this, outer, *in_};
    ++active_;
    ScriptErrorInfo e;
    try {
        return body();
    } catch (const SyntaxError& s) {
        e.number = s.number;
        e.description = StandardErrorText(s.number);
        e.source = kCompileErrorSource;
        e.line = s.line;
        e.column = s.col;
    } catch (const ScriptError& s) {
        e.number = s.number;
        e.description = s.description.empty() ? StandardErrorText(s.number) : s.description;
        e.source = s.source.empty() ? kRuntimeErrorSource : s.source;
        e.name = s.name;
        e.line = s.line;
        e.column = s.col;
    } catch (const ScriptAbort& a) {
        e.number = a.number;
        e.description = StandardErrorText(a.number);
        e.source = kRuntimeErrorSource;
    } catch (const std::bad_alloc&) {
        e.number = 7;  // a string or array too large for memory
        e.description = StandardErrorText(7);
        e.source = kRuntimeErrorSource;
    } catch (const std::length_error&) {
        e.number = 7;
        e.description = StandardErrorText(7);
        e.source = kRuntimeErrorSource;
    }
    error_ = e;
    throw ScriptException(e);
}

void ScriptModule::AddCode(std::string_view code) {
    Engine& en = *engine_;
    en.Guard([&] { en.in_->AddCode(en.in_->GetModule(name_), code); });
}

std::vector<ProcedureInfo> ScriptModule::Procedures() const {
    std::vector<ProcedureInfo> out;
    for (const auto& p : engine_->in_->GetModule(name_).procs)
        out.push_back({p->name, static_cast<int>(p->params.size()), p->kind == ProcKind::Function});
    return out;
}

Value ScriptModule::Run(std::string_view procedure, std::vector<Value> args) { return RunByRef(procedure, args); }

Value ScriptModule::RunByRef(std::string_view procedure, std::vector<Value>& args) {
    Engine& en = *engine_;
    return en.Guard([&] { return en.in_->Run(en.in_->GetModule(name_), procedure, args); });
}

Value ScriptModule::Eval(std::string_view expression) {
    Engine& en = *engine_;
    return en.Guard([&] { return en.in_->EvalText(en.in_->GetModule(name_), expression); });
}

void ScriptModule::ExecuteStatement(std::string_view code) {
    Engine& en = *engine_;
    en.Guard([&] { en.in_->ExecuteText(en.in_->GetModule(name_), code, true); });
}

}  // namespace tarvelo::vbs
