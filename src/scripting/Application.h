#pragma once
// The script host object: what the user's scripts see as "xap" (its members
// are global names too), and what scripts in other processes reach as
// "Tarvelo.Application" over the local socket (ApplicationServer). It owns
// the script engine, the main script and the selections, and reaches the
// rest of the gateway only through the references it is built with.
//
// A member that fails raises a script error (number 440 unless the engine
// gave another) after logging its own line; a script catches it with
// On Error Resume Next. The lookups (Request, TagList, LastChange, Sequence)
// answer with their fallbacks instead.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Logger.h"
#include "app/Paths.h"
#include "app/SettingsCache.h"
#include "platform/Platform.h"
#include "scripting/Script.h"
#include "scripting/vbscript/Engine.h"
#include "xap/Devices.h"
#include "xap/XapService.h"

namespace tarvelo::scripting {

class Application {
public:
    static constexpr const char* kVersion = "1.6.174";
    static constexpr long kTimeoutMs = 90000;

    struct Callbacks {
        // Switches a link state as an xAP command would.
        std::function<void(const std::shared_ptr<model::UPBLinkState>& state, const std::string& value)>
            ControlUPBLink;
        // Sees every run of "Main" with its tag, before it runs (tests).
        std::function<void(const std::string& tag)> mainRunning;
    };

    // `currentEvent`: the event the trigger queue is handling, empty outside one.
    Application(platform::Platform& platform, const app::Paths& paths, app::SettingsCache& ini,
                xap::XapService& xap, xap::DevicesOfInterest& devices,
                const std::shared_ptr<xap::DeviceClass>& currentEvent, app::Logger& log, Callbacks callbacks);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Creation: the text log exists, then InitScriptControl.
    void Create();

    // ---- members, in their order ----
    void SendUDPMessage(const std::string& text);
    void SendXapMessage(const std::string& target, const std::string& msgClass, const std::string& section,
                        const std::string& data, const std::string& subaddress, const std::string& uid,
                        const std::string& targetSubAddress);
    void SelectXapMessage(const std::string& target, const std::string& schema, const std::string& section,
                          const std::string& source, const std::string& scriptFile);
    vbs::Value GetXapMessage(int32_t selection);
    void DeSelectXapMessage(const std::string& target, const std::string& schema, const std::string& section,
                            const std::string& source, const std::string& scriptFile);
    void InitScriptControl();
    void ReadScript();
    void WriteLog(const std::string& type, const std::string& data);
    void FlushIniCache();
    void ClearINISection(const std::string& section, const std::string& file);
    std::string GetINISection(const std::string& section, const std::string& file);
    std::string GetIniSetting(const std::string& section, const std::string& key, const std::string& defaultValue,
                              const std::string& file);
    void SaveIniSetting(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& file);
    std::string GetAppPath() const;
    vbs::Value Spawn(const std::string& scriptName, const std::string& procedure, const std::string& argument);
    void Run(const std::string& scriptFile);
    vbs::Value RunEx(const std::string& scriptFile, const std::string& procedure, const std::string& argument);
    vbs::Value TagList(const std::string& tag);
    vbs::Value Request(const std::string& name);
    VbDate LastChange(const std::string& tag);
    int32_t Sequence(const std::string& tag);
    std::string Sunrise() const { return xap_.sunrise(); }
    std::string Sunset() const { return xap_.sunset(); }
    void X10(const std::string& device, const std::string& command, const std::string& count);
    void Response(const std::string& tag, const std::string& value);
    bool NightTime(double offsetMinutes);
    std::string DeviceString(const std::string& code);
    std::string WebLoggedInUser() const { return ""; }
    std::string Version() const { return kVersion; }
    std::string SystemUpTime() const { return ""; }

    // ---- for the gateway ----
    // The trigger call: "Main" of the main script with the tag.
    void RunMain(const std::string& tag);
    // Calls a member by name, as a script does (the engine and the local socket).
    vbs::Value Call(std::string_view member, vbs::CallArgs& args);
    static bool IsMember(std::string_view name);
    // Where scripts in other processes reach this object.
    std::string SocketPath() const;
    // The job file and the program Spawn runs it with.
    std::string JobFile(const std::string& name) const;
    std::string RunnerProgram() const;
    // Spawned jobs still running.
    size_t runningJobs() const;
    // Kills the spawned jobs (shut-down).
    void StopJobs();

    vbs::Engine& engine() { return engine_; }
    Script* mainScript() { return main_.get(); }
    const std::vector<ScriptVBS>& selections() const { return selections_; }

private:
    struct Job;
    VbDate Now() const;
    std::shared_ptr<xap::DeviceClass> Device(const std::string& tag);

    platform::Platform& platform_;
    const app::Paths& paths_;
    app::SettingsCache& ini_;
    xap::XapService& xap_;
    xap::DevicesOfInterest& devices_;
    const std::shared_ptr<xap::DeviceClass>& currentEvent_;
    app::Logger& log_;
    Callbacks callbacks_;
    vbs::Engine engine_;
    vbs::ObjectRef scriptObject_;  // "xap" in the engine
    // Shared: a reload from inside a running "Main" must not free the script under it.
    std::shared_ptr<Script> main_;
    std::vector<ScriptVBS> selections_;
    std::vector<std::shared_ptr<Job>> jobs_;
};

} // namespace tarvelo::scripting
