#pragma once
// The gateway: owns one object per subsystem, in start-up order, wires them
// together and runs the start-up and shut-down sequences. Tests build it on
// the simulation platform; the program builds it on Qt.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Logger.h"
#include "app/Paths.h"
#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "gateway/Desktop.h"
#include "gateway/Status.h"
#include "model/Installation.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "scripting/Application.h"
#include "scripting/ApplicationBridge.h"
#include "scripting/ScriptTriggers.h"
#include "upb/UpbInterface.h"
#include "web/WebService.h"
#include "xap/XapService.h"

namespace tarvelo {

class Gateway {
public:
    struct Options {
        bool mirrorLog = true;     // log entries also on standard error
        uint16_t xapPort = 3639;   // where xAP datagrams are broadcast
        // Sees every run of the main script's "Main" with its tag, just before
        // it runs (tests).
        std::function<void(const std::string& tag)> runMain;
        // See every notified change of a link state, from received traffic,
        // an acknowledged transmission or a delay-off timer, and every log
        // entry (tests).
        std::function<void(const std::shared_ptr<model::UPBLinkState>& state)> onStateChange;
        std::function<void(const app::LogEntry& entry)> onLogEntry;
        // Shown in the status page's title.
        std::string version = "0";
        // Lines for a person watching the terminal: the status page's address,
        // start-up polling progress, one line per component change.
        std::function<void(const std::string& line)> console;
        // Builds the tray icon and windows; empty: none (headless).
        DesktopFactory desktop;
        // Why there is no desktop, logged once at start-up when not empty.
        std::string headlessReason;
    };

    Gateway(platform::Platform& platform, app::Paths paths, Options options);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // The start-up sequence. False when the program must end at once.
    bool Start();
    // The shut-down sequence; every step runs whatever happened in the one before.
    // Runs once; later calls do nothing.
    void Shutdown();
    // The tray menu's "Exit", and SIGTERM/SIGINT: closing flag, then shut-down.
    void RequestExit();

    // The desktop's side (GatewayDesktop.cpp): a tray menu item chosen, and
    // the settings form's eleven boxes loaded and saved.
    void MenuChosen(int item);
    std::vector<std::string> LoadSetupForm();
    void SaveSetupForm(const std::vector<std::string>& boxes);
    Desktop& desktop() { return *desktop_; }
    platform::Platform& platform() { return platform_; }
    const app::Paths& paths() const { return paths_; }
    app::Logger& log() { return log_; }
    app::SettingsCache& ini() { return ini_; }
    app::ProgramSettings& settings() { return settings_; }
    model::Network& network() { return network_; }
    // The model subsystem: import, tracking (UPBReceive), state records.
    model::Installation& installation() { return installation_; }
    // The UPB interface: PIM connection, transmit queue, status polling, trace.
    upb::UpbInterface& upb() { return upb_; }
    const model::UPBPIM& pim() const { return pim_; }
    // The xAP subsystem: transport, inbound and outbound handling, devices of interest.
    xap::XapService& xap() { return xap_; }
    // The script trigger queue and the periodic script timer.
    scripting::ScriptTriggers& triggers() { return triggers_; }
    // The script host object with its engine and main script, and its local
    // socket for scripts in other processes.
    scripting::Application& application() { return application_; }
    scripting::ApplicationServer& scriptServer() { return scriptServer_; }
    // The web server and its pages.
    web::WebService& web() { return web_; }
    const std::string& computerName() const { return computerName_; }
    const std::string& programUID() const { return settings_.UID; }

    bool initialised() const { return initialised_; }
    bool closing() const { return closing_; }
    bool xapReady() const { return xap_.ready(); }
    bool shutDown() const { return shutDown_; }
    // The periodic script timer as armed at start-up.
    const app::PeriodicSchedule& periodicSchedule() const { return triggers_.periodicSchedule(); }
    platform::Timer& periodicScriptTimer() { return triggers_.PeriodicScriptTimer(); }

    // Counters, queue lengths and sizes as they are now.
    Status status() const;

    // WriteLog of the "Tarvelo Debug" type, only while DebugLog is on.
    void DebugLog(const std::string& data);

private:
    // Start-up pieces, in order.
    void GlobalInitialisation();
    int InitXap();  // the bound xAP port, or 0 or less when the program must end
    void InitHW();
    void InitINIVariables();
    void LoadTimerForm();

    // Shut-down: close the PIM port and stop the timers of every subsystem.
    void UnloadForms();

    // What flows between the subsystems.
    void NotifyUPBState(const std::shared_ptr<model::UPBLinkState>& state);
    // A component changed, and why: one event out, one console line.
    void StateChanged(const std::shared_ptr<model::UPBLinkState>& state, const std::string& cause);
    void SendUPBCommandFor(const std::string& cause, const std::shared_ptr<model::UPBStatus>& status, bool isLink,
                           int16_t destination, bool on, int16_t level, int16_t command);
    void Received(const std::string& packet);
    void AddDeviceOfInterest(const std::string& tag, const std::shared_ptr<model::UPBLinkState>& state);
    void Console(const std::string& line);
    // The PIM port or bridge address changed (status page or settings form):
    // the old connection closes and the new one opens, in message mode.
    void ReopenPim(const std::string& oldPort);
    // The user's browser at a path of the status pages' server.
    void OpenPage(const std::string& path);
    DesktopHost MakeDesktopHost();

    platform::Platform& platform_;
    app::Paths paths_;
    Options options_;
    app::Logger log_;
    app::SettingsCache ini_;
    app::ProgramSettings settings_;
    model::Network network_;
    model::Installation installation_;
    upb::UpbInterface upb_;
    xap::XapService xap_;
    scripting::ScriptTriggers triggers_;
    scripting::Application application_;
    scripting::ApplicationServer scriptServer_;
    web::WebService web_;
    model::UPBPIM pim_;
    std::string computerName_;
    std::string interfaceAddress_;
    std::string broadcastAddress_;
    // Last: built once every part it reaches exists, gone before any of them.
    std::unique_ptr<Desktop> desktop_;

    bool initialised_ = false;
    bool closing_ = false;
    bool shutDown_ = false;
    bool started_ = false;
    int64_t startedAt_ = 0;  // monotonic milliseconds: uptime ignores clock changes

    // Why the change being reported happened: a packet heard on the line, or
    // the command that a transmission carried out.
    std::string receiveCause_;
    std::string commandOrigin_;
    std::unordered_map<const model::UPBLinkState*, std::string> commandCauses_;
};

} // namespace tarvelo
