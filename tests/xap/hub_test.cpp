#include <gtest/gtest.h>

#include <map>

#include "HubCore.h"

using tarvelo::hub::HubCore;

namespace {
std::string Beat(const std::string& cls, int port, int interval = 60) {
    return "xap-hbeat\r\n{\r\nv=12\r\nhop=1\r\nuid=FF.1:00\r\nclass=" + cls + "\r\nsource=acme.app.host\r\nInterval = " +
           std::to_string(interval) + "\r\nport=" + std::to_string(port) + "\r\n}\r\n";
}
const std::string kLo = "127.0.0.1";

HubCore LanHub() {
    return HubCore({.ownPort = 3639, .isLocal = [](const std::string& a) { return a == "192.168.1.20"; }});
}
} // namespace

TEST(Hub, LearnsClientsFromHeartbeatsAndForgetsThem) {
    HubCore hub;
    HubCore::Change change;
    EXPECT_TRUE(hub.Receive("xap-header\n{\n}\n", kLo, 0).empty());
    EXPECT_EQ(hub.Receive(Beat("xap-hbeat.alive", 40000), kLo, 0, &change), std::vector<uint16_t>{40000});
    EXPECT_EQ(change.kind, HubCore::Change::Joined);
    EXPECT_EQ(change.client.source, "acme.app.host");
    hub.Receive(Beat("xap-hbeat.alive", 40000), kLo, 1000, &change);
    EXPECT_EQ(change.kind, HubCore::Change::Refreshed);  // a refresh is not a join
    hub.Receive(Beat("xap-hbeat.alive", 40001, 10), kLo, 1000);
    EXPECT_EQ(hub.Receive("anything", kLo, 2000), (std::vector<uint16_t>{40000, 40001}));

    // Two silent intervals drop a client; a stop heartbeat (either spelling) at once.
    EXPECT_TRUE(hub.Expire(21000).empty());
    ASSERT_EQ(hub.Expire(21001).size(), 1u);
    hub.Receive(Beat("xap-hbeat.stop", 40000), kLo, 22000, &change);
    EXPECT_EQ(change.kind, HubCore::Change::Left);
    EXPECT_TRUE(hub.clients().empty());
    hub.Receive(Beat("xap-hbeat.alive", 40002), kLo, 0);
    hub.Receive(Beat("xap-hbeat.stopped", 40002), kLo, 0);
    EXPECT_TRUE(hub.clients().empty());
    // A heartbeat without a usable port is forwarded but learns nothing.
    hub.Receive("xap-hbeat\n{\nclass=xap-hbeat.alive\nport=99999\n}\n", kLo, 0);
    EXPECT_TRUE(hub.clients().empty());
}

// Another hub on the LAN heartbeats with port=3639: registering that port
// would forward every datagram back into this hub without end.
TEST(Hub, OnlyHeartbeatsFromThisMachineRegisterAndNeverTheHubsOwnPort) {
    HubCore hub = LanHub();
    HubCore::Change change;
    EXPECT_TRUE(hub.Receive(Beat("xap-hbeat.alive", 3639), "192.168.1.9", 0, &change).empty());
    EXPECT_EQ(change.kind, HubCore::Change::Refused);
    EXPECT_EQ(change.fromAddress, "192.168.1.9");
    hub.Receive(Beat("xap-hbeat.alive", 3639), "192.168.1.9", 60000, &change);
    EXPECT_EQ(change.kind, HubCore::Change::None);  // said once
    // A remote application's port is a port over there, not here.
    EXPECT_TRUE(hub.Receive(Beat("xap-hbeat.alive", 40000), "192.168.1.9", 0).empty());
    // The hub's own port, even from this machine.
    EXPECT_TRUE(hub.Receive(Beat("xap-hbeat.alive", 3639), kLo, 0, &change).empty());
    EXPECT_EQ(change.kind, HubCore::Change::Refused);

    // Applications here heartbeat from loopback or from a LAN address of the machine.
    hub.Receive(Beat("xap-hbeat.alive", 40000), kLo, 0);
    hub.Receive(Beat("xap-hbeat.alive", 40001), "192.168.1.20", 0);
    // A remote stop heartbeat does not end a local client either.
    hub.Receive(Beat("xap-hbeat.stop", 40000), "192.168.1.9", 0);
    EXPECT_EQ(hub.Receive("xap-header\n{\n}\n", "192.168.1.9", 1000), (std::vector<uint16_t>{40000, 40001}));
}

// A restarted hub reads its table back: clients are reached at once and still
// dropped two intervals after their last heartbeat before the restart.
TEST(Hub, TheClientTableSurvivesARestart) {
    HubCore before = LanHub();
    before.Receive(Beat("xap-hbeat.alive", 40000, 600), kLo, 5000);  // the gateway: every 10 minutes
    before.Receive(Beat("xap-hbeat.alive", 40001, 60), kLo, 9000);
    const int64_t wall = 1796540400000LL;  // at mono 10000
    const std::string saved = before.SaveState(10000, wall);

    // Back two minutes later on a clock that starts again at 0.
    HubCore after = LanHub();
    const auto restored = after.LoadState(saved, 0, wall + 120000);
    ASSERT_EQ(restored.size(), 1u);  // the 60 s client is two intervals gone
    EXPECT_EQ(restored[0].port, 40000);
    EXPECT_EQ(restored[0].source, "acme.app.host");
    EXPECT_EQ(after.Receive("xap-header\n{\n}\n", kLo, 0), std::vector<uint16_t>{40000});
    // Heard last 125 s before the restart: 1200 s of silence end at mono 1075000.
    EXPECT_TRUE(after.Expire(1075000).empty());
    EXPECT_EQ(after.Expire(1075001).size(), 1u);

    // Damaged lines, a clock set back, the hub's own port and a live client's port.
    HubCore other = LanHub();
    other.Receive(Beat("xap-hbeat.alive", 40002), kLo, 0);
    const auto loaded = other.LoadState(
        "tarvelo-hub clients 1\n40003 60000 " + std::to_string(wall + 5000) + " back.in.time\r\nx y z\n70000 1 1 a\n"
        "40004 0 1 b\n3639 60000 " + std::to_string(wall) + " own\n40002 60000 " + std::to_string(wall) + " dup\n",
        0, wall);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].source, "back.in.time");
    EXPECT_EQ(other.clients().at(40002).source, "acme.app.host");
    EXPECT_TRUE(other.LoadState("something else\n40005 60000 1 x\n", 0, wall).empty());
}

TEST(Hub, StateFileFolderFollowsTheEnvironment) {
    using tarvelo::hub::DefaultStateFile;
    auto env = [](std::map<std::string, std::string> vars) {
        return [vars](const char* name) -> const char* {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        };
    };
    EXPECT_EQ(DefaultStateFile(3639, env({{"STATE_DIRECTORY", "/var/lib/tarvelo-hub:/x"}, {"HOME", "/h"}})),
              "/var/lib/tarvelo-hub/clients-3639");
    EXPECT_EQ(DefaultStateFile(3639, env({{"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}})), "/s/tarvelo-hub/clients-3639");
    EXPECT_EQ(DefaultStateFile(4000, env({{"XDG_STATE_HOME", "relative"}, {"HOME", "/h"}})),
              "/h/.local/state/tarvelo-hub/clients-4000");
    EXPECT_EQ(DefaultStateFile(3639, env({})), "/var/lib/tarvelo-hub/clients-3639");
}
