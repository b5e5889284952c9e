#include "gateway/Gateway.h"

#include "common/Text.h"
#include "upb/Packet.h"

namespace tarvelo {

namespace {
// Shut-down steps ignore their errors: the next step always runs.
template <class F>
void IgnoringErrors(F&& f) {
    try {
        f();
    } catch (...) {
    }
}
} // namespace

Gateway::Gateway(platform::Platform& platform, app::Paths paths, Options options)
    : platform_(platform), paths_(std::move(paths)), options_(options), log_(platform.clock()) {
    log_.setMirror(options_.mirrorLog);
    log_.setTextLogPath(paths_.textLog());
    xap_.remotePort = options_.xapPort;
    xap_.hooks.SendUPBCommand = [this](const std::shared_ptr<model::UPBStatus>& status, bool isLink,
                                       int16_t destination, bool on, int16_t level, int16_t command) {
        upb_.SendUPBCommand(status, isLink, destination, on, level, command);
    };
    xap_.hooks.GetUPBState = [this](const std::string& id) { return upb_.GetUPBState(id); };
    xap_.hooks.x10Lookup = [this] { return &installation_.x10Lookup(); };
    xap_.hooks.QueueScriptEvent = [this](const std::shared_ptr<xap::DeviceClass>& event) {
        triggers_.QueueScriptEvent(event);
    };
    xap_.devices().queueScriptEvent = xap_.hooks.QueueScriptEvent;
}

Gateway::~Gateway() = default;

void Gateway::DebugLog(const std::string& data) {
    if (settings_.DebugLog) log_.WriteLog("Tarvelo Debug", data);
}

bool Gateway::Start() {
    if (started_) return !shutDown_;
    started_ = true;
    closing_ = false;
    bool keepRunning = true;
    // An error in the load event's own steps ends start-up at that point.
    Guard(&log_, "Main Load", [&] {
        step("GlobalInitialisation");
        GlobalInitialisation();

        step("InitXap");
        const int port = InitXap();
        if (port > 0) {
            xap_.SetReady();
        } else {
            log_.TextLog("Tarvelo", "xAP Init Error " + Dec(port) + " occurred");
            keepRunning = false;
            return;
        }

        step("InitHW");
        Guard(&log_, "InitHW", [&] { InitHW(); });

        step("LoadTimerForm");
        LoadTimerForm();
        step("ShowTrayIcon");
        ShowTrayIcon();
    });
    if (!keepRunning) shutDown_ = true;
    return keepRunning;
}

void Gateway::GlobalInitialisation() {
    computerName_ = platform_.computerName();
    app::MakePath(paths_.config() / "x");
    app::MakePath(paths_.data() / "x");
    // The script host object joins here with the scripting subsystem.
    ini_ = std::make_unique<app::SettingsCache>(paths_.config(), &log_);
    xap_.devices().setSettings(ini_.get());
    // The HTTP listener starts here with the web subsystem.
    interfaceAddress_ = ini_->GetIniSetting("Interface", "InterfaceAddress", "Default", "zantuXap.ini");
    broadcastAddress_ = ini_->GetIniSetting("Interface", "BroadcastAddress", "Default", "zantuXap.ini");
    programUID_ = app::ConvertUID(RemoveQuotes(ini_->GetIniSetting("UPB", "UID", "FF.0002:00", "Tarvelo.ini")));
}

int Gateway::InitXap() { return xap_.Init(computerName_, interfaceAddress_, broadcastAddress_, programUID_); }

void Gateway::InitHW() {
    step("LoadTraceWindow");
    Guard(&log_, "LoadTraceWindow", [&] { LoadTraceWindow(); });
    initialised_ = false;

    step("SetPimHold");
    SetPimHold(true);
    step("InitReceivedFilters");
    Guard(&log_, "InitReceivedFilters", [&] { InitReceivedFilters(); });

    step("InitINIVariables");
    Guard(&log_, "InitINIVariables", [&] { InitINIVariables(); });
    step("ReleasePimHold");
    SetPimHold(false);

    step("ImportInstallation");
    ImportInstallation();
    step("RestoreLinkStates");
    RestoreLinkStates();
    step("LinkDevicesToModules");
    Guard(&log_, "LinkDevicesToModules", [&] { LinkDevicesToModules(); });

    step("CreatePimIdentity");
    Guard(&log_, "CreatePimIdentity", [&] { CreatePimIdentity(); });
    step("GetCurrentUPBStatus");
    Guard(&log_, "GetCurrentUPBStatus", [&] { GetCurrentUPBStatus(); });

    initialised_ = true;
    step("ArmPeriodicScriptTimer");
    ArmPeriodicScriptTimer();
}

void Gateway::InitINIVariables() {
    settings_.InitIniKeys(*ini_, &log_);
    ResetPimReceiveBuffer();
    OpenPimAtStart();
}

void Gateway::ArmPeriodicScriptTimer() { triggers_.ArmPeriodic(settings_.PeriodicScriptInterval); }

void Gateway::LoadTimerForm() {
    DebugLog("Internal Timer Started");
    StopTransmitHold();
}

void Gateway::ShowTrayIcon() {
    // The tray icon joins with the desktop user interface; a headless gateway has none.
}

void Gateway::RequestExit() {
    closing_ = true;
    SetPimClosing();
    Shutdown();
    platform_.quit();
}

void Gateway::Shutdown() {
    if (shutDown_ || !started_) {
        shutDown_ = true;
        return;
    }
    shutDown_ = true;
    step("SaveLinkStates");
    IgnoringErrors([&] { SaveLinkStates(); });
    step("SaveDevicesOfInterest");
    IgnoringErrors([&] { SaveDevicesOfInterest(); });
    step("FlushIniCache");
    IgnoringErrors([&] {
        if (ini_) ini_->FlushIniCache();
    });
    step("RemoveTrayIcon");
    IgnoringErrors([&] { RemoveTrayIcon(); });
    step("UnloadForms");
    IgnoringErrors([&] { UnloadForms(); });
}

// ---------------------------------------------------------------------------
// Entry points of the subsystems. Each does nothing until its subsystem is
// built into the gateway.
// ---------------------------------------------------------------------------

// upb: the traffic trace.
void Gateway::LoadTraceWindow() {
    // The interface's hooks go in with its first start-up step.
    upb_.upbReceive = [this](const std::string& packet) { installation_.tracker().UPBReceive(packet); };
    upb_.notifyUPBState = [this](const std::shared_ptr<model::UPBLinkState>& state) { NotifyUPBState(state); };
    upb_.trace().setWindowOpen(true);
}

// upb: while held, received PIM text is buffered but not split into lines.
void Gateway::SetPimHold(bool hold) { upb_.connection().SetHold(hold); }

// upb: empty the receive buffer and reset the count of open attempts.
void Gateway::ResetPimReceiveBuffer() { upb_.connection().ResetReceiveBuffer(); }

// upb: open the PIM port when UPBCommPort is set and the port is not open yet.
void Gateway::OpenPimAtStart() { upb_.OpenAtStart(); }

// upb: the options write that the PIM identity object sends at creation.
void Gateway::CreatePimIdentity() {
    pim_ = model::UPBPIM{};
    upb_.SendPIMMessage(upb::kPimOptionsWrite);
}

// upb: one status poll of every module.
void Gateway::GetCurrentUPBStatus() { upb_.GetCurrentUPBStatus(); }

// upb: let the transmit queue go on at once.
void Gateway::StopTransmitHold() { upb_.connection().UPBQueueTimer().setEnabled(false); }

// upb: the tray menu's "Exit" sets the closing flag first, so that closing the
// connection is neither reported nor answered with a reconnect.
void Gateway::SetPimClosing() { upb_.connection().SetClosing(true); }

// model: the export import, then the Rain8 valves.
void Gateway::ImportInstallation() {
    model::Tracker& tracker = installation_.tracker();
    tracker.initialised = [this] { return initialised_; };
    tracker.NotifyUPBState = [this](const std::shared_ptr<model::UPBLinkState>& state) { NotifyUPBState(state); };
    tracker.RemovePendingStatusRequests = [this](const std::string& id) { RemovePendingStatusRequests(id); };
    installation_.Import(paths_.exportFile(), settings_.Rain8Modules);
}

// model: the state records, the link map and the X10 lookup.
void Gateway::RestoreLinkStates() { installation_.Restore(*ini_); }

// model: write the state records into the settings cache.
void Gateway::SaveLinkStates() { installation_.Save(); }

// xap: the outbound BSC event of a changed link state.
void Gateway::NotifyUPBState(const std::shared_ptr<model::UPBLinkState>& state) {
    xap_.NotifyUPBState(state);
    if (onStateChange) onStateChange(state);
}

// upb: a device's state report ends its pending status polls.
void Gateway::RemovePendingStatusRequests(const std::string& moduleId) { upb_.RemovePendingStatusRequests(moduleId); }

// xap: the received-message filters and the devices of interest.
void Gateway::InitReceivedFilters() {
    xap_.devices().InitFilterDictionary();
    xap_.devices().InitDeviceDictionary();
}
void Gateway::LinkDevicesToModules() { xap_.devices().LinkDevicesToModules(); }
void Gateway::SaveDevicesOfInterest() { xap_.devices().SaveDeviceDictionary(); }

// ui: the tray icon.
void Gateway::RemoveTrayIcon() {}

// Close the PIM port and stop the timers of every subsystem.
void Gateway::UnloadForms() {
    triggers_.Stop();
    IgnoringErrors([&] { upb_.Close(); });
    IgnoringErrors([&] { xap_.Unload(); });
}

} // namespace tarvelo
