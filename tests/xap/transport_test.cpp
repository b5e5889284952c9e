#include <gtest/gtest.h>

#include "XapRig.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {
const std::string kEcho = Msg("class=ZIZ.Echo\nsource=acme.tool.host\n", "Echo.Query\n{\nQuery=PING\n}\n");
}

TEST(XapTransport, SkipsTakenPortsAndAnnouncesThePortInEveryHeartbeat) {
    XapRig r(false);
    r.platform.udp.taken = {{"127.0.0.1", 32768}, {"127.0.0.1", 32769}};
    ASSERT_EQ(r.Start(), 32770);
    const auto beats = r.sent("xap-hbeat");
    ASSERT_EQ(beats.size(), 1u);
    EXPECT_EQ(beats[0],
              "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0002:00\nclass=xap-hbeat.alive\nsource=zantu.UPB.HOST\n"
              "interval=600\nport=32770\n}\n");
    EXPECT_EQ(r.platform.udp.sent[0].host, "255.255.255.255");
    EXPECT_EQ(r.platform.udp.sent[0].fromAddress, "192.168.1.20");  // the LAN socket sends
    r.platform.advance(599000);
    EXPECT_EQ(r.sent("xap-hbeat").size(), 1u);
    r.platform.advance(1000);
    EXPECT_EQ(r.sent("xap-hbeat").size(), 2u);
}

TEST(XapTransport, HeartbeatPeriodIsClamped) {
    struct Case { int seconds; int timerMs; bool enabled; const char* interval; };
    for (const Case c : {Case{3, 5000, true, "interval=50\n"}, Case{0, 0, false, "interval=00\n"},
                         Case{90, 60000, true, "interval=600\n"}, Case{-4, 0, false, "interval=00\n"}}) {
        XapRig r;
        r.clearSent();
        r.xap.transport().SendHeartbeat(c.seconds);
        EXPECT_EQ(r.xap.transport().HBeatTimer().enabled(), c.enabled) << c.seconds;
        if (c.enabled) {
            EXPECT_EQ(r.xap.transport().HBeatTimer().interval(), c.timerMs);
        }
        ASSERT_EQ(r.sent().size(), 1u);
        EXPECT_NE(r.sent()[0].find(c.interval), std::string::npos) << c.seconds;
    }
}

TEST(XapTransport, ABurstIsDrainedOnce50msAfterItsLastDatagramInOrder) {
    XapRig r;
    r.clearSent();
    const uint16_t port = static_cast<uint16_t>(r.xap.transport().port());
    for (int i = 0; i < 3; ++i)
        r.platform.udp.deliver(port, Msg("class=ZIZ.Echo\nsource=acme.tool.host\n", "Echo.Query\n{\nQuery=P" + std::to_string(i) + "\n}\n"), i * 10);
    r.platform.udp.deliver(port, "xap-hbeat\n{\nclass=xap-hbeat.alive\n}\n", 25);  // filtered out
    r.platform.advance(69);
    EXPECT_TRUE(r.sent("Echo.Response").empty());
    r.platform.advance(1);
    const auto replies = r.sent("Echo.Response");
    ASSERT_EQ(replies.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NE(replies[i].find("Response=p" + std::to_string(i) + "\n"), std::string::npos);
    EXPECT_EQ(r.xap.transport().queued(), 0u);

    // Upper-case header text passes the heartbeat filter.
    r.receive("XAP-HEADER\n{\nclass=ZIZ.Echo\nsource=a.b.c\n}\nEcho.Query\n{\nQuery=X\n}\n");
    EXPECT_EQ(r.sent("Echo.Response").size(), 4u);
}

// A steady stream (one every 30 ms) would restart the 50 ms wait for ever;
// the queue is still handed over within half a second.
TEST(XapTransport, ASteadyStreamIsNotHeldBackForEver) {
    XapRig r;
    r.clearSent();
    const uint16_t port = static_cast<uint16_t>(r.xap.transport().port());
    for (int i = 0; i < 100; ++i)
        r.platform.udp.deliver(port, Msg("class=ZIZ.Echo\nsource=acme.tool.host\n", "Echo.Query\n{\nQuery=P\n}\n"), i * 30);
    r.platform.advance(600);
    EXPECT_FALSE(r.sent("Echo.Response").empty());
    r.platform.advance(3000);
    EXPECT_EQ(r.sent("Echo.Response").size(), 100u);
}

TEST(XapTransport, SendXapMessageCompletesTheUidAndWritesSourceAndTarget) {
    XapRig r(false);
    ASSERT_GT(r.Start("Default", "192.168.1.255", "FF.1234:00"), 0);
    r.clearSent();
    r.xap.SendXapMessage("", "c.x", "s", xap::MsgData().add("k", "v").str(), "kitchen.lamp.light", "0A");
    r.xap.SendXapMessage("acme.tool.host", "c.y", "s", "", "", "FF.9999:77", "sub.part");
    ASSERT_EQ(r.platform.udp.sent.size(), 2u);
    EXPECT_EQ(r.platform.udp.sent[0].host, "192.168.1.255");
    EXPECT_EQ(r.platform.udp.sent[0].bytes,
              "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:0A\nclass=c.x\nsource=zantu.UPB.HOST:kitchen.lamp.light\n}\n"
              "s\n{\nk=v\n}\n");
    EXPECT_NE(r.platform.udp.sent[1].bytes.find("uid=FF.9999:77\n"), std::string::npos);
    EXPECT_NE(r.platform.udp.sent[1].bytes.find("target=acme.tool.host:sub.part\n}\n"), std::string::npos);
}

TEST(XapTransport, MessagesBeforeReadyWaitAndGoOutFirst) {
    XapRig r(false);
    r.xap.SendXapMessage("", "early.one", "s", "", "", "");
    r.xap.SendXapMessage("", "early.two", "s", "", "", "");
    EXPECT_TRUE(r.platform.udp.sent.empty());
    r.Start();
    std::vector<std::string> classes;
    for (const auto& d : r.platform.udp.sent) {
        size_t c = d.bytes.find("class=");
        classes.push_back(d.bytes.substr(c + 6, d.bytes.find('\n', c) - c - 6));
    }
    ASSERT_GE(classes.size(), 5u);
    EXPECT_EQ(classes[0], "xap-hbeat.alive");
    EXPECT_EQ(classes[1], "early.one");
    EXPECT_EQ(classes[2], "early.two");
    EXPECT_EQ(classes[3], "Homeseer.Event");  // "Using xAP port 32768"
    EXPECT_EQ(classes[4], "time.query");
}

TEST(XapTransport, InterfaceAddressPicksTheMatchingLanAddress) {
    EXPECT_TRUE(xap::XapTransport::AddressMatches("192.168.1.77", "192.168.1.0"));
    EXPECT_FALSE(xap::XapTransport::AddressMatches("10.0.0.5", "192.168.1.0"));
    EXPECT_FALSE(xap::XapTransport::AddressMatches("10.0.0.5", "Default"));
    XapRig r(false);
    r.platform.addresses = {"10.0.0.5", "192.168.1.77"};
    r.Start("192.168.1.0");
    EXPECT_EQ(r.xap.transport().localAddress(), "192.168.1.77");
}

TEST(XapTransport, WithoutALanAddressItRunsOnLoopback) {
    XapRig r(false);
    r.platform.addresses.clear();
    ASSERT_EQ(r.Start(), 32768);
    bool logged = false;
    for (const auto& e : r.logged) logged |= e.data == "No LAN address: xAP runs on the loopback address only";
    EXPECT_TRUE(logged);
    EXPECT_EQ(r.platform.udp.sent.at(0).host, "127.255.255.255");
    EXPECT_EQ(r.platform.udp.sent.at(0).fromAddress, "127.0.0.1");
    r.clearSent();
    r.receive(kEcho);
    EXPECT_EQ(r.sent("Echo.Response").size(), 1u);
}

TEST(XapTransport, InitFailures) {
    XapRig noLoopback(false);
    for (int p = 32768; p < 32968; ++p) noLoopback.platform.udp.taken.push_back({"127.0.0.1", static_cast<uint16_t>(p)});
    EXPECT_EQ(noLoopback.Start(), -1);

    XapRig lanTaken(false);
    lanTaken.platform.udp.taken = {{"192.168.1.20", 32768}};
    EXPECT_EQ(lanTaken.Start(), -10048);
}

// Junk of every shape, 10000 datagrams within a second: nothing crashes, the
// queue stays bounded, and the gateway still answers afterwards.
TEST(XapTransport, SurvivesAFloodOfJunk) {
    XapRig r;
    const uint16_t port = static_cast<uint16_t>(r.xap.transport().port());
    std::string dots = "xap-header\n{\nclass=xAPBSC.cmd\nsource=a.b.c\ntarget=" + std::string(500, '.') + "\n}\n";
    std::string sections = "xap-header\n{\nclass=x\n}\n";
    for (int i = 0; i < 1000; ++i) sections += "s" + std::to_string(i) + "\n{\n}\n";
    const std::vector<std::string> junk = {
        "", std::string(65507, 'x'), std::string("\0\x01\xff\xfe", 4), "xap-header", "xap-header\r\n{\r\n}\r\n",
        "xap-header\n{\n}\ns\n{\na=1\na=2\n}\n", "xap-header\n{\n}\ns\n{\n}\ns\n{\n}\n", dots, sections,
        "xap-header\n{\nclass=xAPBSC.query\nsource=a.b.c\ntarget=zantu.UPB.HOST:>\n}\n"};
    for (int i = 0; i < 10000; ++i) r.platform.udp.deliver(port, junk[static_cast<size_t>(i) % junk.size()], i / 10);
    r.platform.advance(1100);
    EXPECT_EQ(r.xap.transport().queued(), 0u);
    r.clearSent();
    r.receive(kEcho);
    EXPECT_EQ(r.sent("Echo.Response").size(), 1u);
}
