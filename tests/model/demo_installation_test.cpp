// The bundled demo installation, imported and decorated as start-up does,
// against a table worked out by hand from the export and settings files.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "app/SettingsCache.h"
#include "common/VbDate.h"
#include "model/Installation.h"
#include "model/ModelTestUtil.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

namespace tarvelo::model {
namespace {

namespace fs = std::filesystem;
using testing::Module;
using testing::State;

const fs::path kDemo = fs::path(TARVELO_SOURCE_DIR) / "data" / "demo";

struct Row {
    std::string module;
    std::string uid;
    int32_t UIDindex;
    int16_t mask;
    std::string on, off;
    int16_t component;
};

// Every state of the demo, in walk order (module keys, channels, states).
const std::vector<Row> kStates = {
    {"1", "UPB2A_M01_C01_81", 257, 0, "1", "1", 128}, {"1", "UPB2A_M01_C01_81", 258, 0, "2", "2", 128},
    {"1", "UPB2A_M01_C01_81", 259, 0, "3", "3", 128}, {"1", "UPB2A_M01_C01_81", 260, 0, "10", "10", 128},
    {"2", "UPB2A_M02_C01_81", 513, 0, "10", "10", 128}, {"2", "UPB2A_M02_C01_81", 514, 0, "1", "1", 128},
    {"10", "UPB2A_M0A_C01_00", 2561, 255, "-1", "-1", -1},
    // A private link is the load's only state; its own state is gone, its
    // virtual link number (-2) and UID (2817) stay used.
    {"11", "UPB2A_M0B_C01_01", 2818, 255, "5", "5", 0}, {"11", "UPB2A_M0B_C01_81", 2819, 255, "5", "5", 128},
    {"12", "UPB2A_M0C_C01_00", 3073, 255, "-3", "-3", -1}, {"13", "UPB2A_M0D_C01_00", 3329, 255, "-4", "-4", -1},
    {"13", "UPB2A_M0D_C01_81", 3330, 255, "4", "4", 128}, {"14", "UPB2A_M0E_C01_01", 3586, 255, "6", "6", 0},
    {"15", "UPB2A_M0F_C01_00", 3841, 255, "-6", "-6", -1}, {"16", "UPB2A_M10_C01_01", 4098, 255, "18", "18", 0},
    {"20", "UPB2A_M14_C01_00", 5121, 255, "-8", "-8", -1}, {"21", "UPB2A_M15_C01_00", 5377, 255, "-9", "-9", -1},
    {"22", "UPB2A_M16_C01_00", 5633, 255, "-10", "-10", -1}, {"23", "UPB2A_M17_C01_00", 5889, 255, "-11", "-11", -1},
    {"24", "UPB2A_M18_C01_00", 6145, 255, "-12", "-12", -1}, {"25", "UPB2A_M19_C02_01", 6402, 255, "19", "19", 0}, {"30", "UPB2A_M1E_C01_01", 7681, 1, "101", "102", 0},
    {"30", "UPB2A_M1E_C01_02", 7682, 256, "103", "104", 1}, {"30", "UPB2A_M1E_C01_03", 7683, 512, "110", "111", 2},
    {"31", "UPB2A_M1F_C01_01", 7937, 0, "112", "255", 0}, {"32", "UPB2A_M20_C01_01", 8193, 0, "6", "255", 0},
    {"51", "UPB2A_M33_C01_00", 13057, 255, "-14", "-14", -1}, {"52", "UPB2A_M34_C01_00", 13313, 255, "-15", "-15", -1},
    {"53", "UPB2A_M35_C01_00", 13569, 255, "-16", "-16", -1}, {"60", "UPB2A_M3C_C01_81", 15361, 0, "4", "4", 128},
    {"60", "UPB2A_M3C_C01_81", 15362, 0, "18", "18", 128}, {"60", "UPB2A_M3C_C01_81", 15363, 0, "2", "2", 128},
    {"60", "UPB2A_M3C_C01_81", 15364, 0, "1", "1", 128}, {"0", "UPB2A_M00_C02_01", 1, 255, "1", "1", 0},
    {"0", "UPB2A_M00_C02_02", 2, 255, "2", "2", 1}, {"0", "UPB2A_M00_C02_03", 3, 255, "3", "3", 2},
    {"0", "UPB2A_M00_C02_04", 4, 255, "4", "4", 3}, {"0", "UPB2A_M00_C02_05", 7, 255, "10", "10", 4},
    {"0", "UPB2A_M00_C02_06", 8, 255, "11", "11", 5},
};

struct Demo : ::testing::Test {
    sim::SimPlatform platform;
    testing::CapturingLog log;
    testing::TempDir dir;
    Network net;
    Installation model{net, log, platform};

    void SetUp() override { fs::copy(kDemo, dir.path(), fs::copy_options::recursive); }
    fs::path exportFile() const { return dir.path() / "Data" / "Tarvelo" / "Tarvelo.upe"; }
};

TEST_F(Demo, ExportMatchesTheHandComputedTable) {
    model.Import(exportFile(), "");
    ASSERT_TRUE(log.entries.empty()) << log.entries[0].second;

    EXPECT_EQ(net.NetworkId, "42");
    EXPECT_EQ(net.UPBModules.keys(),
              (std::vector<std::string>{"1", "2", "10", "11", "12", "13", "14", "15", "16", "20", "21", "22", "23",
                                        "24", "25", "30", "31", "32", "40", "41", "42", "50", "51", "52", "53", "54",
                                        "60", "0"}));
    std::vector<Row> got;
    size_t channels = 0;
    for (auto& [key, m] : net.UPBModules) channels += m->ChannelCollection().size();
    net.forEachState([&](UPBModule& m, UPBChannel&, const std::shared_ptr<UPBLinkState>& s) {
        got.push_back({m.ModuleID, ComponentUID(*s), s->UIDindex, s->StatusMask, s->OnLink, s->OffLink,
                       s->Componentindex});
    }, true);
    ASSERT_EQ(got.size(), kStates.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const Row &a = got[i], &e = kStates[i];
        EXPECT_EQ(std::tie(a.module, a.uid, a.UIDindex, a.mask, a.on, a.off, a.component),
                  std::tie(e.module, e.uid, e.UIDindex, e.mask, e.on, e.off, e.component))
            << "state " << i + 1;
    }
    EXPECT_EQ(channels, 24u);

    // Links: usage in file order; shared ones became the scene states above.
    EXPECT_EQ(net.UPBLinks.count(), 20u);
    EXPECT_EQ(net.findLink("1")->items,
              (std::vector<std::string>{"1", "All Off", "1", "10", "11", "12", "13", "14", "15", "20", "21", "22",
                                        "24", "25", "51", "52"}));
    EXPECT_EQ(net.findLink("2")->items, (std::vector<std::string>{"2", "Evening", "2", "10", "12", "16", "20", "52"}));
    EXPECT_EQ(net.findLink("10")->items,
              (std::vector<std::string>{"10", "Good Night", "7", "11", "14", "21", "51", "52"}));
    EXPECT_EQ(net.findLink("4")->items, (std::vector<std::string>{"4", "Kitchen Lights", "4", "12", "13"}));
    EXPECT_EQ(net.findLink("101")->items, (std::vector<std::string>{"101", "Pump On", "14", "30"}));
    EXPECT_EQ(net.findLink("110")->Count(), 3u);  // input records do not count as usage
    EXPECT_EQ(net.findLink("12")->Count(), 3u);

    auto pump = Module(net, "30");
    EXPECT_EQ(std::tie(pump->Kind, pump->Channels, pump->Inputs, pump->Outputs, pump->Room, pump->name),
              std::make_tuple(int16_t(5), int16_t(1), int16_t(2), int16_t(4), std::string("Basement"),
                              std::string("Pump Controller")));
    EXPECT_EQ(Module(net, "42")->Kind, 10);
    // The second record of an I/O pair gives the off side its command too.
    EXPECT_EQ(std::tie(State(net, "30", 1, 1)->OffCommand, State(net, "30", 1, 3)->OffCommand),
              std::make_tuple(int16_t(33), int16_t(33)));
    EXPECT_EQ(State(net, "16", 1, 1)->DefaultOnLevel, 75);
    EXPECT_EQ(xapName(net, *State(net, "14", 1, 1), &log), "Tarvelo_Porch_Porch_Light_Porch_Light");
    EXPECT_EQ(xapName(net, *State(net, "0", 1, 5), &log), "Tarvelo_Global_Scene_Good_Night");
}

TEST_F(Demo, SettingsDecorateTheModel) {
    app::SettingsCache ini(dir.path() / "Config", &log);
    model.Import(exportFile(), "9");
    model.Restore(ini);
    // The counts (valves, records restored, link-map entries) are pinned by --check's report.
    ASSERT_TRUE(log.entries.empty()) << log.entries[0].second;

    auto ceiling = State(net, "10", 1, 1);
    EXPECT_EQ(FormatStateRecord(*ceiling),
              "2026-12-05 22:14:09;0;False;True;;Living_Room_Ceiling;True;A1;Off");
    // The link map: the ceiling starts and ends the Evening scene, the TV
    // outlet Movie Time, the kitchen ceiling switches both kitchen lights,
    // and the reading lamp's off says good night.
    auto links = [](const std::shared_ptr<UPBLinkState>& s) {
        return std::make_tuple(s->OnLink, s->OnCommand, s->OffLink, s->OffCommand);
    };
    using L = std::tuple<std::string, int16_t, std::string, int16_t>;
    EXPECT_EQ(links(ceiling), L("2", 32, "2", 33));
    EXPECT_EQ(links(State(net, "22", 1, 1)), L("3", 32, "3", 33));
    EXPECT_EQ(links(State(net, "12", 1, 1)), L("4", 32, "4", 33));
    EXPECT_EQ(links(State(net, "21", 1, 1)), L("-9", 32, "10", 32));

    // Written in the US form.
    EXPECT_EQ(FormatStateRecord(*State(net, "20", 1, 1)),
              "2026-12-05 21:41:07;40;False;True;;Floor_Lamp;False;C3;Dim_40");
    EXPECT_EQ(State(net, "14", 1, 1)->Value, 100);
    EXPECT_EQ(State(net, "0", 1, 2)->Tag, "Evening_Scene");

    // Kind 5 states with a record get delay-off timers, in walk order.
    EXPECT_EQ(std::tie(State(net, "30", 1, 1)->Timerindex, State(net, "30", 1, 1)->Delay),
              std::make_tuple(int16_t(1), std::string("120")));
    EXPECT_EQ(std::tie(State(net, "30", 1, 3)->Timerindex, State(net, "30", 1, 3)->Delay),
              std::make_tuple(int16_t(3), std::string("90")));
    EXPECT_EQ(State(net, "14", 1, 1)->Timerindex, 0);

    // Controller 9 owns ids 65 to 72.
    auto valve = State(net, "65", 1, 1);
    EXPECT_EQ(valve->Tag, "Lawn_Front");
    EXPECT_EQ(valve->UIDindex, 65 * 256 + 1);
    EXPECT_EQ(std::tie(valve->OnLink, valve->OnCommand, valve->OffCommand),
              std::make_tuple(std::string("R65"), int16_t(34), int16_t(34)));
    EXPECT_EQ(Module(net, "72")->name, "Rain8 Module 9 Valve 8");

    auto& x10 = model.x10Lookup();
    EXPECT_EQ(x10.keys(), (std::vector<std::string>{"A1", "B1", "C3", "D1"}));
    EXPECT_EQ(*x10.find("b1"), State(net, "14", 1, 1));
}

} // namespace
} // namespace tarvelo::model
