// Fuzz target: any datagram from the LAN, handed to the xAP handler of a
// started subsystem with a small installation (a dimmer with an X10 address
// and a relay, a filter and a device of interest). Commands go to a recording
// hook; nothing may crash, hang or grow without bound.
//
// Run: scripts/fuzz.sh (FUZZ_TARGETS="xap").
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/Logger.h"
#include "app/SettingsCache.h"
#include "sim/SimPlatform.h"
#include "upb/codec/Packet.h"
#include "xap/XapService.h"

namespace {
using namespace tarvelo;

struct World {
    sim::SimPlatform platform;
    app::Logger log{platform.clock(), {.mirror = false, .sender = [this](const auto& e) { xap.SendLogEntry(e); }}};
    app::SettingsCache ini{"/nonexistent-tarvelo-fuzz", &log};
    model::Network net;
    model::X10Dictionary x10;
    size_t commands = 0;
    xap::XapService xap{platform, log, net, ini,
                        {.SendUPBCommand = [this](auto&&...) { ++commands; },
                         .GetUPBState = [](const std::string&) { return int16_t{0}; },
                         .x10Lookup = [this] { return &x10; }}};

    World() {
        for (const auto& [id, kind] : {std::pair<const char*, int16_t>{"7", 2}, {"12", 4}}) {
            auto m = std::make_shared<model::UPBModule>();
            m->ModuleID = id;
            m->NetId = "1";
            m->Kind = kind;
            m->Room = "Hall";
            m->name = std::string("Device ") + id;
            auto ch = std::make_shared<model::UPBChannel>();
            ch->Parent = m;
            m->AddChannel(ch);
            auto s = std::make_shared<model::UPBLinkState>();
            s->StatusMask = 255;
            s->Used = s->Controllable = true;
            s->Componentindex = -1;
            s->UIDindex = std::stoi(id) * 256 + 1;
            s->OnLink = s->OffLink = "5";
            s->Values = upb::CommandList(kind);
            ch->add(ch, s);
            net.UPBModules.add(id, m);
            if (kind == 2) x10.add("A1", s);
        }
        xap.devices().filters().add("a.b.c~xAPBSC.event", "Dev;1");
        auto device = std::make_shared<xap::DeviceClass>();
        device->Tag = "Dev";
        xap.devices().devices().add("Dev", device);
        xap.Init("HOST", "Default", "Default");
        xap.SetReady();
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    world.xap.Readmessage(std::string(reinterpret_cast<const char*>(data), size));
    world.platform.advance(10000);  // paced replies drain
    world.platform.udp.sent.clear();
    return 0;
}
