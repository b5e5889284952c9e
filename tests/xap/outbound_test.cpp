#include <gtest/gtest.h>

#include "XapRig.h"

using namespace tarvelo;
using namespace tarvelo::testing;

TEST(NotifyUPBState, SendsOneBscEventWithTheLinkUid) {
    XapRig r;
    auto lamp = r.device("12", 4, "Hall", "Lamp");
    lamp->UIDindex = 268;
    lamp->Value = 100;
    r.clearSent();
    r.xap.NotifyUPBState(lamp);
    ASSERT_EQ(r.sent().size(), 1u);
    EXPECT_EQ(r.sent()[0],
              "xap-header\n{\nv=13\nhop=1\nuid=FF.0002:010C\nclass=xapbsc.event\n"
              "source=zantu.UPB.HOST:Tarvelo_Hall_Lamp.UPB01_M0C_C01_00.relay\n}\noutput.state\n{\nstate=ON\n}\n");
    EXPECT_TRUE(r.triggers.empty());

    // An input, inverted: value 0 reports ON; a small index keeps "00".
    lamp->Controllable = false;
    lamp->Invert = true;
    lamp->Value = 0;
    lamp->UIDindex = 5;
    r.xap.NotifyUPBState(lamp);
    EXPECT_NE(r.sent()[1].find("uid=FF.0002:0005\n"), std::string::npos);
    EXPECT_NE(r.sent()[1].find(".switch\n}\ninput.state\n{\nstate=ON\n}\n"), std::string::npos);
    EXPECT_EQ(xap::LinkUID("FF.0002:00", 291), "FF.0002:0123");
    EXPECT_EQ(xap::LinkUID("FF.0002:00", 300 * 256), "FF.0002:0000");
}

TEST(NotifyUPBState, X10StatesSendOnlyAnX10Event) {
    XapRig r;
    auto s = r.device("12", 2, "Hall", "Lamp");
    s->X10 = "A3";
    r.clearSent();
    for (int16_t v : {100, 55, 0}) {
        s->Value = v;
        r.xap.NotifyUPBState(s);
    }
    const auto sent = r.sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_NE(sent[0].find("class=xap-x10.event\nsource=zantu.UPB.HOST\n}\nxap-x10.event\n{\nevent=ON\ndevice=A3\ncount=100\n}\n"),
              std::string::npos);
    EXPECT_NE(sent[1].find("event=DIM\ndevice=A3\ncount=55\n"), std::string::npos);
    EXPECT_NE(sent[2].find("event=OFF\ndevice=A3\ncount=0\n"), std::string::npos);
}

TEST(NotifyUPBState, NotifyingStatesReachTheScriptTriggerQueue) {
    XapRig r;
    auto s = r.device("12", 2, "Hall", "Lamp");
    s->EventNotification = true;
    s->Tag = "HallLamp";
    s->Value = 42;
    s->LastChange = MakeDate(2026, 12, 6, 7, 1, 37);
    r.xap.NotifyUPBState(s);
    ASSERT_EQ(r.triggers.size(), 1u);
    const auto& d = *r.triggers[0];
    EXPECT_EQ(d.Tag, "HallLamp");
    EXPECT_EQ(d.Link, nullptr);
    EXPECT_EQ(d.MessageList.keys(), (std::vector<std::string>{"value", "lastchange"}));
    EXPECT_EQ(*d.MessageList.find("lastchange"), "2026-12-06 07:01:37");

    // An orphan state is logged and changes nothing else.
    auto orphan = std::make_shared<model::UPBLinkState>();
    r.clearSent();
    r.xap.NotifyUPBState(orphan);
    EXPECT_TRUE(r.sent("xapbsc.event").empty());
    EXPECT_EQ(r.triggers.size(), 1u);
}

TEST(ConfiguredUID, AChangedUidCountsAtOnceForEventsLogEntriesAndHeartbeats) {
    XapRig r;
    auto lamp = r.device("12", 4, "Hall", "Lamp");
    lamp->UIDindex = 268;
    ASSERT_EQ(r.sent("xap-hbeat").size(), 1u);
    EXPECT_NE(r.sent("xap-hbeat")[0].find("uid=FF.0002:00\n"), std::string::npos);
    r.clearSent();

    r.uid = "FF.1234:00";  // what a save on the status page does to the settings
    r.xap.NotifyUPBState(lamp);
    r.log.WriteLog("Tarvelo", "hello");
    r.xap.SendXapMessage("", "a.b", "c.d", "", "", "0A");
    const std::vector<std::string> sent = r.sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_NE(sent[0].find("uid=FF.1234:010C\n"), std::string::npos) << sent[0];
    EXPECT_NE(sent[1].find("uid=FF.1234:00\n"), std::string::npos) << sent[1];
    EXPECT_NE(sent[2].find("uid=FF.1234:0A\n"), std::string::npos) << sent[2];
    // The next heartbeat (every tenth tick of the 60 s timer) carries it too.
    r.platform.advance(600 * 1000 + 100);
    ASSERT_FALSE(r.sent("xap-hbeat").empty());
    EXPECT_NE(r.sent("xap-hbeat").back().find("uid=FF.1234:00\n"), std::string::npos) << r.sent("xap-hbeat").back();
}
