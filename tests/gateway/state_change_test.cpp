// One installation, one simulated PIM, virtual time: every way a link state
// changes reaches the gateway's one notification entry point.
#include <gtest/gtest.h>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

namespace {

struct Rig {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    std::unique_ptr<Gateway> gateway;
    std::vector<std::pair<std::string, int>> changes;  // tag, value

    Rig() {
        // A dimmer (7) on a link of its own (5), in use;
        // an I/O module (9) whose input holds on for 90 s.
        WriteFile(dir / "Data/Tarvelo/Tarvelo.upe",
                  "0,5,2,3,1,0\r\n2,5,Hall\r\n2,20,Door Open\r\n2,21,Door Closed\r\n"
                  "3,7,1,1,1,1,0,2,1,0,1,Hall,Lamp,0\r\n8,0,7,1,0\r\n4,0,0,7,5,100,0\r\n"
                  "3,9,1,4,30,2,0,5,1,2,4,Garage,Door,0\r\n4,0,0,9,20,100,0\r\n4,0,1,9,21,0,0\r\n1\r\n");
        WriteFile(dir / "Config/Tarvelo.ini",
                  "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n"
                  "UPB01_M07_C01_01=2026-12-06 06:00:00;0;False;True;;Lamp;False;;\r\n"
                  "UPB01_M09_C01_01=2026-12-06 06:00:00;0;False;True;90;Door;False;;\r\n");
        net.pim.answerLikeAPim();
        app::Paths paths;
        paths.base = dir.path();
        gateway = std::make_unique<Gateway>(
            platform, paths,
            Gateway::Options{.mirrorLog = false, .onStateChange = [this](const auto& s) {
                                 changes.emplace_back(s->Tag, s->Value);
                             }});
    }
    void heard(const std::string& packet) { net.pim.send("PU" + packet + upb::Checksum(packet) + "\r"); }
    std::shared_ptr<model::UPBLinkState> state(const std::string& id, size_t n) {
        return (*gateway->network().UPBModules.find(id))->Channel(1)->LinkCollection.at(n - 1);
    }
};

} // namespace

TEST(StateChanges, ReceivedTrafficAcknowledgedCommandsAndDelayTimersAllNotify) {
    Rig r;
    ASSERT_TRUE(r.gateway->Start());
    ASSERT_TRUE(r.gateway->initialised());
    ASSERT_FALSE(r.net.pim.frames.empty());
    EXPECT_EQ(r.net.pim.frames.front(), "\x17" "70038D\r");  // the options write comes first
    r.changes.clear();

    // A wall switch activates link 5: the dimmer follows, once (its link is its one state).
    r.heard("8905010512" "20FFFF");
    r.platform.advance(100);
    EXPECT_EQ(r.changes, (std::vector<std::pair<std::string, int>>{{"Lamp", 100}}));

    // The gateway switches the dimmer off; the PIM's PA then PK confirm it.
    r.changes.clear();
    auto lamp = r.state("7", 1);
    auto status = std::make_shared<model::UPBStatus>(model::UPBStatus{lamp, 0});
    r.gateway->upb().SendUPBCommand(status, false, 7, false, -1, upb::kDeactivate);
    r.platform.runUntil([&] { return !r.changes.empty(); }, 10000);
    EXPECT_EQ(r.changes, (std::vector<std::pair<std::string, int>>{{"Lamp", 0}}));

    // The garage door input reports on, then off: off is held until 90 s after the on.
    r.changes.clear();
    r.platform.advance(20000);
    r.heard("0800010009" "86" "0001");
    r.platform.advance(10000);
    r.heard("0800010009" "86" "0000");
    r.platform.advance(70000);
    EXPECT_EQ(r.changes, (std::vector<std::pair<std::string, int>>{{"Door", 1}}));
    r.platform.advance(11000);
    EXPECT_EQ(r.changes, (std::vector<std::pair<std::string, int>>{{"Door", 1}, {"Door", 0}}));
}
