// The import's rules and its bad-input handling. The shapes the demo export
// already exercises (scene states, private links, I/O pairs, keypads and
// rockers, a pending own state kept when the channel changes, the walk order)
// are pinned by the hand-computed table in demo_installation_test.
#include <gtest/gtest.h>

#include <random>

#include "common/Text.h"
#include "model/ModelTestUtil.h"
#include "model/UpstartImport.h"
#include "support/TempDir.h"

namespace tarvelo::model {
namespace {

using testing::Crlf;
using testing::Module;
using testing::State;
using testing::StateCount;

struct Import : ::testing::Test {
    Network net;
    testing::CapturingLog log;
    void read(const std::string& text) { UpstartImport(net, log).ReadUPSText(text); }
    // A "ReadUPS Line n ..." entry that holds `detail`.
    bool failed(const std::string& detail = "") const {
        for (auto& e : log.entries)
            if (e.second.rfind("ReadUPS Line ", 0) == 0 && e.second.find(detail) != std::string::npos) return true;
        return false;
    }
    // A model that a failed import must leave alone.
    void seed() {
        net = Network{};
        auto m = std::make_shared<UPBModule>();
        m->ModuleID = "99";
        net.UPBModules.add("99", m);
        net.UPBLinks.add(LinkEntry{{"7", "Old", "1"}}, "7~");
    }
    bool seedIntact() { return net.UPBModules.keys() == std::vector<std::string>{"99"} && net.UPBLinks.count() == 1; }
};

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
    EXPECT_TRUE(failed());
    EXPECT_EQ(net.UPBModules.keys(), (std::vector<std::string>{"5", "6"}));
    // Module 6's own state was still pending: it is missing, as the scene module would be.
    EXPECT_EQ(StateCount(net, "5"), 1u);
    EXPECT_EQ(StateCount(net, "6"), 0u);
}

TEST_F(Import, OwnStatesOfSwitchesAndTheirCommands) {
    read(Crlf({"0,5,1,0,7,1", "3,200,7,1,1,1,0,3,1,0,1,Living Room,Lamp,0", "1"}));
    auto s = State(net, "200", 1, 1);
    EXPECT_EQ(std::tie(s->OnCommand, s->OffCommand, s->DefaultOnCommand, s->DefaultOffCommand, s->DefaultOnLevel),
              std::make_tuple(int16_t(32), int16_t(0), int16_t(32), int16_t(33), int16_t(100)));
    EXPECT_EQ(Module(net, "200")->Room, "Living_Room");
    // Ids above 127 need more than 16 bits once multiplied by 256.
    EXPECT_EQ(s->UIDindex, 200 * 256 + 1);
    EXPECT_EQ(Split(s->Values, "\x01").size(), 26u);
}

TEST_F(Import, ARockerRecordTakesItsOffLinkFromItsOwnField) {
    read(Crlf({"0,5,1,1,1,1", "2,9,L", "3,4,1,1,1,1,0,2,1,1,1,R,Switch,0", "5,0,0,4,9,1,0,0,0,255,0,0,0,0", "1"}));
    auto rocker = State(net, "4", 2, 1);
    EXPECT_EQ(std::tie(rocker->OnLink, rocker->OffLink), std::make_tuple(std::string("9"), std::string("255")));
}

TEST_F(Import, OnlyTheFirstPrivateLinkOfADeviceMakesAState) {
    read(Crlf({"0,5,1,2,1,1", "2,5,Ch0", "2,6,Ch1", "3,25,1,1,1,1,0,3,2,0,2,Hall,Two,0", "8,0,25,1,3",
               "8,1,25,1,3", "4,0,0,25,5,100,0", "4,1,0,25,6,50,0", "1"}));
    auto m = Module(net, "25");
    ASSERT_EQ(m->ChannelCollection().size(), 2u);
    // The first private link takes the place of the own state; channel 1 is
    // made but stays empty.
    ASSERT_EQ(m->Channel(1)->LinkCollection.size(), 1u);
    EXPECT_EQ(State(net, "25", 1, 1)->OnLink, "5");
    EXPECT_EQ(State(net, "25", 1, 1)->Componentindex, 0);
    EXPECT_EQ(m->Channel(2)->Channel, 1);
    EXPECT_TRUE(m->Channel(2)->LinkCollection.empty());
}

// A dimmer or input module is one load: with a private link (channel field
// "0", as the configuration tool writes it) it must be one component, not an
// own state beside the link's.
TEST_F(Import, APrivateLinkIsTheLoadsOnlyState) {
    struct Case {
        std::string device, preset;
        int16_t channel;
    };
    for (const Case& c : {Case{"3,14,1,1,2,5,12,2,1,1,6,Porch,Porch Light,0", "4,0,1,14,6,100,0", 0},
                          Case{"3,14,1,4,3,2,1,3,1,1,6,Porch,Porch Light,0", "4,0,1,14,6,100,0", 0},
                          Case{"3,14,1,4,8,1,8,3,2,0,12,Porch,Porch Light,0", "4,1,1,14,6,100,0", 1}}) {
        net = Network{};
        read(Crlf({"0,5,2,2,1,1", "2,1,All Off", "2,6,Porch", c.device, "8,0,14,1,3", "4,0,0,14,1,0,0", c.preset,
                   "4,0,2,14,255,100,0", "5,0,0,14,255,1,0,3,3,255,0,0,2,2", "3,15,1,1,2,5,12,2,1,1,6,R,Other,0",
                   "4,0,0,15,1,0,0", "1"}));
        ASSERT_TRUE(log.entries.empty()) << log.entries[0].second;
        auto m = Module(net, "14");
        ASSERT_EQ(m->ChannelCollection().size(), 1u) << c.device;
        ASSERT_EQ(StateCount(net, "14"), 1u) << c.device;
        auto s = State(net, "14", 1, 1);
        EXPECT_EQ(std::tie(s->OnLink, s->Componentindex, s->StatusMask, s->UIDindex, m->Channel(1)->Channel),
                  std::make_tuple(std::string("6"), int16_t(0), int16_t(255), 14 * 256 + 2, c.channel));
        EXPECT_EQ(ComponentUID(*s), c.channel == 0 ? "UPB01_M0E_C01_01" : "UPB01_M0E_C02_01");
    }
}

TEST_F(Import, TheOwnStateStaysWithoutAPrivateLink) {
    // Shared links only, and a rocker on a link of its own (records of this
    // shape come from dimmers with a local load and a scene switch).
    read(Crlf({"0,5,2,2,1,1", "2,1,All Off", "2,4,Kitchen", "3,13,1,1,2,5,12,2,1,1,6,Kitchen,Under Cabinet,0",
               "8,0,13,0,0", "4,0,0,13,1,0,0", "5,0,0,13,4,1,0,3,3,4,0,0,2,2", "3,12,1,1,1,5,12,2,1,1,6,K,C,0",
               "4,0,0,12,1,100,0", "1"}));
    ASSERT_TRUE(log.entries.empty()) << log.entries[0].second;
    ASSERT_EQ(StateCount(net, "13"), 2u);
    EXPECT_EQ(State(net, "13", 1, 1)->Componentindex, -1);
    EXPECT_TRUE(State(net, "13", 1, 1)->Controllable);
    EXPECT_EQ(State(net, "13", 2, 1)->Componentindex, 128);
    EXPECT_EQ(State(net, "13", 2, 1)->OnLink, "4");

    // A channel field equal to the current number ("-1") joins the own channel.
    net = Network{};
    read(Crlf({"0,5,1,1,1,1", "2,6,Porch", "3,14,1,1,2,5,12,2,1,1,6,P,L,0", "4,-1,0,14,6,100,0", "1"}));
    ASSERT_TRUE(log.entries.empty()) << log.entries[0].second;
    auto own = Module(net, "14")->Channel(1);
    ASSERT_EQ(own->LinkCollection.size(), 2u);
    EXPECT_EQ(own->LinkCollection[1]->OnLink, "6");
}

TEST_F(Import, KindOutsideTheMaskTableIsKeptUntrackedAndTheImportGoesOn) {
    read(Crlf({"0,5,3,2,1,1", "2,5,Private", "2,6,Other", "3,40,1,1,1,1,0,9,1,0,1,Hall,X10 Bridge,0",
               "4,0,0,40,5,100,0", "6,0,0,40,6,1,0,1,0,1,0,1,0,6,1", "3,41,1,1,1,1,0,3,1,0,1,Hall,After,0", "1"}));
    // Reported once per device, not per component.
    EXPECT_EQ(log.entries, (std::vector<std::pair<std::string, std::string>>{
                               {"Tarvelo", "ReadUPS Module 40 (X10 Bridge) of kind 9 is not tracked: kind outside "
                                           "the status-mask table"}}));
    ASSERT_EQ(StateCount(net, "40"), 2u);
    EXPECT_EQ(State(net, "40", 1, 1)->StatusMask, 0);
    EXPECT_EQ(State(net, "40", 1, 2)->StatusMask, 0);
    EXPECT_TRUE(net.UPBModules.exists("41"));
}

TEST_F(Import, MissingFileAndBadHeadersLeaveTheModelAlone) {
    seed();
    testing::TempDir dir;
    UpstartImport(net, log).ReadUPS(dir / "Tarvelo.upe");
    EXPECT_EQ(log.entries.at(0).second, "UPStartExport not found at " + (dir / "Tarvelo.upe").string());
    EXPECT_TRUE(seedIntact());
    for (const std::string header : {"0,5,3", "1,5,3,4,1", "", "0;5;3;4"}) {
        log.entries.clear();
        seed();
        read(Crlf({header, "2,1,x", "1"}));
        EXPECT_EQ(log.entries.size(), 1u) << header;
        EXPECT_TRUE(log.has("Invalid BOF Record " + header)) << header;
        EXPECT_TRUE(seedIntact()) << header;
    }
    // An empty file has no first line at all; a link count beyond 16 bits is
    // caught before anything is replaced.
    for (const std::string& text : {std::string(), Crlf({"0,5,1,70000,1,1", "1"})}) {
        log.entries.clear();
        read(text);
        EXPECT_TRUE(failed(text.empty() ? "" : "Overflow"));
        EXPECT_TRUE(seedIntact());
    }
}

TEST_F(Import, BadLinkRecordsAreLoggedAndStillUsed) {
    read(Crlf({"0,5,0,3,1,1", "2,1,Kitchen, Main", "9,2,Wrong Type", "X,3,Both,extra", "1"}));
    EXPECT_TRUE(log.has("Invalid Link Record 2,1,Kitchen, Main"));
    EXPECT_TRUE(log.has("Invalid Link Record 9,2,Wrong Type"));
    EXPECT_EQ(std::count(log.entries.begin(), log.entries.end(),
                         std::make_pair(std::string("Tarvelo"), std::string("Invalid Link Record X,3,Both,extra"))),
              2);
    EXPECT_EQ(net.UPBLinks.count(), 3u);
    EXPECT_EQ(net.findLink("1")->Item(2), "Kitchen");
}

TEST_F(Import, TruncatedFilesKeepWhatWasReadBeforeTheEnd) {
    // More link records announced than the file holds.
    read(Crlf({"0,5,0,5,1,1", "2,1,One", "2,2,Two"}));
    EXPECT_TRUE(failed("Input past end of file"));
    EXPECT_EQ(net.UPBLinks.count(), 2u);
    EXPECT_TRUE(net.UPBModules.empty());

    // No end record: the devices read stay, the last pending channel and the
    // scene module are missing.
    log.entries.clear();
    read(Crlf({"0,5,2,1,1,1", "2,1,Shared", "3,10,1,1,1,1,0,2,1,1,1,R,A,0", "4,0,0,10,1,0,0",
               "3,11,1,1,1,1,0,2,1,1,1,R,B,0", "4,0,0,11,1,0,0"}));
    EXPECT_TRUE(failed("Input past end of file"));
    EXPECT_EQ(StateCount(net, "10"), 1u);
    EXPECT_EQ(StateCount(net, "11"), 0u);
    EXPECT_FALSE(net.UPBModules.exists("0"));
}

// Every field the import reads, given what a broken or hand-edited export
// holds: a missing field, a number beyond 16 bits, a negative or
// out-of-table number, an id that names nothing. Each either imports or
// logs one "ReadUPS" entry and stops there, keeping the devices before it.
TEST_F(Import, MalformedRecordsStopTheImportKeepingWhatWasBuilt) {
    const std::string kA = "3,10,1,1,1,1,0,4,1,0,0,R,A,0";
    struct Case {
        std::vector<std::string> records;  // after the header and links 1, 5, 6, 7
        std::string error;                 // "" when the import goes through
        std::vector<std::string> modules;
    };
    const std::vector<std::string> all = {"10", "11"};
    const Case cases[] = {
        // Channel field equal to the current number before any channel exists.
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "4,-1,0,11,5,100,0"}, "Object variable", all},
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "7,-1,0,11,5,1,0,6,0,0"}, "Object variable", all},
        {{kA, "3,11,1,1,1,1,0,1,1,0,0,R,B,0", "6,-1,0,11,5,1,0,1,0,1,0,1,0,5,1"}, "Object variable", all},
        {{kA, "3,11,1,1,1,1,0,1,1,0,0,R,B,0", "5,-1,0,11,5,1,0,0,0,6,0,0,0,0"}, "Object variable", all},
        // Component records before any device record.
        {{"30,not a device", "4,0,0,10,5,100,0", kA}, "Object variable", {}},
        // Missing fields.
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R"}, "Subscript out of range", {"10"}},
        {{kA, "3,11"}, "Subscript out of range", {"10"}},
        // Numbers beyond 16 bits, in every numeric field of a device and a preset.
        {{kA, "3,40000,1,1,1,1,0,4,1,0,0,R,B,0"}, "Overflow", {"10"}},
        {{kA, "3,11,1,1,1,1,0,70000,1,0,0,R,B,0"}, "Overflow", {"10"}},
        {{kA, "3,11,1,1,1,1,0,4,-33000,0,0,R,B,0"}, "Overflow", {"10"}},
        {{kA, "3,11,1,1,1,1,0,4,1,1e9,0,R,B,0"}, "Overflow", {"10"}},
        {{kA, "3,11,1,1,1,1,0,4,1,0,32768,R,B,0"}, "Overflow", {"10"}},
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "4,99999,0,11,5,100,0"}, "Overflow", all},
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "4,0,0,11,5,65536,0"}, "Overflow", all},
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "7,40000,0,11,5,1,0,6,0,0"}, "Overflow", all},
        // Kind codes: below 0 is no device and fails at the mask table; a
        // device of such a kind without components is harmless.
        {{kA, "3,11,1,1,1,1,0,-1,1,0,0,R,B,0", "4,0,0,11,5,100,0"}, "Subscript out of range", all},
        {{kA, "3,11,1,1,1,1,0,-1,1,0,0,R,B,0"}, "", all},
        // Component numbers beyond the mask table (a ninth input).
        {{kA, "3,11,1,1,1,1,0,3,1,9,0,R,B,0", "7,0,0,11,5,1,0,6,0,0", "7,0,1,11,5,1,0,6,0,0",
          "7,0,2,11,5,1,0,6,0,0", "7,0,3,11,5,1,0,6,0,0", "7,0,4,11,5,1,0,6,0,0", "7,0,5,11,5,1,0,6,0,0",
          "7,0,6,11,5,1,0,6,0,0", "7,0,7,11,5,1,0,6,0,0", "7,0,8,11,5,1,0,6,0,0"},
         "Subscript out of range", all},
        // Ids that name nothing: a preset's link, the same module twice, a
        // module id that the scene module needs.
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "4,0,0,11,99,100,0"}, "Invalid procedure call", all},
        {{kA, "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "4,0,0,11,,100,0"}, "Invalid procedure call", all},
        {{kA, "3,10,1,1,1,1,0,4,1,0,0,R,Again,0"}, "already associated", {"10"}},
        {{"3,0,1,1,1,1,0,2,1,0,0,R,Zero,0", "4,0,0,0,1,100,0", kA, "4,0,0,10,1,100,0"}, "already associated",
         {"0", "10"}},
        // Negative and out-of-range numbers that are only stored: nothing fails.
        {{"3,-10,1,1,1,1,0,4,-1,-2,-3,R,A,0", "4,-5,0,-10,5,-20,0", "4,300,0,-10,6,300,0",
          "3,11,1,1,1,1,0,4,1,0,0,R,B,0", "7,-5,0,11,7,1,0,1,0,0"},
         "", {"-10", "11"}},
        // No end record.
        {{kA}, "Input past end of file", {"10"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = {"0,5,2,4,1,1", "2,1,Shared", "2,5,Five", "2,6,Six", "2,7,Seven"};
        lines.insert(lines.end(), c.records.begin(), c.records.end());
        if (c.error != "Input past end of file") lines.push_back("1");
        std::string text;
        for (const std::string& l : lines) text += l + "\r\n";
        log.entries.clear();
        net = Network{};
        read(text);
        const std::string where = Join(c.records, " | ");
        if (c.error.empty()) {
            EXPECT_TRUE(log.entries.empty()) << where << ": " << log.entries.at(0).second;
        } else {
            EXPECT_EQ(log.entries.size(), 1u) << where;
            EXPECT_TRUE(failed(c.error)) << where << ": " << (log.entries.empty() ? "" : log.entries[0].second);
        }
        EXPECT_EQ(net.UPBModules.keys(), c.modules) << where;
        // What was kept is a well-formed model.
        net.forEachState([&](UPBModule& m, UPBChannel& ch, const std::shared_ptr<UPBLinkState>& s) {
            EXPECT_EQ(s->channel().get(), &ch) << where;
            EXPECT_EQ(s->module().get(), &m) << where;
            ComponentUID(*s);
        }, true);
    }
}

TEST_F(Import, AFailureNamesTheExportLine) {
    read(Crlf({"0,5,1,1,1,1", "2,5,Five", "", "3,10,1,1,1,1,0,4,1,0,0,R,A,0", "4,-1,0,10,5,100,0", "1"}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(failed("Object variable or With block variable not set at export line 5"))
        << log.entries[0].second;
}

TEST_F(Import, BadLinkRecordsThatCannotBeUsedStopTheImport) {
    for (const std::string bad : {"2,5", "2,1,Again"}) {
        log.entries.clear();
        read(Crlf({"0,5,0,3,1,1", "2,1,One", bad, "2,3,Three", "3,10,1,1,1,1,0,4,1,0,0,R,A,0", "1"}));
        EXPECT_TRUE(failed()) << bad;
        EXPECT_EQ(net.UPBLinks.count(), 1u) << bad;
        EXPECT_TRUE(net.UPBModules.empty()) << bad;
    }
}

TEST_F(Import, LineEndsDoNotMatterAndLatin1PassesThrough) {
    const std::string lf =
        "0,5,1,1,9,1\n2,3,L\n3,4,9,1,1,1,0,2,1,1,1,K\xFC" "che,Decke \xE9t\xE9,0\n4,0,0,4,3,100,0\n1\n";
    for (const std::string& text : {lf, Replace(lf, "\n", "\r\n"), Replace(lf, "\n", "\r")}) {
        net = Network{};
        read(text);
        ASSERT_EQ(StateCount(net, "4"), 1u);
        EXPECT_EQ(State(net, "4", 1, 1)->OnLink, "3");  // no CR stuck to the last field
        EXPECT_EQ(Module(net, "4")->name, "Decke \xE9t\xE9");
        EXPECT_EQ(Module(net, "4")->Room, "K\xFC" "che");
    }
    EXPECT_TRUE(log.entries.empty());
}

// Records on link 255 are passed over on that field alone, whatever else is
// wrong with them.
TEST_F(Import, RecordsOnLink255ArePassedOverWhateverTheirShape) {
    read(Crlf({"0,5,2,2,1,1", "2,1,A", "2,2,B", "3,6,1,1,1,1,0,2,1,0,1,R,Sw,0", "4,0,0,6,255", "4,0,0,6,255,100,0,extra",
               "5,0,0,6,255,0,0,0,0,1,0,0,0,0", "6,0,0,6,255,junk", "7,255", "4,0,0,6,1,100,0", "1"}));
    EXPECT_FALSE(failed());
    // Link 1 is module 6's private link: its preset replaced the own state.
    ASSERT_EQ(StateCount(net, "6"), 1u);
    EXPECT_EQ(State(net, "6", 1, 1)->OnLink, "1");
}

// The device pass starts at the first line beginning "3" wherever it is: a
// broken link line that begins so is taken for a device record too.
TEST_F(Import, TheDevicePassBeginsAtTheFirstLineBeginningWith3) {
    read(Crlf({"0,5,2,2,1,1", "2,1,A", "3,2,B", "3,6,1,1,1,1,0,2,1,0,1,R,Sw,0", "1"}));
    EXPECT_TRUE(failed("Subscript out of range at export line 3"));
    EXPECT_EQ(net.UPBLinks.count(), 2u);
    EXPECT_FALSE(net.UPBModules.exists("6"));
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
