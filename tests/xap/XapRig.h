#pragma once
// A running xAP subsystem on the simulation platform, with a small model and
// the UPB side recorded through the hooks.

#include <memory>
#include <string>
#include <vector>

#include "app/Logger.h"
#include "app/SettingsCache.h"
#include "model/ModelTestUtil.h"
#include "model/StateRecords.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"
#include "upb/codec/Packet.h"
#include "xap/XapService.h"

namespace tarvelo::testing {

struct SentCommand {
    std::shared_ptr<model::UPBLinkState> state;
    int16_t expected;
    bool isLink;
    int16_t destination;
    bool on;
    int16_t level;
    int16_t command;
};

struct XapRig {
    sim::SimPlatform platform;
    std::vector<SentCommand> commands;
    std::vector<std::string> polled;
    std::vector<std::shared_ptr<xap::DeviceClass>> triggers;
    std::vector<app::LogEntry> logged;
    TempDir dir;  // Config/ for the settings of the devices of interest
    app::Logger log{platform,
                    {.mirror = false,
                     .observer = [this](const app::LogEntry& e) { logged.push_back(e); },
                     .sender = [this](const app::LogEntry& e) { xap.SendLogEntry(e); }}};
    app::SettingsCache ini{dir.path() / "Config", &log};
    model::Network net;
    model::X10Dictionary x10;
    std::string uid = "FF.0002:00";  // the settings' UID, as the gateway hands it in
    xap::XapService xap{platform, log, net, ini,
                        {.SendUPBCommand =
                             [this](const std::shared_ptr<model::UPBStatus>& s, bool isLink, int16_t d, bool on,
                                    int16_t level, int16_t command) {
                                 commands.push_back({s->Link, s->Value, isLink, d, on, level, command});
                             },
                         .GetUPBState =
                             [this](const std::string& id) {
                                 polled.push_back(id);
                                 return int16_t{0};
                             },
                         .x10Lookup = [this] { return &x10; },
                         .QueueScriptEvent = [this](const auto& d) { triggers.push_back(d); },
                         .UID = [this] { return uid; }}};

    explicit XapRig(bool start = true) {
        platform.computerName_ = "HOST";
        if (start) Start();
    }

    int Start(const std::string& iface = "Default", const std::string& broadcast = "Default",
              const std::string& uid = "FF.0002:00") {
        this->uid = uid;
        const int port = xap.Init(platform.computerName(), iface, broadcast);
        if (port > 0) xap.SetReady();
        return port;
    }

    // A datagram from the LAN, then the burst timer's wait.
    void receive(const std::string& text, int64_t afterMs = 60) {
        platform.udp.deliver(static_cast<uint16_t>(xap.transport().port()), text);
        platform.advance(afterMs);
    }
    std::vector<std::string> sent(const std::string& needle = "") const { return platform.udp.sentTo(3639, needle); }
    void clearSent() { platform.udp.sent.clear(); }

    // A module with its module-own (channel 0) state, like an imported one.
    std::shared_ptr<model::UPBLinkState> device(const std::string& id, int16_t kind, const std::string& room,
                                                const std::string& name, const std::string& onLink = "",
                                                const std::string& offLink = "") {
        auto m = AddModule(net, id, kind);
        m->Room = room;
        m->name = name;
        auto s = AddState(m, 255, onLink);
        s->OffLink = offLink;
        s->Componentindex = -1;
        s->Controllable = true;
        s->Used = true;
        s->UIDindex = static_cast<int32_t>(std::stoi(id) * 256 + 1);
        s->Values = upb::CommandList(kind);
        s->DefaultOnLevel = 100;
        return s;
    }
};

inline std::string Msg(const std::string& header, const std::string& body) {
    return "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\n" + header + "}\n" + body;
}

} // namespace tarvelo::testing
