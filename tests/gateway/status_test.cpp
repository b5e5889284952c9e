// The status snapshot: what the status page and the desktop show, read from
// a running gateway without reaching into its subsystems.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"

using namespace tarvelo;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

TEST(GatewayStatus, CountsTrafficAndSizesAsTheyHappen) {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    net.pim.answerLikeAPim();
    WriteFile(dir / "Data/Tarvelo/Tarvelo.upe",
              "0,5,2,3,1,0\r\n2,5,Hall\r\n3,7,1,1,1,1,0,2,1,0,1,Hall,Lamp,0\r\n8,0,7,1,0\r\n4,0,0,7,5,100,0\r\n1\r\n");
    WriteFile(dir / "Config/Tarvelo.ini", "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n");
    app::Paths paths;
    paths.base = dir.path();
    Gateway g(platform, paths, Gateway::Options{false});

    const Status before = g.status();
    EXPECT_EQ(before.uptimeSeconds, 0);
    EXPECT_FALSE(before.xap.ready);
    EXPECT_EQ(before.model.modules, 0u);

    ASSERT_TRUE(g.Start());
    platform.advance(30000);  // start-up polls done
    const Status started = g.status();
    EXPECT_TRUE(started.upb.portOpen);
    EXPECT_TRUE(started.upb.tcpMode);
    EXPECT_EQ(started.upb.queueLength, 0u);
    EXPECT_FALSE(started.upb.transmitting);
    // The options write and the state request to module 7.
    EXPECT_EQ(started.upb.transmissions.transmissions, 2u);
    EXPECT_EQ(started.upb.transmissions.failures, 0u);
    EXPECT_TRUE(started.xap.ready);
    EXPECT_EQ(started.xap.port, 32768);
    EXPECT_GE(started.uptimeSeconds, 30);
    EXPECT_EQ(started.model.modules, 1u);
    EXPECT_EQ(started.model.states, 2u);  // the module's own state and link 7's
    EXPECT_EQ(started.model.links, g.network().UPBLinks.count());

    platform.udp.deliver(32768, "xap-header\n{\nclass=xAPBSC.cmd\nsource=acme.tool.host\ntarget=zantu.UPB.TESTBOX:>\n}\n"
                                "output.state.1\n{\nID=0701\nState=on\n}\n");
    platform.udp.deliver(32768, "not xap at all");
    platform.advance(5000);
    const Status after = g.status();
    EXPECT_EQ(after.xap.datagramsReceived, started.xap.datagramsReceived + 2);
    EXPECT_EQ(after.xap.datagramsDropped, 0u);
    EXPECT_EQ(after.upb.transmissions.transmissions, 3u);
    EXPECT_GT(after.upb.lines.framesWritten, started.upb.lines.framesWritten);
}

TEST(GatewayStatus, AHandlerThatThrowsIsLoggedOnceAndTheGatewayGoesOn) {
    TempDir dir;
    sim::SimPlatform platform;
    std::vector<std::string> logged;
    app::Paths paths;
    paths.base = dir.path();
    Gateway g(platform, paths,
              Gateway::Options{.mirrorLog = false, .onLogEntry = [&](const app::LogEntry& e) { logged.push_back(e.data); }});
    ASSERT_TRUE(g.Start());
    platform.post([] { throw std::runtime_error("boom"); });
    platform.advance(1000);
    EXPECT_EQ(std::count_if(logged.begin(), logged.end(),
                            [](const std::string& d) { return d.find("boom") != std::string::npos; }),
              1);
    // The loop still runs the gateway's timers: the next heartbeat goes out.
    platform.udp.sent.clear();
    platform.advance(600000);
    EXPECT_FALSE(platform.udp.sentTo(3639, "xap-hbeat").empty());
}
