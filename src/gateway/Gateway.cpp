#include "gateway/Gateway.h"

#include "common/Text.h"
#include "common/VbDate.h"
#include "upb/codec/Packet.h"

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

// Every subsystem gets what it needs of the others here, once. The callbacks
// reach members constructed later; none of them runs before Start.
Gateway::Gateway(platform::Platform& platform, app::Paths paths, Options options)
    : platform_(platform),
      paths_(std::move(paths)),
      options_(std::move(options)),
      log_(platform, {.mirror = options_.mirrorLog,
                              .textLog = paths_.textLog(),
                              .observer = options_.onLogEntry,
                              .sender = [this](const app::LogEntry& entry) { xap_.SendLogEntry(entry); }}),
      ini_(paths_.config(), &log_, &platform_),
      installation_(network_, log_, platform_,
                    {.NotifyUPBState =
                         [this](const auto& state) {
                             // Outside a received packet only a delay-off timer changes a state.
                             StateChanged(state, receiveCause_.empty() ? "delay-off timer" : receiveCause_);
                         },
                     .RemovePendingStatusRequests = [this](const std::string& id) { upb_.RemovePendingStatusRequests(id); },
                     .initialised = [this] { return initialised_; }}),
      upb_(platform_, log_, settings_, network_,
           {.upbReceive = [this](const std::string& packet) { Received(packet); },
            .NotifyUPBState =
                [this](const auto& state) {
                    auto it = commandCauses_.find(state.get());
                    std::string cause = it == commandCauses_.end() ? "command" : it->second;
                    if (it != commandCauses_.end()) commandCauses_.erase(it);
                    StateChanged(state, cause);
                },
            .traceChanged = [this](bool scroll) {
                if (desktop_) desktop_->TraceChanged(scroll);
            }}),
      xap_(platform_, log_, network_, ini_,
           {.SendUPBCommand = [this](const std::shared_ptr<model::UPBStatus>& status, bool isLink, int16_t destination,
                                     bool on, int16_t level, int16_t command) {
                SendUPBCommandFor(commandOrigin_.empty() ? "xAP command" : commandOrigin_, status, isLink, destination,
                                  on, level, command);
            },
            .GetUPBState = [this](const std::string& id) { return upb_.GetUPBState(id); },
            .x10Lookup = [this] { return &installation_.x10Lookup(); },
            .QueueScriptEvent = [this](const auto& event) { triggers_.QueueScriptEvent(event); },
            .UID = [this] { return settings_.UID; }},
           options_.xapPort),
      triggers_(platform_, log_, [this](const std::string& tag) { application_.RunMain(tag); }),
      application_(platform_, paths_, ini_, xap_, xap_.devices(), triggers_.currentEvent(), log_,
                   {.ControlUPBLink =
                        [this](const std::shared_ptr<model::UPBLinkState>& state, const std::string& value) {
                            commandOrigin_ = "script";
                            xap_.ControlUPBLink(state, value);
                            commandOrigin_.clear();
                        },
                    .mainRunning = options_.runMain}),
      scriptServer_(platform_, application_, log_),
      web_(platform_, log_, ini_, settings_, network_, xap_.devices(), paths_.base, paths_.htmlFolder(), options_.version,
           {.page = {.SendUPBCommand = [this](const std::shared_ptr<model::UPBStatus>& status, bool isLink,
                                              int16_t destination, bool on, int16_t level,
                                              int16_t command) {
                         SendUPBCommandFor("page", status, isLink, destination, on, level, command);
                     },
                     .ControlUPBLink =
                         [this](const std::shared_ptr<model::UPBLinkState>& state, const std::string& value) {
                             commandOrigin_ = "page";
                             xap_.ControlUPBLink(state, value);
                             commandOrigin_.clear();
                         },
                     .BSCQuery = [this](const std::string& target) { xap_.BSCQuery(target); },
                     .AddDeviceOfInterest = [this](const std::string& tag,
                                                   const std::shared_ptr<model::UPBLinkState>& state) {
                         AddDeviceOfInterest(tag, state);
                     },
                     // "Read Script" starts from a clean engine: a procedure
                     // deleted from the file stops running.
                     .ReadScript = [this] { application_.InitScriptControl(); },
                     .ReopenPim = [this](const std::string& oldPort) { ReopenPim(oldPort); },
                     .ArmPeriodicScript = [this](const std::string& seconds) { triggers_.ArmPeriodic(seconds); }},
            .framework = {.sunrise = [this] { return xap_.sunrise(); }, .sunset = [this] { return xap_.sunset(); }},
            .listening = [this](int port) {
                Console("Status page: http://127.0.0.1:" + Dec(port) + "/stat");
            }}),
      desktop_(options_.desktop ? options_.desktop(MakeDesktopHost()) : nullptr) {
    if (!desktop_) desktop_ = std::make_unique<HeadlessDesktop>();
    // A handler that throws past its own guard costs one log line, not the loop.
    platform_.setErrorReporter([this](const std::string& line) { log_.WriteLog("Tarvelo", line); });
}

Gateway::~Gateway() { platform_.setErrorReporter(nullptr); }

void Gateway::DebugLog(const std::string& data) {
    if (settings_.DebugLog) log_.WriteLog("Tarvelo Debug", data);
}

bool Gateway::Start() {
    if (started_) return !shutDown_;
    started_ = true;
    startedAt_ = platform_.monotonicMillis();
    closing_ = false;
    bool keepRunning = true;
    // An error in the load event's own steps ends start-up at that point.
    Guard(&log_, "Main Load", [&] {
        GlobalInitialisation();

        const int port = InitXap();
        if (port > 0) {
            xap_.SetReady();
        } else {
            log_.TextLog("Tarvelo", "xAP Init Error " + Dec(port) + " occurred");
            keepRunning = false;
            return;
        }

        Guard(&log_, "InitHW", [&] { InitHW(); });
        LoadTimerForm();
        if (!options_.headlessReason.empty()) log_.WriteLog("Tarvelo", "No tray icon: " + options_.headlessReason);
        desktop_->ShowTrayIcon();
    });
    if (!keepRunning) shutDown_ = true;
    return keepRunning;
}

void Gateway::GlobalInitialisation() {
    computerName_ = platform_.computerName();
    app::MakePath(paths_.config() / "x");
    app::MakePath(paths_.data() / "x");
    Guard(&log_, "Application Initialize", [&] { application_.Create(); });
    Guard(&log_, "Script host socket", [&] { scriptServer_.Start(application_.SocketPath()); });
    Guard(&log_, "Server Form_Load ", [&] { web_.Start(); });
    interfaceAddress_ = ini_.GetIniSetting("Interface", "InterfaceAddress", "Default", "zantuXap.ini");
    broadcastAddress_ = ini_.GetIniSetting("Interface", "BroadcastAddress", "Default", "zantuXap.ini");
    // xAP starts before the other settings load; it needs its UID now.
    settings_.SetIniValue(ini_, "uid");
}

int Gateway::InitXap() { return xap_.Init(computerName_, interfaceAddress_, broadcastAddress_); }

void Gateway::InitHW() {
    Guard(&log_, "LoadTraceWindow", [&] { upb_.trace().setWindowOpen(true); });
    initialised_ = false;

    // Lines the PIM sends while the settings load wait in its buffer.
    upb_.Hold();
    Guard(&log_, "InitReceivedFilters", [&] { xap_.LoadDevices(); });
    Guard(&log_, "InitINIVariables", [&] { InitINIVariables(); });
    upb_.ReleaseHold();

    installation_.Load(paths_.exportFile(), settings_.Rain8Modules, ini_);
    Guard(&log_, "LinkDevicesToModules", [&] { xap_.LinkDevicesToModules(); });

    // The PIM identity object writes the options register at its creation.
    Guard(&log_, "CreatePimIdentity", [&] {
        pim_ = model::UPBPIM{};
        upb_.SendPIMMessage(upb::kPimOptionsWrite);
    });
    Guard(&log_, "GetCurrentUPBStatus", [&] {
        int64_t lastLine = 0;
        upb_.GetCurrentUPBStatus([&](size_t done, size_t total) {
            const int64_t now = platform_.clock().localMillis();
            if (done != total && done != 1 && now - lastLine < 1000) return;
            lastLine = now;
            Console("Polling modules: " + Dec(static_cast<long long>(done)) + " of " + Dec(static_cast<long long>(total)));
        });
    });

    initialised_ = true;
    triggers_.ArmPeriodic(settings_.PeriodicScriptInterval);
}

void Gateway::InitINIVariables() {
    settings_.InitIniKeys(ini_, &log_);
    upb_.ResetReceiveBuffer();
    upb_.OpenAtStart();
}

void Gateway::LoadTimerForm() {
    DebugLog("Internal Timer Started");
    upb_.EndTransmitHold();
}

void Gateway::ReopenPim(const std::string& oldPort) {
    // Another PIM may not be in message mode yet: set it up as start-up does.
    if (upb_.Reopen(oldPort)) upb_.SendPIMMessage(upb::kPimOptionsWrite);
}

void Gateway::RequestExit() {
    closing_ = true;
    upb_.BeginClosing();
    Shutdown();
    platform_.quit();
}

void Gateway::Shutdown() {
    if (shutDown_ || !started_) {
        shutDown_ = true;
        return;
    }
    shutDown_ = true;
    IgnoringErrors([&] { installation_.Save(); });
    IgnoringErrors([&] { xap_.SaveDevices(); });
    IgnoringErrors([&] { ini_.FlushIniCache(); });
    // Repeats left out of the log are counted before the transport goes.
    IgnoringErrors([&] { log_.FlushRepeats(); });
    IgnoringErrors([&] { desktop_->RemoveTrayIcon(); });
    IgnoringErrors([&] { UnloadForms(); });
}

void Gateway::UnloadForms() {
    IgnoringErrors([&] { desktop_->UnloadForms(); });
    upb_.trace().setWindowOpen(false);
    triggers_.Stop();
    IgnoringErrors([&] { scriptServer_.Stop(); });
    IgnoringErrors([&] { upb_.Close(); });
    IgnoringErrors([&] { xap_.Unload(); });
    IgnoringErrors([&] { web_.Unload(); });
}

void Gateway::NotifyUPBState(const std::shared_ptr<model::UPBLinkState>& state) {
    xap_.NotifyUPBState(state);
    if (options_.onStateChange) options_.onStateChange(state);
}

void Gateway::StateChanged(const std::shared_ptr<model::UPBLinkState>& state, const std::string& cause) {
    NotifyUPBState(state);
    if (!options_.console) return;
    Guard(&log_, "StateChanged", [&] {
        auto module = state->module();
        std::string name = state->Tag;
        if (name.empty() && module) {
            name = module->Room + " " + module->name;
            if (const model::LinkEntry* link = network_.findLink(state->OnLink); link && link->Count() >= 2)
                name += " " + link->Item(2);
        }
        const std::string text = web::StateText(state->Value, module ? module->Kind : 0, state->Invert);
        Console(FormatTime(DateFromLocalMillis(platform_.clock().localMillis())) + "  " + Replace(name, "_", " ") +
                "  " + text + "  (" + cause + ")");
    });
}

void Gateway::SendUPBCommandFor(const std::string& cause, const std::shared_ptr<model::UPBStatus>& status, bool isLink,
                                int16_t destination, bool on, int16_t level, int16_t command) {
    if (status && status->Link) commandCauses_[status->Link.get()] = cause;
    upb_.SendUPBCommand(status, isLink, destination, on, level, command);
}

void Gateway::Received(const std::string& packet) {
    // The message data id: a link command is someone pressing a switch, a
    // state report the answer to a poll.
    const std::string mdid = packet.size() >= 12 ? packet.substr(10, 2) : "";
    const std::string previous = receiveCause_;
    receiveCause_ = mdid == "20" || mdid == "21" ? "wall switch" : mdid == "86" ? "poll" : "received";
    installation_.tracker().UPBReceive(packet);
    receiveCause_ = previous;
}

void Gateway::AddDeviceOfInterest(const std::string& tag, const std::shared_ptr<model::UPBLinkState>& state) {
    Guard(&log_, "AddDeviceOfInterest", [&] {
        auto& devices = xap_.devices().devices();
        if (devices.exists(tag)) return;
        auto device = std::make_shared<xap::DeviceClass>();
        device->Tag = tag;
        device->Link = state;
        devices.add(tag, std::move(device));
    });
}

void Gateway::Console(const std::string& line) {
    if (options_.console) options_.console(line);
}

Status Gateway::status() const {
    Status s;
    s.upb = upb_.status();
    s.xap = xap_.status();
    s.logEntriesDropped = log_.droppedWhileHeld();
    s.logRepeatsLeftOut = log_.repeatsLeftOut();
    if (started_) s.uptimeSeconds = (platform_.monotonicMillis() - startedAt_) / 1000;
    for (const auto& [key, module] : network_.UPBModules) {
        if (!module) continue;
        ++s.model.modules;
        s.model.channels += module->ChannelCollection().size();
        for (const auto& channel : module->ChannelCollection()) s.model.states += channel->LinkCollection.size();
    }
    s.model.links = network_.UPBLinks.count();
    s.model.delayTimers = installation_.delayTimerCount();
    s.model.rain8Valves = installation_.rain8Valves();
    return s;
}

} // namespace tarvelo
