// Packets, frames and command tables, byte for byte.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using namespace tarvelo::upb;
using tarvelo::testing::UpbTest;

TEST(Packet, ChecksumMakesTheBytesAddUpToZero) {
    EXPECT_EQ(Checksum("88100103FF2232"), "11");  // 0x1EF -> 0xEF -> 0x11
    EXPECT_EQ(Checksum("07100105FF30"), "B4");
    EXPECT_EQ(Checksum("7003"), "8D");
    EXPECT_EQ(Checksum(""), "00");
    EXPECT_EQ(Checksum("00"), "00");
    EXPECT_TRUE(ChecksumValid("8905FA011220FFFF47"));
    EXPECT_TRUE(ChecksumValid("0800C2FF09863276"));
    EXPECT_TRUE(ChecksumValid("07100105ff30b4"));
    EXPECT_FALSE(ChecksumValid("0800C2FF09863277"));
    EXPECT_FALSE(ChecksumValid("0800C2FF0986327"));  // odd length
    EXPECT_FALSE(ChecksumValid("0800C2FF09863Z76"));
}

TEST(Packet, CommandPacketsFollowTheLayout) {
    CommandPacket goTo{.isLink = true, .destination = 3, .command = kGoTo, .level = 50, .ackRequest = true, .networkId = 1};
    EXPECT_EQ(BuildCommandPacket(goTo), "88100103FF2232");
    EXPECT_EQ(FrameUpbMessage("88100103FF2232"), "\x14" "88100103FF223211\r");

    goTo.level = 300;
    EXPECT_EQ(BuildCommandPacket(goTo), "88100103FF22FF");
    goTo.level = -5;
    EXPECT_EQ(BuildCommandPacket(goTo), "88100103FF2200");

    // Activate carries no level, whatever is given; a direct command has no link bit.
    CommandPacket activate{.isLink = false, .destination = 9, .command = kActivate, .level = 80, .ackRequest = false,
                           .networkId = 194};
    EXPECT_EQ(BuildCommandPacket(activate), "0700C209FF20");
    activate.command = kFadeStart;
    EXPECT_EQ(BuildCommandPacket(activate), "0800C209FF2350");
    activate.command = kBlink;
    EXPECT_EQ(BuildCommandPacket(activate).substr(0, 2), "08");
    activate.command = kFadeStop;
    EXPECT_EQ(BuildCommandPacket(activate).substr(0, 2), "07");
}

TEST(Packet, IdsOutsideAByteAreRefusedNotWrapped) {
    // Link -1 (a module's own virtual link) must not go out as link 0 or 255.
    CommandPacket p{.isLink = true, .destination = -1, .command = kActivate};
    EXPECT_THROW(BuildCommandPacket(p), VbError);
    p.destination = 256;
    EXPECT_THROW(BuildCommandPacket(p), VbError);
    EXPECT_THROW(BuildStatusRequest(1, 300), VbError);
}

TEST(CommandTables, CoreCommandLookup) {
    int code = 0x20;
    for (const char* name : {"Activate", "Deactivate", "GoTo", "FadeStart", "FadeStop", "Blink"})
        EXPECT_EQ(CommandLookup(name), code++) << name;
    EXPECT_EQ(CommandLookup("goto"), 0x20);  // exact comparison
    EXPECT_EQ(CommandLookup(""), 0x20);
}

TEST(CommandTables, CommandNameByKind) {
    EXPECT_EQ(CommandName(2, "25"), "Bright+50");
    EXPECT_EQ(CommandName(2, "0"), "Deactivate");
    EXPECT_EQ(CommandName(2, "26"), "Unknown_26");
    EXPECT_EQ(CommandName(2, "-1"), "Unknown_-1");
    EXPECT_EQ(CommandName(2, "Dim"), "Dim");
    EXPECT_EQ(CommandName(3, "3"), "3");
    EXPECT_EQ(CommandName(8, "1"), "On");
    EXPECT_EQ(CommandName(8, "2"), "Unknown_2");
    EXPECT_EQ(CommandName(5, "1"), "1");
}

TEST(CommandTables, CommandListByKind) {
    EXPECT_EQ(CommandList(8), "Off\x02" "0\x01On\x02" "1");
    const std::string dimmer = CommandList(2);
    EXPECT_EQ(dimmer, CommandList(3));
    EXPECT_EQ(dimmer.substr(0, 24), "Deactivate\x02" "0\x01" "Activate\x02" "1\x01");
    EXPECT_EQ(dimmer.substr(dimmer.size() - 13), "\x01" "Bright+50\x02" "25");
    EXPECT_EQ(std::count(dimmer.begin(), dimmer.end(), '\x01'), 25);
    EXPECT_EQ(CommandList(5), "");
    EXPECT_EQ(CommandList(0), "");
}

// SendUPBCommand end to end: the bytes that reach the PIM.
TEST_F(UpbTest, SendUPBCommandPicksTheCommandAndTheAcknowledgeRequest) {
    openSerial();
    sceneState->OnCommand = kGoTo;
    upb.SendUPBCommand(status(sceneState, 50), true, 3, true, 50, -1);
    auto rain8 = tarvelo::testing::AddDevice(network, "40", model::KindOther);
    upb.SendUPBCommand(status(rain8, 100), false, 40, true, -1, -1);            // kind 8: no request
    upb.SendUPBCommand(status(switchState, -1), true, 3, true, -1, -1);         // value -1: no request
    upb.SendUPBCommand(status(switchState, 0), true, 3, false, -1, -1);         // off command
    upb.SendUPBCommand(status(switchState, 40), false, 5, true, 40, kFadeStart); // given command wins
    auto framed = [](const std::string& packet) { return packet + Checksum(packet); };
    EXPECT_EQ(sent(), (std::vector<std::string>{framed("88100103FF2232"), framed("07000128FF20"),
                                                framed("87000103FF20"), framed("87100103FF21"),
                                                framed("08100105FF2328")}));
}

TEST_F(UpbTest, SendUPBCommandRefusesAnOrphanOrUnaddressableState) {
    openSerial();
    auto orphan = std::make_shared<model::UPBLinkState>();
    upb.SendUPBCommand(status(orphan, 1), true, 3, true, -1, -1);
    upb.SendUPBCommand(status(switchState, 1), true, -1, true, -1, -1);
    upb.SendUPBCommand(nullptr, true, 3, true, -1, -1);
    EXPECT_TRUE(net.pim.frames.empty());
    ASSERT_EQ(log.entries.size(), 3u);
    for (auto& e : log.entries) EXPECT_EQ(e.second.rfind("SendUPBCommand Line ", 0), 0u) << e.second;
}

TEST_F(UpbTest, RequestStatusOfANonNumericIdGoesToDeviceZero) {
    openSerial();
    upb.RequestStatus("5");
    upb.RequestStatus("abc");
    EXPECT_EQ(sent(), (std::vector<std::string>{"07100105FF30B4", "07100100FF30" + Checksum("07100100FF30")}));
}
