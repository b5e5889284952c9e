#include <gtest/gtest.h>

#include <random>

#include "common/Text.h"
#include "model/ModelTestUtil.h"
#include "model/UpstartImport.h"
#include "support/TempDir.h"

namespace tarvelo::model {
namespace {

using testing::CapturingLog;
using testing::Crlf;
using testing::Module;
using testing::State;
using testing::StateCount;

struct Import : ::testing::Test {
    Network net;
    CapturingLog log;
    void read(const std::string& text) { UpstartImport(net, log).ReadUPSText(text); }
    // True when a log entry starts with the text.
    bool logged(const std::string& prefix) const {
        for (auto& e : log.entries)
            if (e.second.rfind(prefix, 0) == 0) return true;
        return false;
    }
    // A model that a failed import must leave alone.
    void seed() {
        auto m = std::make_shared<UPBModule>();
        m->ModuleID = "99";
        net.UPBModules.add("99", m);
        net.UPBLinks.add(LinkEntry{{"7", "Old", "1"}}, "7~");
    }
    bool seedIntact() { return net.UPBModules.size() == 1 && net.UPBModules.exists("99") && net.UPBLinks.count() == 1; }
};

const std::string kHeader3 = "0,5,2,3,1,1234";

TEST_F(Import, LinkUsageDecidesBetweenModuleStateAndSceneState) {
    read(Crlf({kHeader3, "2,5,Private", "2,6,Shared", "2,7,Nobody",
               "3,12,1,1,1,1,0,4,1,0,1,Hall,Hall Relay,0", "8,0,12,0,0",
               "4,0,0,12,5,80,0", "4,0,1,12,6,100,0",
               "3,13,1,1,1,1,0,4,1,0,1,Hall,Other Relay,0", "4,0,0,13,6,100,0", "1"}));
    ASSERT_TRUE(log.entries.empty());
    EXPECT_EQ(net.findLink("5")->Count(), 4u);
    EXPECT_EQ(net.findLink("6")->items, (std::vector<std::string>{"6", "Shared", "2", "12", "13"}));
    EXPECT_EQ(net.findLink("7")->Count(), 3u);

    // Module 12: one state on its private link, none for the shared one.
    ASSERT_EQ(StateCount(net, "12"), 1u);
    auto s = State(net, "12", 1, 1);
    EXPECT_EQ(s->OnLink, "5");
    EXPECT_EQ(s->OffLink, "5");
    EXPECT_EQ(s->DefaultOnLevel, 80);
    EXPECT_EQ(s->UIDindex, 12 * 256 + 1);
    EXPECT_EQ(s->StatusMask, 0);  // kind 4 has no status bits
    EXPECT_EQ(Module(net, "13")->ChannelCollection().size(), 0u);

    // The shared link becomes the one scene state, keyed by its link UID.
    auto scene = Module(net, "0");
    EXPECT_EQ(scene->Room, "Global");
    EXPECT_EQ(scene->NetId, "1");
    ASSERT_EQ(StateCount(net, "0"), 1u);
    auto sc = State(net, "0", 1, 1);
    EXPECT_EQ(sc->OnLink, "6");
    EXPECT_EQ(sc->UIDindex, 2);
    EXPECT_EQ(sc->StatusMask, 255);
    EXPECT_EQ(ComponentUID(*sc), "UPB01_M00_C02_01");
    EXPECT_EQ(net.UPBModules.keys(), (std::vector<std::string>{"12", "13", "0"}));
}

TEST_F(Import, EmptyLinkLineCountsButTakesNoUid) {
    read(Crlf({"0,5,0,3,1,1", "2,1,One", "", "2,3,Three", "3,5,1,1,1,1,0,0,1,0,0,R,D,0", "1"}));
    EXPECT_EQ(net.UPBLinks.count(), 2u);
    EXPECT_EQ(net.findLink("3")->Item(3), "2");
    // The empty line was one of the three: the device record was not taken for a link.
    EXPECT_TRUE(net.UPBModules.exists("5"));
}

TEST_F(Import, NoLinksMeansThePresetRecordThatNamesALinkEndsTheImport) {
    read(Crlf({"0,5,2,0,1,1", "3,5,1,1,1,1,0,3,1,0,1,R,First,0", "4,0,0,5,255,100,0",
               "3,6,1,1,1,1,0,3,1,0,1,R,Second,0", "4,0,0,6,9,100,0", "3,7,1,1,1,1,0,3,1,0,1,R,Third,0", "1"}));
    EXPECT_EQ(net.UPBLinks.count(), 0u);
    EXPECT_TRUE(logged("ReadUPS Line "));
    EXPECT_TRUE(net.UPBModules.exists("5"));
    EXPECT_TRUE(net.UPBModules.exists("6"));
    EXPECT_FALSE(net.UPBModules.exists("7"));
    // Module 6's own state was still pending: it is missing, as the scene module would be.
    EXPECT_EQ(Module(net, "6")->ChannelCollection().size(), 0u);
    EXPECT_EQ(Module(net, "5")->ChannelCollection().size(), 1u);
}

TEST_F(Import, SwitchesGetOwnStatesOnVirtualLinks) {
    read(Crlf({"0,5,2,0,7,1", "3,3,7,1,1,1,0,2,1,1,1,Living Room,Wall Dimmer,0",
               "3,200,7,1,1,1,0,3,1,0,1,Den,Lamp,0", "1"}));
    auto a = State(net, "3", 1, 1), b = State(net, "200", 1, 1);
    EXPECT_EQ(a->OnLink, "-1");
    EXPECT_EQ(a->DefaultOffLink, "-1");
    EXPECT_EQ(b->OnLink, "-2");
    EXPECT_EQ(a->OffCommand, 0);
    EXPECT_EQ(a->DefaultOffCommand, 33);
    EXPECT_EQ(a->OnCommand, 32);
    EXPECT_EQ(a->DefaultOnLevel, 100);
    EXPECT_EQ(a->Componentindex, -1);
    EXPECT_TRUE(a->Controllable);
    EXPECT_EQ(ComponentUID(*a), "UPB07_M03_C01_00");
    EXPECT_EQ(Module(net, "3")->Room, "Living_Room");
    // Ids above 127 need more than 16 bits once multiplied by 256.
    EXPECT_EQ(b->UIDindex, 200 * 256 + 1);
    EXPECT_EQ(Split(a->Values, "\x01").size(), 26u);
    EXPECT_EQ(Split(a->Values, "\x01")[25], "Bright+50\x02" "25");
}

TEST_F(Import, IoModulePairsPresetsIntoOnAndOffLinks) {
    read(Crlf({"0,5,1,4,1,1", "2,21,A on", "2,22,A off", "2,23,B on", "2,24,B off",
               "3,30,1,4,30,1,0,5,1,2,4,Basement,IOM,0", "8,0,30,0,0", "4,0,0,30,21,100,0", "4,0,1,30,22,0,0",
               "4,0,2,30,23,100,0", "4,0,3,30,24,0,0", "7,0,2,30,40,1,0,41,0,0", "1"}));
    ASSERT_TRUE(log.entries.empty());
    ASSERT_EQ(StateCount(net, "30"), 3u);
    auto a = State(net, "30", 1, 1), b = State(net, "30", 1, 2), in = State(net, "30", 1, 3);
    EXPECT_EQ(a->StatusMask, 1);
    EXPECT_EQ(b->StatusMask, 256);
    EXPECT_EQ(std::tie(a->OnLink, a->OffLink), std::make_tuple(std::string("21"), std::string("22")));
    EXPECT_EQ(std::tie(b->OnLink, b->OffLink), std::make_tuple(std::string("23"), std::string("24")));
    EXPECT_EQ(a->OffCommand, 33);
    EXPECT_EQ(a->Componentindex, 0);
    EXPECT_EQ(b->Componentindex, 1);
    EXPECT_EQ(a->UIDindex, 30 * 256 + 1);
    EXPECT_EQ(b->UIDindex, 30 * 256 + 2);
    // The input record follows on as component 2.
    EXPECT_EQ(in->Componentindex, 2);
    EXPECT_EQ(in->StatusMask, 512);
    EXPECT_EQ(in->OffLink, "41");
    EXPECT_FALSE(in->Controllable);
    EXPECT_TRUE(a->Values.empty());
}

TEST_F(Import, TransmitterRecordsKeepTheirLinksAndComponent128) {
    read(Crlf({"0,5,1,1,1,1", "2,9,L", "3,4,1,1,1,1,0,2,1,1,1,R,Switch,0",
               "5,0,0,4,9,1,0,0,0,255,0,0,0,0", "6,0,0,4,9,1,0,1,0,1,0,1,0,9,1", "1"}));
    ASSERT_EQ(StateCount(net, "4"), 3u);
    auto rocker = State(net, "4", 1, 2), button = State(net, "4", 1, 3);
    EXPECT_EQ(rocker->OnLink, "9");
    EXPECT_EQ(rocker->OffLink, "255");
    EXPECT_EQ(rocker->Componentindex, 128);
    EXPECT_EQ(ComponentUID(*rocker), "UPB01_M04_C01_81");
    EXPECT_EQ(rocker->StatusMask, 255);
    EXPECT_EQ(rocker->OnCommand, 0);
    EXPECT_EQ(button->OffLink, "9");
    EXPECT_EQ(button->UIDindex, 4 * 256 + 3);
}

TEST_F(Import, OwnStateSurvivesAPrivateLinkOnAnotherChannel) {
    read(Crlf({"0,5,1,2,1,1", "2,5,Ch0", "2,6,Ch1", "3,25,1,1,1,1,0,3,2,0,2,Hall,Two,0", "8,0,25,1,3",
               "8,1,25,1,3", "4,0,0,25,5,100,0", "4,1,0,25,6,50,0", "1"}));
    auto m = Module(net, "25");
    ASSERT_EQ(m->ChannelCollection().size(), 2u);
    // Channel 0: the own state and the first private-link state share it.
    ASSERT_EQ(m->Channel(1)->LinkCollection.size(), 2u);
    EXPECT_EQ(State(net, "25", 1, 1)->Componentindex, -1);
    EXPECT_EQ(State(net, "25", 1, 2)->OnLink, "5");
    // A non-kind-5 device makes one state from its first qualifying record only:
    // channel 1 is made but stays empty.
    EXPECT_EQ(m->Channel(2)->Channel, 1);
    EXPECT_TRUE(m->Channel(2)->LinkCollection.empty());
}

TEST_F(Import, PendingChannelWithStatesIsKeptWhenTheChannelChanges) {
    read(Crlf({"0,5,1,2,1,1", "2,5,Ch0", "2,6,Ch1", "3,26,1,1,1,1,0,3,2,0,2,Hall,Two,0",
               "4,1,0,26,6,50,0", "1"}));
    auto m = Module(net, "26");
    ASSERT_EQ(m->ChannelCollection().size(), 2u);
    EXPECT_EQ(State(net, "26", 1, 1)->Componentindex, -1);
    EXPECT_EQ(State(net, "26", 2, 1)->OnLink, "6");
    EXPECT_EQ(ComponentUID(*State(net, "26", 2, 1)), "UPB01_M1A_C02_01");
    for (auto& ch : m->ChannelCollection()) EXPECT_EQ(ch->Parent.lock(), m);
}

TEST_F(Import, KindOutsideTheMaskTableIsKeptUntrackedAndTheImportGoesOn) {
    read(Crlf({"0,5,3,2,1,1", "2,5,Private", "2,6,Other", "3,40,1,1,1,1,0,9,1,0,1,Hall,X10 Bridge,0",
               "4,0,0,40,5,100,0", "6,0,0,40,6,1,0,1,0,1,0,1,0,6,1", "3,41,1,1,1,1,0,3,1,0,1,Hall,After,0", "1"}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].first, "Tarvelo");
    EXPECT_NE(log.entries[0].second.find("ReadUPS"), std::string::npos);
    EXPECT_NE(log.entries[0].second.find("40"), std::string::npos);
    EXPECT_NE(log.entries[0].second.find("X10 Bridge"), std::string::npos);
    ASSERT_EQ(StateCount(net, "40"), 2u);
    EXPECT_EQ(State(net, "40", 1, 1)->StatusMask, 0);
    EXPECT_EQ(State(net, "40", 1, 2)->StatusMask, 0);
    EXPECT_TRUE(net.UPBModules.exists("41"));
}

TEST_F(Import, MissingFileLeavesTheModelAlone) {
    seed();
    testing::TempDir dir;
    UpstartImport(net, log).ReadUPS(dir / "Tarvelo.upe");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second, "UPStartExport not found at " + (dir / "Tarvelo.upe").string());
    EXPECT_TRUE(seedIntact());
}

TEST_F(Import, BadHeadersLeaveTheModelAlone) {
    for (const std::string& header : {"0,5,3", "1,5,3,4,1", "", "0;5;3;4"}) {
        log.entries.clear();
        net = Network{};
        seed();
        read(Crlf({header, "2,1,x", "1"}));
        EXPECT_EQ(log.entries.size(), 1u) << header;
        EXPECT_TRUE(log.has("Invalid BOF Record " + header)) << header;
        EXPECT_TRUE(seedIntact()) << header;
    }
    // An empty file has no first line at all.
    log.entries.clear();
    read("");
    EXPECT_TRUE(logged("ReadUPS Line ")) ;
    EXPECT_TRUE(seedIntact());
    // A link count beyond 16 bits is caught before anything is replaced.
    log.entries.clear();
    read(Crlf({"0,5,1,70000,1,1", "1"}));
    EXPECT_TRUE(logged("ReadUPS Line ") && log.entries[0].second.find("Overflow") != std::string::npos);
    EXPECT_TRUE(seedIntact());
}

TEST_F(Import, BadLinkRecordsAreLoggedAndStillUsed) {
    read(Crlf({"0,5,0,3,1,1", "2,1,Kitchen, Main", "9,2,Wrong Type", "X,3,Both,extra", "1"}));
    EXPECT_TRUE(log.has("Invalid Link Record 2,1,Kitchen, Main"));
    EXPECT_TRUE(log.has("Invalid Link Record 9,2,Wrong Type"));
    int both = 0;
    for (auto& e : log.entries) both += e.second == "Invalid Link Record X,3,Both,extra";
    EXPECT_EQ(both, 2);
    EXPECT_EQ(net.UPBLinks.count(), 3u);
    EXPECT_EQ(net.findLink("1")->Item(2), "Kitchen");
}

TEST_F(Import, TruncatedFilesKeepWhatWasReadBeforeTheEnd) {
    // More link records announced than the file holds.
    read(Crlf({"0,5,0,5,1,1", "2,1,One", "2,2,Two"}));
    EXPECT_TRUE(logged("ReadUPS Line ") && log.entries.back().second.find("Input past end of file") != std::string::npos);
    EXPECT_EQ(net.UPBLinks.count(), 2u);
    EXPECT_TRUE(net.UPBModules.empty());

    // No end record: the devices read stay, the last pending channel and the
    // scene module are missing.
    log.entries.clear();
    read(Crlf({"0,5,2,1,1,1", "2,1,Shared", "3,10,1,1,1,1,0,2,1,1,1,R,A,0", "4,0,0,10,1,0,0",
               "3,11,1,1,1,1,0,2,1,1,1,R,B,0", "4,0,0,11,1,0,0"}));
    EXPECT_TRUE(logged("ReadUPS Line "));
    EXPECT_EQ(Module(net, "10")->ChannelCollection().size(), 1u);
    EXPECT_EQ(Module(net, "11")->ChannelCollection().size(), 0u);
    EXPECT_FALSE(net.UPBModules.exists("0"));
}

TEST_F(Import, OverflowAndDuplicateIdsStopTheImportKeepingEarlierDevices) {
    read(Crlf({"0,5,3,0,1,1", "3,10,1,1,1,1,0,0,1,0,0,R,A,0", "3,40000,1,1,1,1,0,0,1,0,0,R,B,0",
               "3,12,1,1,1,1,0,0,1,0,0,R,C,0", "1"}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_NE(log.entries[0].second.find("Overflow"), std::string::npos);
    EXPECT_EQ(net.UPBModules.keys(), std::vector<std::string>{"10"});

    log.entries.clear();
    read(Crlf({"0,5,3,0,1,1", "3,10,1,1,1,1,0,0,1,0,0,R,A,0", "3,10,1,1,1,1,0,0,1,0,0,R,Again,0",
               "3,12,1,1,1,1,0,0,1,0,0,R,C,0", "1"}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("ReadUPS Line ", 0), 0u);
    EXPECT_EQ(Module(net, "10")->name, "A");
    EXPECT_FALSE(net.UPBModules.exists("12"));

    // A device record cut short.
    log.entries.clear();
    read(Crlf({"0,5,2,0,1,1", "3,10,1,1,1,1,0,0,1,0,0,R,A,0", "3,11,1,1,1", "1"}));
    EXPECT_TRUE(logged("ReadUPS Line ") && log.entries[0].second.find("Subscript out of range") != std::string::npos);
    EXPECT_EQ(net.UPBModules.size(), 1u);
}

TEST_F(Import, LineEndsDoNotMatter) {
    const std::string lf = "0,5,1,1,9,1\n2,3,L\n3,4,9,1,1,1,0,2,1,1,1,R,Dimmer,0\n4,0,0,4,3,100,0\n1\n";
    read(lf);
    Network viaLf = std::move(net);
    net = Network{};
    read(Replace(lf, "\n", "\r\n"));
    ASSERT_TRUE(log.entries.empty());
    EXPECT_EQ(StateCount(viaLf, "4"), 2u);
    EXPECT_EQ(StateCount(net, "4"), 2u);
    EXPECT_EQ(State(net, "4", 1, 2)->OnLink, "3");  // no CR stuck to the last field
    net = Network{};
    read(Replace(lf, "\n", "\r"));
    EXPECT_EQ(StateCount(net, "4"), 2u);
    // Latin-1 bytes pass through untouched.
    net = Network{};
    read(Crlf({"0,5,1,0,9,1", "3,4,9,1,1,1,0,2,1,1,1,K\xFC" "che,Decke \xE9t\xE9,0", "1"}));
    EXPECT_EQ(Module(net, "4")->name, "Decke \xE9t\xE9");
    EXPECT_EQ(Module(net, "4")->Room, "K\xFC" "che");
}

TEST_F(Import, BinaryGarbageNeverCrashes) {
    std::mt19937 rng(4711);
    const std::string valid = Crlf({"0,5,2,2,1,1", "2,1,A", "2,2,B", "3,4,1,1,1,1,0,5,1,1,4,R,IO,0",
                                    "4,0,0,4,1,100,0", "4,0,0,4,2,0,0", "7,0,1,4,1,1,0,2,0,0",
                                    "3,5,1,1,1,1,0,2,1,1,1,R,D,0", "5,0,0,5,1,0,0,0,0,2,0,0,0,0", "1"});
    for (int round = 0; round < 400; ++round) {
        std::string text = valid;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < edits; ++i) {
            size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0: text[at] = static_cast<char>(rng() % 256); break;
            case 1: text.erase(at, rng() % 6); break;
            default: text.insert(at, 1, ",\r\n0"[rng() % 4]); break;
            }
            if (text.empty()) text = "\x00";
        }
        net = Network{};
        read(text);
        // Every state the import kept hangs under its channel and module.
        net.forEachState([](UPBModule& m, UPBChannel& c, const std::shared_ptr<UPBLinkState>& s) {
            ASSERT_EQ(s->channel().get(), &c);
            ASSERT_EQ(s->module().get(), &m);
        }, true);
    }
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(rng() % 256);
    read(noise);
    read("0,5,1,1,1,1\r\n" + noise);
}

} // namespace
} // namespace tarvelo::model

#include "model/ExportGenerator.h"

namespace tarvelo::model {
namespace {

TEST(GeneratedExport, LargeInstallationsImportCleanly) {
    Network net;
    testing::CapturingLog log;
    UpstartImport(net, log).ReadUPSText(testing::GenerateExport(250));
    EXPECT_TRUE(log.entries.empty()) << log.entries[0].second;
    EXPECT_EQ(net.UPBModules.size(), 251u);  // with the scene module
    size_t tracked = 0;
    net.forEachState([&](UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>&) { ++tracked; });
    EXPECT_GT(tracked, 250u);
}

} // namespace
} // namespace tarvelo::model
