#include <gtest/gtest.h>

#include "app/SettingsCache.h"
#include "common/VbDate.h"
#include "model/ModelTestUtil.h"
#include "model/Rain8.h"
#include "model/StateRecords.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

namespace tarvelo::model {
namespace {

using testing::AddLink;
using testing::AddModule;
using testing::AddState;

struct Records : ::testing::Test {
    sim::SimPlatform platform;
    testing::CapturingLog log;
    testing::TempDir dir;
    Network net;
    Tracker tracker{net, log, platform};
    std::unique_ptr<app::SettingsCache> ini;
    std::unique_ptr<StateRecords> records;

    void settings(const std::string& text) {
        testing::WriteFile(dir / "Config/Tarvelo.ini", text);
        ini = std::make_unique<app::SettingsCache>(dir / "Config", &log);
        records = std::make_unique<StateRecords>(net, log, *ini, tracker, platform.clock());
    }
};

TEST_F(Records, NineFieldRecordRestoresEverythingAndGivesKind5ATimer) {
    auto io = AddModule(net, "30", 5);
    auto a = AddState(io, 1, "21", 0), b = AddState(io, 256, "23", 1), c = AddState(io, 512, "40", 2);
    settings("[UPB]\r\n"
             "UPB01_M1E_C01_01=2026-12-05 21:10:00;100;False;True;90;Hall;True;A1;3\r\n"
             "UPB01_M1E_C01_02=2026-12-05 21:10:00;100;False;True;90;Hall;True;A1\r\n"
             "UPB01_M1E_C01_03=not a date;1;\"TRUE\";-1;;Porch;1;;\r\n");
    const std::string bBefore = FormatStateRecord(*b);
    records->ReadLastChange();
    EXPECT_EQ(FormatStateRecord(*a), "2026-12-05 21:10:00;100;False;True;90;Hall;True;A1;3");
    EXPECT_EQ(a->Timerindex, 1);
    // Eight fields: left as imported, no timer.
    EXPECT_EQ(FormatStateRecord(*b), bBefore);
    EXPECT_EQ(b->Timerindex, 0);
    // Lenient booleans; a date that is not a date is the present time.
    EXPECT_EQ(FormatStateRecord(*c), "2026-12-06 07:00:00;1;True;True;;Porch;True;;");
    EXPECT_EQ(c->Timerindex, 2);
    EXPECT_EQ(tracker.delayTimerCount(), 2u);
    EXPECT_TRUE(log.entries.empty());

    // A second load starts the timers afresh.
    records->ReadLastChange();
    EXPECT_EQ(tracker.delayTimerCount(), 2u);
}

TEST_F(Records, CorruptRecordCostsOnlyItsOwnComponent) {
    auto m = AddModule(net, "5", 3);
    auto a = AddState(m, 255, "-1", -1), b = AddState(m, 255, "7", 0);
    settings("[UPB]\r\n"
             "UPB01_M05_C01_00=2026-12-05 21:10:00;99999;False;True;;Broken;True;;\r\n"
             "UPB01_M05_C01_01=2026-12-05 21:10:00;40;False;True;;Fine;True;;\r\n");
    records->ReadLastChange();
    EXPECT_EQ(a->Tag, "");
    EXPECT_EQ(a->LastChange, 0);  // nothing of the broken record was applied
    EXPECT_EQ(b->Tag, "Fine");
    EXPECT_EQ(b->Value, 40);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("ReadLastChange Line ", 0), 0u);
}

TEST_F(Records, SavedRecordsAreNineFieldsOfTrackedStatesOnly) {
    auto m = AddModule(net, "200", 5, "194");
    auto s = AddState(m, 1, "21", 0);
    s->LastChange = DateFromLocalMillis(platform.now() + 987);  // sub-second part is not kept
    s->Value = 1;
    s->Invert = true;
    s->Used = true;
    s->Delay = "120";
    s->Tag = "Sump;Pump";  // a ";" would split the record into ten fields
    s->EventNotification = true;
    s->X10 = "P16";
    s->LastCommand = "Dim_50";
    auto untracked = AddState(m, 0, "22", 1);
    untracked->Tag = "never saved";
    settings("");
    records->SaveLinkStates();
    ini->FlushIniCache();
    const std::string file = testing::ReadFile(dir / "Config/Tarvelo.ini");
    EXPECT_NE(file.find("UPBC2_MC8_C01_01=2026-12-06 07:00:01;1;True;True;120;Sump_Pump;True;P16;Dim_50"),
              std::string::npos)
        << file;
    EXPECT_EQ(file.find("never saved"), std::string::npos);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(Records, LinkMapRedirectsOnAndOffSides) {
    auto m = AddModule(net, "12", 2);
    m->Room = "Kitchen";
    m->name = "Ceiling";
    auto a = AddState(m, 255, "-1", -1);
    a->OffLink = "-1";
    a->OnCommand = 32;
    a->OffCommand = 0;
    auto b = AddState(m, 255, "4", 0);
    AddLink(net, "4", {"12"});
    auto c = AddState(AddModule(net, "13", 2), 255, "-2", -1);
    settings("[Link Map]\r\n"
             "Room_Device_13=  12:Kitchen ;GoTo;;Deactivate\r\n"
             "Kitchen_Ceiling=5:Hall;Bogus;Kitchen:5;Deactivate;extra\r\n"
             "Kitchen_Ceiling_Link_4=;;7;FadeStop\r\n");
    records->ApplyLinkEditMap();
    EXPECT_EQ(std::tie(c->OnLink, c->OnCommand), std::make_tuple(std::string("12"), int16_t(34)));
    EXPECT_EQ(c->OffLink, "-2");  // empty off side: as imported
    // Unknown command name: Activate; a non-numeric link part leaves the side alone.
    EXPECT_EQ(std::tie(a->OnLink, a->OnCommand), std::make_tuple(std::string("5"), int16_t(0x20)));
    EXPECT_EQ(std::tie(a->OffLink, a->OffCommand), std::make_tuple(std::string("-1"), int16_t(0)));
    // A link without a name is fine; names are matched with the link's own name.
    EXPECT_EQ(b->OnLink, "4");
    EXPECT_EQ(std::tie(b->OffLink, b->OffCommand), std::make_tuple(std::string("7"), int16_t(0x24)));
    EXPECT_EQ(records->linkMapApplied(), 3);
}

TEST_F(Records, Rain8ValvesAlwaysUseGoToOnTheirOwnId) {
    net.NetworkId = "1";
    Rain8(net, log).AddRain8("1");
    settings("[Link Map]\r\nRain8_Rain8_Module_1_Valve_3=12:Kitchen;Activate;12:Kitchen;Deactivate\r\n");
    records->ApplyLinkEditMap();
    auto v = testing::State(net, "3", 1, 1);
    EXPECT_EQ(std::tie(v->OnLink, v->OnCommand, v->OffLink, v->OffCommand),
              std::make_tuple(std::string("R3"), int16_t(34), std::string("R3"), int16_t(34)));
}

TEST_F(Records, X10LookupKeepsTheFirstStateOfAnAddress) {
    auto m = AddModule(net, "5", 3);
    auto a = AddState(m, 255, "-1", -1), b = AddState(m, 0, "7", 0), c = AddState(m, 255, "8", 1);
    a->X10 = "a1";
    b->X10 = "B2";  // untracked states count too
    c->X10 = "A1";
    settings("");
    records->BuildX10Dictionary();
    auto& x10 = records->x10Lookup();
    EXPECT_EQ(x10.size(), 2u);
    EXPECT_EQ(*x10.find("A1"), a);
    EXPECT_EQ(*x10.find("b2"), b);
    // Rebuilding starts from empty.
    a->X10 = "";
    records->BuildX10Dictionary();
    EXPECT_EQ(*x10.find("A1"), c);
}

// Ids, names and UIDs of one controller are pinned by the demo table; here
// the list forms, controller 0, and the stop at a taken id.
TEST(Rain8, ListsControllerZeroAndTheStopAtATakenId) {
    Network net;
    testing::CapturingLog log;
    net.NetworkId = "9";
    EXPECT_EQ(Rain8(net, log).AddRain8("1, 3"), 16);
    EXPECT_TRUE(net.UPBModules.exists("24"));
    EXPECT_EQ(testing::Module(net, "17")->name, "Rain8 Module  3 Valve 1");
    EXPECT_EQ(ComponentUID(*testing::State(net, "17", 1, 1)), "UPB09_M11_C02_02");

    Network zero;
    EXPECT_EQ(Rain8(zero, log).AddRain8("0"), 8);
    EXPECT_TRUE(zero.UPBModules.exists("-7"));
    EXPECT_TRUE(zero.UPBModules.exists("0"));
    EXPECT_TRUE(log.entries.empty());

    Network taken;
    AddModule(taken, "5", 2);
    EXPECT_EQ(Rain8(taken, log).AddRain8("1,2"), 4);
    EXPECT_EQ(taken.UPBModules.keys(), (std::vector<std::string>{"5", "1", "2", "3", "4"}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("AddRain8 Line ", 0), 0u);
    EXPECT_EQ(Rain8(taken, log).AddRain8(""), 0);
}

} // namespace
} // namespace tarvelo::model
