#include "scripting/Application.h"

#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "scripting/ScriptCollection.h"
#include "scripting/vbscript/SystemObjects.h"
#include "scripting/vbscript/Value.h"
#include "xap/XapMessage.h"

namespace tarvelo::scripting {

namespace fs = std::filesystem;
using vbs::CallArgs;
using vbs::Value;

namespace {

// A line break inside a value sent over xAP would start a new item or section.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

std::string Text(const CallArgs& args, size_t i) { return args.Has(i) ? vbs::ToString(args[i]) : std::string(); }

// Seconds since midnight of a sun time ("06:12", "6:12:30 PM", or a date and
// time); false when the text holds no time.
bool TimeOfDay(const std::string& text, double& seconds) {
    std::string t = TrimSpaces(text);
    if (size_t blank = t.find(' '); blank != std::string::npos && t.find('-') != std::string::npos)
        t = t.substr(blank + 1);  // "2026-12-06 06:12:00"
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 3) {
        size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        if (i == start || i - start > 2) return false;
        parts[count++] = std::stoi(t.substr(start, i - start));
        if (i < t.size() && t[i] == ':') ++i;
        else break;
    }
    if (count < 2) return false;
    std::string rest = LCase(TrimSpaces(t.substr(i)));
    int hour = parts[0];
    if (rest == "pm" && hour < 12) hour += 12;
    else if (rest == "am" && hour == 12) hour = 0;
    else if (!rest.empty() && rest != "am" && rest != "pm") return false;
    if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
    seconds = hour * 3600.0 + parts[1] * 60.0 + parts[2];
    return true;
}

// What a script holds: the host object, whose members are also global names.
class HostObject : public vbs::Object {
public:
    explicit HostObject(Application& app) : app_(&app) {}
    std::string TypeName() const override { return "Application"; }
    bool HasMember(std::string_view name) const override { return Application::IsMember(name); }
    Value Invoke(std::string_view name, vbs::InvokeKind, CallArgs& args) override {
        if (!Application::IsMember(name)) vbs::Raise(438);
        return app_->Call(name, args);
    }

private:
    Application* app_;
};

// The process object Spawn gives: Status (0 running, 1 ended), ExitCode,
// ProcessID and Terminate.
class JobObject : public vbs::Object {
public:
    struct State {
        std::unique_ptr<platform::Process> process;
        bool ended = false;
        int exitCode = 0;
    };
    explicit JobObject(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::string TypeName() const override { return "WshScriptExec"; }
    Value Invoke(std::string_view name, vbs::InvokeKind, CallArgs& args) override {
        args.Require(0, 0);
        if (vbs::NameEquals(name, "status")) return Value::Long(state_->ended ? 1 : 0);
        if (vbs::NameEquals(name, "exitcode")) return Value::Long(state_->exitCode);
        if (vbs::NameEquals(name, "processid")) return Value::Long(0);
        if (vbs::NameEquals(name, "terminate")) {
            if (state_->process && state_->process->running()) state_->process->kill();
            return Value();
        }
        vbs::Raise(438);
    }

private:
    std::shared_ptr<State> state_;
};

using Member = Value (*)(Application&, CallArgs&);

struct MemberEntry {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    Member call;
};

// In slot order.
const MemberEntry kMembers[] = {
    {"SendUDPMessage", 1, 1, [](Application& a, CallArgs& x) { a.SendUDPMessage(Text(x, 0)); return Value(); }},
    {"SendXapMessage", 4, 7,
     [](Application& a, CallArgs& x) {
         a.SendXapMessage(Text(x, 0), Text(x, 1), Text(x, 2), Text(x, 3), Text(x, 4), Text(x, 5), Text(x, 6));
         return Value();
     }},
    {"SelectXapMessage", 5, 5,
     [](Application& a, CallArgs& x) {
         a.SelectXapMessage(Text(x, 0), Text(x, 1), Text(x, 2), Text(x, 3), Text(x, 4));
         return Value();
     }},
    {"GetXapMessage", 1, 1, [](Application& a, CallArgs& x) { return a.GetXapMessage(vbs::ToLong(x[0])); }},
    {"DeSelectXapMessage", 5, 5,
     [](Application& a, CallArgs& x) {
         a.DeSelectXapMessage(Text(x, 0), Text(x, 1), Text(x, 2), Text(x, 3), Text(x, 4));
         return Value();
     }},
    {"InitScriptControl", 0, 0, [](Application& a, CallArgs&) { a.InitScriptControl(); return Value(); }},
    {"ReadScript", 0, 0, [](Application& a, CallArgs&) { a.ReadScript(); return Value(); }},
    {"WriteLog", 2, 2, [](Application& a, CallArgs& x) { a.WriteLog(Text(x, 0), Text(x, 1)); return Value(); }},
    {"FlushIniCache", 0, 0, [](Application& a, CallArgs&) { a.FlushIniCache(); return Value(); }},
    {"ClearINISection", 1, 2,
     [](Application& a, CallArgs& x) { a.ClearINISection(Text(x, 0), Text(x, 1)); return Value(); }},
    {"GetINISection", 1, 2,
     [](Application& a, CallArgs& x) { return Value::Str(a.GetINISection(Text(x, 0), Text(x, 1))); }},
    {"GetIniSetting", 3, 4,
     [](Application& a, CallArgs& x) {
         return Value::Str(a.GetIniSetting(Text(x, 0), Text(x, 1), Text(x, 2), Text(x, 3)));
     }},
    {"SaveIniSetting", 3, 4,
     [](Application& a, CallArgs& x) {
         a.SaveIniSetting(Text(x, 0), Text(x, 1), Text(x, 2), Text(x, 3));
         return Value();
     }},
    {"GetAppPath", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.GetAppPath()); }},
    {"Spawn", 1, 3, [](Application& a, CallArgs& x) { return a.Spawn(Text(x, 0), Text(x, 1), Text(x, 2)); }},
    {"Run", 1, 1, [](Application& a, CallArgs& x) { a.Run(Text(x, 0)); return Value(); }},
    {"RunEx", 2, 3, [](Application& a, CallArgs& x) { return a.RunEx(Text(x, 0), Text(x, 1), Text(x, 2)); }},
    {"TagList", 1, 1, [](Application& a, CallArgs& x) { return a.TagList(Text(x, 0)); }},
    {"Request", 1, 1, [](Application& a, CallArgs& x) { return a.Request(Text(x, 0)); }},
    {"LastChange", 1, 1, [](Application& a, CallArgs& x) { return Value::Date(a.LastChange(Text(x, 0))); }},
    {"Sequence", 1, 1, [](Application& a, CallArgs& x) { return Value::Long(a.Sequence(Text(x, 0))); }},
    {"Sunrise", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.Sunrise()); }},
    {"Sunset", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.Sunset()); }},
    {"X10", 3, 3,
     [](Application& a, CallArgs& x) {
         a.X10(Text(x, 0), Text(x, 1), Text(x, 2));
         return Value();
     }},
    {"Response", 2, 2, [](Application& a, CallArgs& x) { a.Response(Text(x, 0), Text(x, 1)); return Value(); }},
    {"NightTime", 1, 1, [](Application& a, CallArgs& x) { return Value::Bool(a.NightTime(vbs::ToDouble(x[0]))); }},
    {"DeviceString", 1, 1, [](Application& a, CallArgs& x) { return Value::Str(a.DeviceString(Text(x, 0))); }},
    {"WebLoggedInUser", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.WebLoggedInUser()); }},
    {"Version", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.Version()); }},
    {"SystemUpTime", 0, 0, [](Application& a, CallArgs&) { return Value::Str(a.SystemUpTime()); }},
};

const MemberEntry* FindMember(std::string_view name) {
    for (const MemberEntry& m : kMembers)
        if (vbs::NameEquals(m.name, name)) return &m;
    return nullptr;
}

} // namespace

struct Application::Job {
    std::shared_ptr<JobObject::State> state = std::make_shared<JobObject::State>();
};

Application::Application(platform::Platform& platform, const app::Paths& paths, app::SettingsCache& ini,
                         xap::XapService& xap, xap::DevicesOfInterest& devices,
                         const std::shared_ptr<xap::DeviceClass>& currentEvent, app::Logger& log,
                         Callbacks callbacks)
    : platform_(platform),
      paths_(paths),
      ini_(ini),
      xap_(xap),
      devices_(devices),
      currentEvent_(currentEvent),
      log_(log),
      callbacks_(std::move(callbacks)),
      scriptObject_(vbs::MakeRef<HostObject>(*this)) {
    // A script's pause keeps the gateway running, and the time-out and Now
    // follow the gateway's clocks (virtual time in tests). Kept across Reset.
    vbs::HostHooks& host = engine_.Host();
    host.time.sleep = [this](long ms) { platform_.sleepPumping(static_cast<int>(ms)); };
    host.time.monotonicMillis = [this] { return platform_.monotonicMillis(); };
    host.now = [this] { return Now(); };
    // No one watches a gateway's screen: message boxes go to the log.
    host.echo = [this](const std::string& line) { log_.WriteLog("Tarvelo", "Script says: " + OneLine(line)); };
}

Application::~Application() { StopJobs(); }

void Application::Create() {
    Guard(&log_, "Application Create", [&] {
        app::MakePath(paths_.textLog());
        if (!fs::exists(paths_.textLog())) std::ofstream(paths_.textLog(), std::ios::binary | std::ios::app);
    });
    InitScriptControl();
}

// Whole seconds, as the script language's Now has them.
VbDate Application::Now() const { return DateFromLocalMillis(platform_.clock().localMillis() / 1000 * 1000); }

bool Application::IsMember(std::string_view name) { return FindMember(name) != nullptr; }

Value Application::Call(std::string_view member, CallArgs& args) {
    const MemberEntry* m = FindMember(member);
    if (!m) vbs::Raise(438);
    args.Require(m->minArgs, m->maxArgs);
    try {
        return m->call(*this, args);
    } catch (const vbs::ScriptError&) {
        throw;  // a conversion of an argument, or a script error passed on
    } catch (const std::exception& e) {
        log_.WriteLog("Tarvelo", std::string(m->name) + ErrorSuffix(e));
        vbs::Raise(440, std::string(m->name) + ": " + e.what());
    }
}

// ---- members ----

void Application::SendUDPMessage(const std::string& text) { xap_.transport().SendRawXap(text); }

void Application::SendXapMessage(const std::string& target, const std::string& msgClass, const std::string& section,
                                 const std::string& data, const std::string& subaddress, const std::string& uid,
                                 const std::string& targetSubAddress) {
    xap_.SendXapMessage(OneLine(target), OneLine(msgClass), OneLine(section), OneLine(data), OneLine(subaddress),
                        OneLine(uid), OneLine(targetSubAddress));
}

void Application::SelectXapMessage(const std::string& target, const std::string& schema, const std::string& section,
                                   const std::string& source, const std::string& scriptFile) {
    std::string script = scriptFile;
    if (script.find(':') == std::string::npos && script.find('\\') == std::string::npos)
        script = (paths_.scripts() / script).string();
    ScriptVBS s;
    s.Target = LCase(target);
    s.Schema = LCase(schema);
    s.Section = LCase(section);
    s.Source = LCase(source);
    s.ScriptFile = LCase(script);
    for (const ScriptVBS& e : selections_)
        if (e.Target == s.Target && e.Source == s.Source && e.Schema == s.Schema && e.Section == s.Section &&
            e.ScriptFile == s.ScriptFile)
            return;
    selections_.push_back(std::move(s));
}

Value Application::GetXapMessage(int32_t selection) {
    if (selection < 1 || static_cast<size_t>(selection) > selections_.size())
        vbs::Raise(9, "GetXapMessage: there is no selection " + Dec(selection));
    ScriptVBS& s = selections_[static_cast<size_t>(selection - 1)];
    // Nothing in the gateway stores messages under a handle: a handle finds nothing.
    if (s.MessageCount() >= 1) s.MessageHandle();
    return Value::Nothing();
}

void Application::DeSelectXapMessage(const std::string& target, const std::string& schema, const std::string& section,
                                     const std::string&, const std::string& scriptFile) {
    for (auto it = selections_.begin(); it != selections_.end(); ++it) {
        if (it->Target == target && it->Schema == schema && it->Section == section && it->ScriptFile == scriptFile) {
            selections_.erase(it);
            return;
        }
    }
}

void Application::InitScriptControl() {
    engine_.Reset();
    // A reset drops every registered class: the scripts' file and shell objects come back each time.
    vbs::RegisterSystemObjects(engine_.GetRuntime());
    engine_.SetLanguage("VBScript");
    engine_.SetAllowUI(true);
    engine_.AddObject("xap", scriptObject_, true);
    engine_.SetTimeout(kTimeoutMs);
    ReadScript();
}

void Application::ReadScript() {
    if (fs::exists(paths_.scripts() / "Tarvelo.txt")) {
        auto script = std::make_shared<Script>(engine_, paths_.scripts(), log_);
        script->Add("Tarvelo.txt", "Main");
        main_ = std::move(script);
    } else {
        main_.reset();
    }
}

void Application::WriteLog(const std::string& type, const std::string& data) {
    log_.WriteLog(OneLine(type), OneLine(data));
}

void Application::FlushIniCache() { ini_.FlushIniCache(); }

void Application::ClearINISection(const std::string& section, const std::string& file) {
    ini_.ClearINISection(section, file);
}

std::string Application::GetINISection(const std::string& section, const std::string& file) {
    return ini_.GetINISection(section, file);
}

std::string Application::GetIniSetting(const std::string& section, const std::string& key,
                                       const std::string& defaultValue, const std::string& file) {
    return ini_.GetIniSetting(section, key, defaultValue, file);
}

void Application::SaveIniSetting(const std::string& section, const std::string& key, const std::string& value,
                                 const std::string& file) {
    ini_.SaveIniSetting(section, key, value, file);
}

std::string Application::GetAppPath() const { return paths_.base.string(); }

std::string Application::JobFile(const std::string& name) const { return (paths_.scripts() / (name + "~.wsf")).string(); }

std::string Application::RunnerProgram() const {
    std::error_code ec;
    if (!paths_.program.empty() && fs::exists(paths_.program / "tarvelo-vbs", ec))
        return (paths_.program / "tarvelo-vbs").string();
    return "tarvelo-vbs";
}

std::string Application::SocketPath() const { return (paths_.data() / "Tarvelo.sock").string(); }

Value Application::Spawn(const std::string& scriptName, const std::string& procedure, const std::string& argument) {
    std::string name;
    // ".txt" goes wherever it stands, in any case.
    for (size_t i = 0; i < scriptName.size();) {
        if (EqualsNoCase(std::string_view(scriptName).substr(i, 4), ".txt")) i += 4;
        else name += scriptName[i++];
    }
    // The job file is written under Scripts/ and nowhere else.
    if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find("..") != std::string::npos || name.find(':') != std::string::npos) {
        log_.WriteLog("Tarvelo", "Spawn " + OneLine(scriptName) + " refused: a script name must not hold a folder");
        return Value::Nothing();
    }
    // A quote inside the argument is doubled: the call stays one statement.
    const std::string line6 =
        TrimSpaces(OneLine(procedure) + " \"" + Replace(OneLine(argument), "\"", "\"\"") + "\"");
    const std::string jobFile = JobFile(name);
    {
        app::MakePath(jobFile);
        std::ofstream out(jobFile, std::ios::binary | std::ios::trunc);
        out << "<job id=\"" << name << "\">\n"
            << "<script language=\"VBScript\" src=\"..\\" << name << ".txt\"/>\n"
            << "<script language=\"VBScript\">\n"
            << "Dim xap\n"
            << "Set xap = createobject(\"Tarvelo.Application\")\n"
            << line6 << "\n"
            << "Set xap = Nothing\n"
            << "</Script>\n"
            << "</Job>\n";
        out.close();
        if (!out) throw VbError("cannot write " + jobFile);
    }
    // Finished jobs are forgotten here rather than inside their own end event.
    std::erase_if(jobs_, [](const std::shared_ptr<Job>& j) { return j->state->ended; });
    auto job = std::make_shared<Job>();
    job->state->process = platform_.createProcess();
    std::weak_ptr<JobObject::State> weak = job->state;
    job->state->process->onFinished = [weak](int exitCode) {
        if (auto s = weak.lock()) {
            s->ended = true;
            s->exitCode = exitCode;
        }
    };
    const std::string program = RunnerProgram();
    if (!job->state->process->start(program, {jobFile}, paths_.scripts().string()))
        throw VbError(program + " could not be started for " + jobFile);
    jobs_.push_back(job);
    return Value::Obj(vbs::MakeRef<JobObject>(job->state));
}

size_t Application::runningJobs() const {
    size_t n = 0;
    for (const auto& j : jobs_) n += j->state->ended ? 0 : 1;
    return n;
}

void Application::StopJobs() {
    for (auto& j : jobs_)
        if (j->state->process) j->state->process->onFinished = nullptr;
    jobs_.clear();
}

void Application::Run(const std::string& scriptFile) { RunEx(scriptFile, "main", ""); }

Value Application::RunEx(const std::string& scriptFile, const std::string& procedure, const std::string& argument) {
    Script script(engine_, paths_.scripts(), log_);
    script.Add(scriptFile, "M1");
    return script.Run(procedure, argument);
}

std::shared_ptr<xap::DeviceClass> Application::Device(const std::string& tag) {
    auto* found = devices_.devices().find(tag);
    return found ? *found : nullptr;
}

Value Application::TagList(const std::string& tag) {
    try {
        auto device = Device(tag);
        if (!device) return Value::Nothing();
        auto list = vbs::MakeRef<ScriptCollection>(ScriptCollection::Kind::List);
        for (const std::string& key : device->MessageKeyList) list->Append(Value::Str(key));
        return Value::Obj(list);
    } catch (const std::exception&) {
        return Value::Nothing();
    }
}

Value Application::Request(const std::string& name) {
    try {
        if (LCase(name) == "lastevent") {
            if (!currentEvent_) return Value::Nothing();
            auto list = vbs::MakeRef<ScriptCollection>(ScriptCollection::Kind::Keyed);
            for (const auto& [key, value] : currentEvent_->MessageList) list->Set(key, Value::Str(value));
            return Value::Obj(list);
        }
        auto device = Device(name);
        if (!device) return Value::Nothing();
        auto list = vbs::MakeRef<ScriptCollection>(ScriptCollection::Kind::Keyed);
        if (device->Link) {
            list->Set("value", Value::Int(device->Link->Value));
            list->Set("lastchange", Value::Date(device->Link->LastChange));
            list->Set("sequence", Value::Long(device->Link->Sequence));
            return Value::Obj(list);
        }
        if (device->MessageList.size() == 0) return Value::Nothing();
        // The entries join the device's own list and are current at every call.
        device->MessageList.set("lastchange", FormatDateTime(device->LastChange));
        device->MessageList.set("sequence", Dec(device->Sequence));
        for (const auto& [key, value] : device->MessageList) list->Set(key, Value::Str(value));
        return Value::Obj(list);
    } catch (const std::exception&) {
        return Value::Nothing();
    }
}

VbDate Application::LastChange(const std::string& tag) {
    try {
        auto device = Device(tag);
        if (!device) return Now();
        return device->Link ? device->Link->LastChange : device->LastChange;
    } catch (const std::exception&) {
        return Now();
    }
}

int32_t Application::Sequence(const std::string& tag) {
    try {
        auto device = Device(tag);
        if (!device) return -1;
        return device->Link ? device->Link->Sequence : device->Sequence;
    } catch (const std::exception&) {
        return -1;
    }
}

void Application::X10(const std::string& device, const std::string& command, const std::string& count) {
    xap_.SendXapMessage("", "xap-x10.request", "xap-x10.request",
                        xap::MsgData()
                            .add("device", OneLine(device))
                            .add("command", OneLine(command))
                            .add("count", OneLine(count))
                            .str(),
                        "", "");
}

void Application::Response(const std::string& tag, const std::string& value) {
    try {
        auto device = Device(tag);
        if (!device) return log_.WriteLog("Tarvelo", "Tag " + tag + " not recognized");
        if (!device->Link) return log_.WriteLog("Tarvelo", "Tag " + tag + " is a receive message tag");
        if (!device->Link->Controllable)
            return log_.WriteLog("Tarvelo", "Tag " + tag + " not recognized as controllable");
        if (callbacks_.ControlUPBLink) callbacks_.ControlUPBLink(device->Link, value);
    } catch (const std::exception&) {
        log_.WriteLog("Tarvelo", "Response " + tag + "=" + value);
        throw;
    }
}

bool Application::NightTime(double offsetMinutes) {
    double rise = 0, set = 0;
    if (!TimeOfDay(xap_.sunrise(), rise) || !TimeOfDay(xap_.sunset(), set)) return false;
    const double t = platform_.clock().secondsSinceMidnight();
    const double begin = rise - offsetMinutes * 60.0;
    const double end = set + offsetMinutes * 60.0;
    return !(t > begin && t < end);
}

std::string Application::DeviceString(const std::string&) {
    // The device tables are never filled in this program: the lookup fails.
    log_.WriteLog("Tarvelo", "DeviceString");
    return "";
}

void Application::RunMain(const std::string& tag) {
    if (callbacks_.mainRunning) callbacks_.mainRunning(tag);
    if (std::shared_ptr<Script> script = main_) script->Run("Main", tag);
}

} // namespace tarvelo::scripting
