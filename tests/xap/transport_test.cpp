#include <gtest/gtest.h>

#include <algorithm>

#include "XapRig.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {
const std::string kEcho = Msg("class=ZIZ.Echo\nsource=acme.tool.host\n", "Echo.Query\n{\nQuery=PING\n}\n");

size_t Logged(const XapRig& r, const std::string& prefix) {
    size_t n = 0;
    for (const auto& e : r.logged) n += e.data.rfind(prefix, 0) == 0;
    return n;
}
} // namespace

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

    // Two thousand faulty messages did not become two thousand log entries
    // (each also an xAP message): a few a second, then how many were left out.
    r.platform.advance(3000);
    EXPECT_GE(Logged(r, "From XAP Line "), 1u);
    EXPECT_LT(r.logged.size(), 50u);
    size_t leftOut = 0;
    for (const auto& e : r.logged) {
        const size_t at = e.data.find(" more identical entries not logged: From XAP Line ");
        if (at != std::string::npos) leftOut += std::stoul(e.data.substr(0, at));
    }
    EXPECT_GT(leftOut, 1000u);
}

// Junk that is not xAP, and xAP beyond the queue's bound, is dropped and
// counted; the log says so once a burst is over, not once a datagram.
TEST(XapTransport, DroppedDatagramsAreCountedAndLoggedOncePerBurst) {
    XapRig r;
    const uint16_t port = static_cast<uint16_t>(r.xap.transport().port());
    const std::string other = Msg("class=acme.chatter\nsource=acme.tool.host\ntarget=acme.other.host\n", "s\n{\nk=v\n}\n");
    for (int i = 0; i < 500; ++i) r.platform.udp.deliver(port, "junk " + std::to_string(i), i);
    r.platform.udp.deliver(port, "xap-hbeat\n{\nclass=xap-hbeat.alive\n}\n", 10);  // filtered, not junk
    for (size_t i = 0; i < xap::XapTransport::kMaxQueued + 5; ++i) r.platform.udp.deliver(port, other, 600);
    r.platform.advance(700);
    EXPECT_EQ(Logged(r, "xAP datagrams dropped"), 0u);  // the burst goes on
    r.platform.advance(3000);
    ASSERT_EQ(Logged(r, "xAP datagrams dropped"), 1u);
    EXPECT_TRUE(std::any_of(r.logged.begin(), r.logged.end(), [](const auto& e) {
        return e.data == "xAP datagrams dropped: 500 not xAP, 5 with the received queue full";
    }));
    EXPECT_EQ(r.xap.status().datagramsNotXap, 500u);
    EXPECT_EQ(r.xap.status().datagramsDropped, 5u);

    // The next burst has a line of its own.
    r.platform.udp.deliver(port, std::string("\0\0", 2));
    r.platform.advance(3000);
    EXPECT_EQ(Logged(r, "xAP datagrams dropped: 1 not xAP"), 1u);
}

// Started before the network was up, the gateway takes the LAN address when
// it appears, and follows it when it changes or goes.
TEST(XapTransport, TheLanAddressIsLookedForAgainAtEveryHeartbeatTick) {
    XapRig r(false);
    r.platform.addresses.clear();
    ASSERT_EQ(r.Start(), 32768);
    r.platform.advance(60000);
    EXPECT_EQ(r.xap.transport().localAddress(), "");

    r.platform.addresses = {"192.168.1.20"};
    r.platform.advance(60000);
    EXPECT_EQ(r.xap.transport().localAddress(), "192.168.1.20");
    r.platform.advance(480000);  // to the next heartbeat, 600 s after the first
    ASSERT_EQ(r.sent("xap-hbeat").size(), 2u);
    const auto& beat = r.platform.udp.sent.back();
    EXPECT_EQ(beat.fromAddress, "192.168.1.20");
    EXPECT_EQ(beat.host, "255.255.255.255");
    EXPECT_EQ(beat.bytes, r.sent("xap-hbeat")[0]);  // the same text

    r.platform.addresses = {"10.0.0.7"};
    r.platform.advance(5 * 60000);
    EXPECT_EQ(r.xap.transport().localAddress(), "10.0.0.7");
    r.platform.addresses.clear();
    r.platform.advance(60000);
    r.clearSent();
    r.xap.SendXapMessage("", "c.x", "s", "", "", "");
    ASSERT_EQ(r.platform.udp.sent.size(), 1u);
    EXPECT_EQ(r.platform.udp.sent[0].fromAddress, "127.0.0.1");
    EXPECT_EQ(r.platform.udp.sent[0].host, "127.255.255.255");

    // Each change said once.
    EXPECT_EQ(Logged(r, "xAP uses LAN address 192.168.1.20 port 32768"), 1u);
    EXPECT_EQ(Logged(r, "xAP uses LAN address 10.0.0.7 port 32768"), 1u);
    EXPECT_EQ(Logged(r, "LAN address 10.0.0.7 gone: xAP runs on the loopback address only"), 1u);
    EXPECT_EQ(Logged(r, "xAP uses"), 2u);

    // An address whose port is taken is tried at every tick but said once.
    r.platform.udp.taken = {{"192.168.1.44", 32768}};
    r.platform.addresses = {"192.168.1.44"};
    r.platform.advance(3 * 60000);
    EXPECT_EQ(r.xap.transport().localAddress(), "");
    EXPECT_EQ(Logged(r, "Unable to bind xAP port 32768 on LAN address 192.168.1.44, error 10048"), 1u);
    r.platform.udp.taken.clear();
    r.platform.advance(60000);
    EXPECT_EQ(r.xap.transport().localAddress(), "192.168.1.44");
}

// The address changed between two ticks: the send that fails looks again and
// goes out from the new address instead of being lost.
TEST(XapTransport, ASendThatFailsLooksForTheLanAddressAgain) {
    XapRig r;
    r.clearSent();
    r.platform.addresses = {"192.168.1.30"};
    r.xap.SendXapMessage("", "c.x", "s", xap::MsgData().add("k", "v").str(), "", "");
    const auto sent = r.sent("class=c.x\n");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(r.platform.udp.sent.back().fromAddress, "192.168.1.30");
    EXPECT_EQ(Logged(r, "xAP uses LAN address 192.168.1.30 port 32768"), 1u);
    EXPECT_EQ(Logged(r, "SendXap"), 0u);
}
