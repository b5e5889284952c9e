// The whole gateway in virtual time with a simulated PIM and xAP peers: a BSC
// command reaches the PIM through the transmit queue, the confirmed change
// goes out as an event, and captured devices survive a shut-down.
#include <gtest/gtest.h>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"

using namespace tarvelo;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

TEST(XapScenario, CommandToPimToEventAndDevicesSurviveShutdown) {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    net.pim.answerLikeAPim();
    WriteFile(dir / "Data/Tarvelo/Tarvelo.upe",
              "0,5,2,3,1,0\r\n2,5,Hall\r\n3,7,1,1,1,1,0,2,1,0,1,Hall,Lamp,0\r\n8,0,7,1,0\r\n4,0,0,7,5,100,0\r\n1\r\n");
    WriteFile(dir / "Config/Tarvelo.ini",
              "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n"
              "UPB01_M07_C01_01=2026-12-06 06:00:00;0;False;True;;Lamp;True;;\r\n"
              "[Received]\r\nacme.temp.host~xAPBSC.event=Lounge;1\r\n[Devices]\r\nLounge=2000-01-01 00:00:00\r\n");
    app::Paths paths;
    paths.base = dir.path();
    std::vector<std::string> ran;
    Gateway g(platform, paths,
              Gateway::Options{.mirrorLog = false, .runMain = [&](const std::string& tag) { ran.push_back(tag); }});
    ASSERT_TRUE(g.Start());
    platform.advance(30000);  // start-up polls done
    net.pim.frames.clear();
    platform.udp.sent.clear();

    // Level 3 of the command list: a direct goto 100 to module 7.
    platform.udp.deliver(32768,
                         "xap-header\r\n{\r\nv=13\r\nhop=1\r\nuid=FF.1234:00\r\nclass=xAPBSC.cmd\r\nsource=acme.tool.host\r\n"
                         "target=zantu.UPB.TESTBOX:>\r\n}\r\noutput.state.1\r\n{\r\nID=0702\r\nLevel=3\r\n}\r\n");
    platform.runUntil([&] { return !platform.udp.sentTo(3639, "xapbsc.event").empty(); }, 10000);
    ASSERT_FALSE(net.pim.frames.empty());
    EXPECT_EQ(net.pim.frames[0].substr(0, 1), "\x14");
    const std::string event = platform.udp.sentTo(3639, "xapbsc.event")[0];
    EXPECT_NE(event.find("uid=FF.0002:0702\n"), std::string::npos) << event;
    EXPECT_NE(event.find("state=ON\nDisplayText=100 / On\nlevel=3/25\n"), std::string::npos) << event;
    platform.advance(100);
    EXPECT_EQ(ran, std::vector<std::string>{"Lamp"});

    // A filtered message of another device is captured and saved at shut-down.
    platform.udp.deliver(32768, "xap-header\n{\nclass=xAPBSC.event\nsource=acme.temp.host\n}\ninput.state\n{\nText=21.5\n}\n");
    platform.advance(100);
    EXPECT_EQ(ran, (std::vector<std::string>{"Lamp", "Lounge"}));
    g.RequestExit();
    const std::string saved = ReadFile(dir / "Config/Tarvelo.ini");
    EXPECT_NE(saved.find("[DEVICE MESSAGES]\r\nLounge.input.state.Text=21.5\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nLounge=2026-12-06 07:00:3"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nLamp=1899-12-30 00:00:00\r\n"), std::string::npos) << saved;
}
