#include <gtest/gtest.h>

#include "HubCore.h"

using tarvelo::hub::HubCore;

namespace {
std::string Beat(const std::string& cls, int port, int interval = 60) {
    return "xap-hbeat\r\n{\r\nv=12\r\nhop=1\r\nuid=FF.1:00\r\nclass=" + cls + "\r\nsource=acme.app.host\r\nInterval = " +
           std::to_string(interval) + "\r\nport=" + std::to_string(port) + "\r\n}\r\n";
}
} // namespace

TEST(Hub, LearnsClientsFromHeartbeatsAndForgetsThem) {
    HubCore hub;
    HubCore::Change change;
    EXPECT_TRUE(hub.Receive("xap-header\n{\n}\n", 0).empty());
    EXPECT_EQ(hub.Receive(Beat("xap-hbeat.alive", 40000), 0, &change), std::vector<uint16_t>{40000});
    EXPECT_EQ(change.kind, HubCore::Change::Joined);
    EXPECT_EQ(change.client.source, "acme.app.host");
    hub.Receive(Beat("xap-hbeat.alive", 40000), 1000, &change);
    EXPECT_EQ(change.kind, HubCore::Change::None);  // a refresh is not a join
    hub.Receive(Beat("xap-hbeat.alive", 40001, 10), 1000);
    EXPECT_EQ(hub.Receive("anything", 2000), (std::vector<uint16_t>{40000, 40001}));

    // Two silent intervals drop a client; a stop heartbeat (either spelling) at once.
    EXPECT_TRUE(hub.Expire(21000).empty());
    ASSERT_EQ(hub.Expire(21001).size(), 1u);
    hub.Receive(Beat("xap-hbeat.stop", 40000), 22000, &change);
    EXPECT_EQ(change.kind, HubCore::Change::Left);
    EXPECT_TRUE(hub.clients().empty());
    hub.Receive(Beat("xap-hbeat.alive", 40002), 0);
    hub.Receive(Beat("xap-hbeat.stopped", 40002), 0);
    EXPECT_TRUE(hub.clients().empty());
    // A heartbeat without a usable port is forwarded but learns nothing.
    hub.Receive("xap-hbeat\n{\nclass=xap-hbeat.alive\nport=99999\n}\n", 0);
    EXPECT_TRUE(hub.clients().empty());
}
