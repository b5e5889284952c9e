#include <gtest/gtest.h>

#include "model/Network.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::model;

namespace {

// Builds module -> channel -> state with the back-pointers set.
std::shared_ptr<UPBLinkState> AddState(Network& net, const std::string& id, int16_t kind, int16_t channelNo,
                                       int16_t component, const std::string& onLink = "") {
    std::shared_ptr<UPBModule> m;
    if (auto* found = net.UPBModules.find(id)) {
        m = *found;
    } else {
        m = std::make_shared<UPBModule>();
        m->ModuleID = id;
        m->NetId = "1";
        m->Kind = kind;
        m->Room = "Ground_Floor";
        m->name = "Hall Lamp";
        net.UPBModules.add(id, m);
    }
    auto ch = std::make_shared<UPBChannel>();
    ch->Channel = channelNo;
    ch->Parent = m;
    m->AddChannel(ch);
    auto s = std::make_shared<UPBLinkState>();
    s->Componentindex = component;
    s->StatusMask = 255;
    s->OnLink = onLink;
    ch->add(ch, s);
    return s;
}

} // namespace

TEST(ComponentUID, HexFieldsWithOutOfRangeComponentsAsZero) {
    Network net;
    auto own = AddState(net, "12", 2, 0, -1);
    EXPECT_EQ(ComponentUID(*own), "UPB01_M0C_C01_00");
    auto transmitter = AddState(net, "200", 1, 2, 128);
    EXPECT_EQ(ComponentUID(*transmitter), "UPB01_MC8_C03_81");
    auto first = AddState(net, "5", 5, 0, 0);
    EXPECT_EQ(ComponentUID(*first), "UPB01_M05_C01_01");
}

TEST(XapName, RoomNameAndLinkNameWithBlanksReplaced) {
    Network net;
    net.UPBLinks.add(LinkEntry{{"7", "All Off", "1", "12", "15"}}, "7~");
    auto own = AddState(net, "12", 2, 0, -1, "-1");
    EXPECT_EQ(xapName(net, *own, nullptr), "Tarvelo_Ground_Floor_Hall_Lamp");
    auto linked = AddState(net, "13", 2, 0, 0, "7");
    EXPECT_EQ(xapName(net, *linked, nullptr), "Tarvelo_Ground_Floor_Hall_Lamp_All_Off");
}

TEST(XapName, AnOrphanStateIsLoggedAndNamedUnknown) {
    Network net;
    UPBLinkState orphan;
    tarvelo::testing::CapturingLog log;
    EXPECT_EQ(xapName(net, orphan, &log), "Unknown.Unknown.Unknown");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("xapName Line ", 0), 0u);
}

TEST(NetworkModel, BackPointersDoNotDangleWhenTheModelIsReplaced) {
    std::shared_ptr<UPBLinkState> kept;
    {
        Network net;
        kept = AddState(net, "3", 2, 0, -1);
        EXPECT_EQ(kept->module()->ModuleID, "3");
    }
    EXPECT_EQ(kept->module(), nullptr);
    EXPECT_THROW(ComponentUID(*kept), VbError);
}

TEST(NetworkModel, WalkSkipsUntrackedStatesInModuleOrder) {
    Network net;
    auto a = AddState(net, "9", 2, 0, -1);
    auto b = AddState(net, "2", 2, 0, -1);
    auto hidden = AddState(net, "9", 2, 1, 0);
    hidden->StatusMask = 0;
    std::vector<UPBLinkState*> seen;
    net.forEachState([&](UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>& s) { seen.push_back(s.get()); });
    EXPECT_EQ(seen, (std::vector<UPBLinkState*>{a.get(), b.get()}));
    seen.clear();
    net.forEachState([&](UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>& s) { seen.push_back(s.get()); },
                     true);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(NetworkModel, StatusMaskTable) {
    EXPECT_EQ(StatusMaskFor(2, 0), 255);
    EXPECT_EQ(StatusMaskFor(3, 7), 255);
    EXPECT_EQ(StatusMaskFor(5, 0), 1);
    EXPECT_EQ(StatusMaskFor(5, 1), 256);
    EXPECT_EQ(StatusMaskFor(5, 4), 2);
    EXPECT_EQ(StatusMaskFor(5, 5), 0);
    EXPECT_EQ(StatusMaskFor(1, 0), 0);
    EXPECT_THROW(StatusMaskFor(8, 0), VbError);
    EXPECT_THROW(StatusMaskFor(2, 8), VbError);
    EXPECT_STREQ(KindName(5), "IO");
}

TEST(NetworkModel, SequenceOverflowIsAnError) {
    Network net;
    EXPECT_EQ(net.NextSequence(), 1);
    net.StateSequence = 2147483647;
    EXPECT_THROW(net.NextSequence(), VbError);
}
