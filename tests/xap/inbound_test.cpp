#include <gtest/gtest.h>

#include "XapRig.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {
const std::string kTarget = "zantu.UPB.HOST";

std::string Cmd(const std::string& target, const std::string& body) {
    return Msg("class=xAPBSC.cmd\nsource=acme.tool.host\ntarget=" + target + "\n", body);
}
} // namespace

TEST(ControlUPBLink, EveryRowOfTheDimmerTable) {
    struct Row { const char* value; int16_t expected; bool isLink; int16_t dest; bool on; int16_t level; int16_t command; };
    const Row rows[] = {
        {"off", 0, true, 6, false, -1, -1},        {"0", 0, true, 6, false, -1, -1},
        {"ON", 100, true, 5, true, -1, -1},        {"1/25", 100, true, 5, true, -1, -1},
        {"2", 0, false, 10, false, 0, 34},         {"3", 100, false, 10, false, 100, 34},
        {"4", 40, false, 10, false, 212, 37},      {"5", 40, false, 10, false, 127, 37},
        {"6", 40, false, 10, false, 40, 37},       {"7/25", 0, false, 10, false, 0, 35},
        {"12", 50, false, 10, false, 50, 35},      {"17", 100, false, 10, false, 100, 35},
        {"18", 35, false, 10, false, 35, 35},      {"21", 0, false, 10, false, 0, 35},
        {"22", 45, false, 10, false, 45, 35},      {"25", 90, false, 10, false, 90, 35},
        {"150", 50, false, 10, false, 50, 35},     {"50", 0, true, 6, false, -1, -1},
        {"07", 0, true, 6, false, -1, -1},         {"banana", 0, true, 6, false, -1, -1},
    };
    for (const Row& row : rows) {
        XapRig r;
        auto dimmer = r.device("10", 2, "Hall", "Dimmer", "5", "6");
        dimmer->Value = 40;
        r.xap.ControlUPBLink(dimmer, row.value);
        ASSERT_EQ(r.commands.size(), 1u) << row.value;
        const SentCommand& c = r.commands[0];
        EXPECT_EQ(c.state, dimmer);
        EXPECT_EQ(std::make_tuple(c.expected, c.isLink, c.destination, c.on, c.level, c.command),
                  std::make_tuple(row.expected, row.isLink, row.dest, row.on, row.level, row.command))
            << row.value;
    }
}

TEST(ControlUPBLink, LinklessDimmersRelaysKeypadsAndInversion) {
    XapRig r;
    auto bare = r.device("11", 3, "Hall", "Bare");  // no links: direct goto
    bare->DefaultOnLevel = 80;
    r.xap.ControlUPBLink(bare, "on");
    r.xap.ControlUPBLink(bare, "off");
    auto relay = r.device("12", 4, "Hall", "Lamp", "7", "8");
    relay->Invert = true;
    r.xap.ControlUPBLink(relay, "ON");
    r.xap.ControlUPBLink(relay, "off");
    auto keypad = r.device("13", 1, "Hall", "Keypad", "9", "9");
    r.xap.ControlUPBLink(keypad, "off");
    ASSERT_EQ(r.commands.size(), 5u);
    auto row = [&](size_t i) {
        const SentCommand& c = r.commands[i];
        return std::make_tuple(c.expected, c.isLink, c.destination, c.on, c.level, c.command);
    };
    EXPECT_EQ(row(0), std::make_tuple(int16_t{80}, false, int16_t{11}, false, int16_t{80}, int16_t{34}));
    EXPECT_EQ(row(1), std::make_tuple(int16_t{0}, false, int16_t{11}, false, int16_t{0}, int16_t{34}));
    EXPECT_EQ(row(2), std::make_tuple(int16_t{0}, true, int16_t{8}, false, int16_t{-1}, int16_t{-1}));
    EXPECT_EQ(row(3), std::make_tuple(int16_t{100}, true, int16_t{7}, true, int16_t{-1}, int16_t{-1}));
    EXPECT_EQ(row(4), std::make_tuple(int16_t{-1}, true, int16_t{9}, true, int16_t{-1}, int16_t{-1}));
}

TEST(BSCCmd, SelectsByUidOrBySubAddressPattern) {
    XapRig r;
    auto hall = r.device("1", 4, "Hall", "Lamp", "3", "3");
    auto yard = r.device("2", 4, "Yard", "Lamp", "4", "4");
    auto untracked = r.device("3", 4, "Yard", "Spare", "5", "5");
    untracked->StatusMask = 0;
    yard->UIDindex = 26;
    hall->LastCommand = "x";

    // ID=* with a wildcard sub-address: every tracked state.
    r.receive(Cmd(kTarget + ":*", "output.state.1\n{\nID=*\nState=off\n}\n"));
    ASSERT_EQ(r.commands.size(), 2u);
    EXPECT_EQ(hall->LastCommand, "0");
    EXPECT_EQ(untracked->LastCommand, "");

    // ID=1A: the first state with that UID index, whatever the sub-address.
    r.commands.clear();
    r.receive(Cmd(kTarget + ":nothing.matches", "output.state\n{\nID=1A\nState=ON\n}\n"));
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0].state, yard);
    EXPECT_EQ(yard->LastCommand, "1");

    // A sub-address pattern picks by name; no ":" or an unknown ID does nothing.
    r.commands.clear();
    r.receive(Cmd(kTarget + ":tarvelo_yard_lamp.>", "output.state\n{\nID=*\nLevel=100\n}\n"));
    r.receive(Cmd(kTarget, "output.state\n{\nID=*\nState=on\n}\n"));
    r.receive(Cmd(kTarget + ":>", "output.state\n{\nID=7FFF\nState=on\n}\n"));
    r.receive(Cmd("other.app.host:>", "output.state\n{\nID=*\nState=on\n}\n"));
    ASSERT_EQ(r.commands.size(), 1u) << r.commands.size();
    EXPECT_EQ(r.commands[0].state, yard);
    EXPECT_EQ(yard->LastCommand, "100");
}

TEST(BSCCmd, AtMostFiveIndexedBlocksInOrder) {
    XapRig r;
    std::vector<std::shared_ptr<model::UPBLinkState>> states;
    std::string body;
    for (int i = 1; i <= 7; ++i) {
        states.push_back(r.device(std::to_string(i), 4, "R", "D" + std::to_string(i), "1", "1"));
        states.back()->UIDindex = i;
        body += "output.state." + std::to_string(i) + "\n{\nID=" + std::to_string(8 - i) + "\nState=on\n}\n";
    }
    r.receive(Cmd(kTarget + ":>", body));
    ASSERT_EQ(r.commands.size(), 5u);
    EXPECT_EQ(r.commands[0].state, states[6]);
    EXPECT_EQ(r.commands[4].state, states[2]);
}

TEST(FromHex, DigitsRangeAndOverflow) {
    CapturingLog log;
    EXPECT_EQ(xap::FromHex("1A", &log), 26);
    EXPECT_EQ(xap::FromHex("7fff", &log), 32767);
    EXPECT_EQ(xap::FromHex("", &log), -1);
    EXPECT_EQ(xap::FromHex("12345", &log), -1);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(xap::FromHex("8000", &log), 0);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("FromHex Line", 0), 0u);
}

// A query answers every matching, used, tracked state: value list, then
// info, the first at once and the rest every 200 ms; one poll per module.
TEST(BSCQuery, RepliesArePacedAndEachModuleIsPolledOnce) {
    XapRig r;
    auto dimmer = r.device("10", 2, "Hall", "Dimmer", "5", "6");
    auto second = AddState(Module(r.net, "10"), 255, "5", 1);
    second->Used = true;
    auto relay = r.device("12", 4, "Hall", "Lamp", "7", "8");
    auto unused = r.device("13", 4, "Hall", "Unused", "7", "8");
    unused->Used = false;
    r.clearSent();
    r.receive(Msg("class=xAPBSC.query\nsource=acme.tool.host\ntarget=" + kTarget + ":>\n", "request\n{\n}\n"), 51);
    auto sent = r.sent();
    ASSERT_EQ(sent.size(), 1u) << sent.back();
    const std::string& values = sent[0];
    EXPECT_NE(values.find("class=xAPBSC.Values\n"), std::string::npos);
    EXPECT_NE(values.find("source=zantu.UPB.HOST:tarvelo_hall_dimmer.upb01_m0a_c01_00.light\n"), std::string::npos);
    EXPECT_NE(values.find("uid=FF.0002:0A01\n"), std::string::npos);
    EXPECT_NE(values.find("values.1\n{\nText=Deactivate\nLevel=0/25\n}\nvalues.2\n{\nText=Activate\nLevel=1/25\n}"),
              std::string::npos);
    EXPECT_NE(values.find("values.26\n{\nText=Bright+50\nLevel=25/25\n}\n"), std::string::npos);

    r.platform.advance(198);
    EXPECT_EQ(r.sent().size(), 1u);
    r.platform.advance(1);
    sent = r.sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[1].find("class=xAPBSC.Info\n"), std::string::npos);
    EXPECT_NE(sent[1].find("output.state\n{\nstate=OFF\nDisplayText=0 / Deactivate\nlevel=0/25\n}\n"), std::string::npos);

    // An event raised meanwhile is not paced.
    relay->Value = 100;
    r.xap.NotifyUPBState(relay);
    EXPECT_EQ(r.sent().size(), 3u);

    r.platform.advance(2000);
    // Dimmer: values + info; its second state (no values list): info; relay: info.
    EXPECT_EQ(r.sent("xAPBSC.").size(), 4u);
    EXPECT_FALSE(r.xap.BSCTimer().enabled());
    EXPECT_EQ(r.polled, (std::vector<std::string>{"10", "12"}));
}

TEST(Readmessage, QueriesNeedATargetOtherClassesDoNot) {
    XapRig r;
    r.device("10", 4, "Hall", "Lamp", "5", "6");
    r.clearSent();
    r.receive(Msg("class=xAPBSC.query\nsource=acme.tool.host\n", "request\n{\n}\n"));
    EXPECT_TRUE(r.sent("xAPBSC").empty());
    r.receive(Msg("class=Time.Today\nsource=acme.time.host\n", "Time.Today\n{\nSunrise=07:58\nSunset=16:01\n}\n"));
    EXPECT_EQ(r.xap.sunrise(), "07:58");
    EXPECT_EQ(r.xap.sunset(), "16:01");
    r.receive(Msg("class=Time.Today\nsource=acme.time.host\n", "Time.Today\n{\n}\n"));
    EXPECT_EQ(r.xap.sunrise(), "Unknown");
}

TEST(Readmessage, EchoAndRoleAreAnswered) {
    XapRig r;
    r.clearSent();
    r.receive(Msg("class=ZIZ.Echo\nsource=acme.tool.host\ntarget=zantu.*.*\n", "Echo.Query\n{\nQuery=PING\n}\n"));
    r.receive(Msg("class=Homeseer.Role\nsource=acme.tool.host\n", "Role.Query\n{\nRole=Any\n}\n"));
    r.receive(Msg("class=Homeseer.Role\nsource=acme.tool.host\n", "Role.Query\n{\nRole=Web\n}\n"));
    const auto sent = r.sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0],
              "xap-header\n{\nv=13\nhop=1\nuid=FF.0002:00\nclass=ZIZ.Echo\nsource=zantu.UPB.HOST\n"
              "target=acme.tool.host\n}\nEcho.Response\n{\nResponse=ping\n}\n");
    EXPECT_NE(sent[1].find("Role.Notification\n{\nRole=UPB\nPath=/opt/tarvelo/bin/tarvelo\nForm=EchoWindow\n}\n"),
              std::string::npos);
}

TEST(Readmessage, X10RequestsMapOntoLinkStates) {
    XapRig r;
    auto a1 = r.device("10", 2, "Hall", "A", "5", "6");
    auto b2 = r.device("11", 2, "Hall", "B", "7", "8");
    a1->Value = 50;
    b2->Value = 10;
    r.x10.add("A1", a1);
    r.x10.add("B2", b2);
    auto request = [&](const std::string& items) {
        r.receive(Msg("class=xAP-X10.request\nsource=acme.x10.host\n", "xAP-X10.request\n{\n" + items + "}\n"));
    };
    request("device=A1,B2,C9\ncommand=dim\ncount=20\n");
    ASSERT_EQ(r.commands.size(), 2u);
    EXPECT_EQ(std::make_tuple(r.commands[0].expected, r.commands[0].isLink, r.commands[0].destination, r.commands[0].level),
              std::make_tuple(int16_t{30}, false, int16_t{10}, int16_t{30}));
    EXPECT_EQ(std::make_tuple(r.commands[1].expected, r.commands[1].on, r.commands[1].level),
              std::make_tuple(int16_t{0}, false, int16_t{0}));
    r.commands.clear();
    request("device=A1\ncommand=extended\ncount=63\n");
    request("device=a1\ncommand=ON\n");
    request("device=A1\ncommand=off\n");
    request("command=on\n");
    ASSERT_EQ(r.commands.size(), 3u);
    EXPECT_EQ(r.commands[0].level, 100);
    EXPECT_EQ(std::make_tuple(r.commands[1].isLink, r.commands[1].destination, r.commands[1].on),
              std::make_tuple(true, int16_t{5}, true));
    EXPECT_EQ(std::make_tuple(r.commands[2].isLink, r.commands[2].destination, r.commands[2].on),
              std::make_tuple(true, int16_t{6}, false));
}

// Messages in the shapes real senders write: CR LF line ends, key case, blanks
// around "=", lower-case class names, trailing NULs, un-indexed blocks.
TEST(Readmessage, RealSenderShapesAreUnderstood) {
    XapRig r;
    auto lamp = r.device("10", 4, "Hall", "Lamp", "5", "6");
    lamp->UIDindex = 0x0A01;
    const std::vector<std::string> shapes = {
        "xap-header\r\n{\r\nv=12\r\nHop=1\r\nUID=FF.1234:00\r\nClass=xAPBSC.cmd\r\nSource=acme.tool.host\r\n"
        "Target=zantu.upb.host:>\r\n}\r\noutput.state.1\r\n{\r\nid=A01\r\nstate=on\r\n}\r\n",
        "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=xapbsc.cmd\nsource=acme.tool.host\ntarget = zantu.UPB.*:*\n}\n"
        "Output.State\n{\nID = A01\nState = off\n}\n",
        "xap-header\n{\nclass=xAPBSC.cmd\nsource=a.b.c\ntarget=zantu.UPB.HOST:>\n}\noutput.state.1\n{\nID = A01\nState = on \n}\n",
        std::string("xap-header\n{\nclass=xAPBSC.cmd\nsource=a.b.c\ntarget=zantu.UPB.HOST:>\n}\noutput.state\n{\nid=*\nstate=ON\n}\n") +
            std::string(3, '\0'),
    };
    for (const std::string& s : shapes) r.receive(s);
    ASSERT_EQ(r.commands.size(), 4u);
    EXPECT_TRUE(r.commands[0].on);
    EXPECT_EQ(lamp->LastCommand, "1");
    EXPECT_FALSE(r.commands[1].on);
    EXPECT_EQ(r.commands[1].state, lamp);
    EXPECT_TRUE(r.commands[2].on);
    EXPECT_TRUE(r.commands[3].on);
}
