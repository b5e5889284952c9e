// The status page: its rows and cells, what each post does, and saves that
// apply to what the posting browser showed.
#include <gtest/gtest.h>

#include <regex>

#include "support/TempDir.h"
#include "web/SimHttp.h"
#include "web/StatusPage.h"

using namespace tarvelo;
using namespace tarvelo::testing;
using model::UPBLinkState;

namespace {

struct Sent {
    std::shared_ptr<UPBLinkState> state;
    int16_t value;
    bool isLink;
    int16_t destination;
    bool on;
    int16_t level;
};

struct PageRig {
    PageRig() {
        WriteFile(dir / "Config/Tarvelo.ini", "[UPB]\r\n");
        // Lamp module 12 (links 12 on, 13 off), a dimmer 5 with a command
        // list, a keypad button on link 6, an inverted relay 20 that shares
        // link 12 with the lamp, a Rain8 valve 9, and an untracked input.
        lamp = Add("12", model::KindModule, "Hall", "Lamp", "12", "13", 255);
        dimmer = Add("5", model::KindSwitch, "Living_Room", "Ceiling", "1", "1", 255);
        dimmer->Values = std::string("Deactivate\x02") + "0\x01" + "Activate\x02" + "1\x01" + "Off\x02" + "2\x01" + "On\x02" +
                         "3\x01" + "Dim_40\x02" + "4";
        dimmer->Value = 40;
        keypad = Add("3", model::KindKeypad, "Entry", "Keypad", "6", "6", 0);
        relay = Add("20", model::KindModule, "Garage", "Door", "12", "14", 255);
        relay->Invert = true;
        valve = Add("9", model::KindOther, "Rain8", "Rain8 Module 2 Valve 1", "R9", "R9", -1);
        network.UPBLinks.add(model::LinkEntry{{"12", "Evening", "1", "12"}}, "12~");
        network.UPBLinks.add(model::LinkEntry{{"6", "Porch", "1", "3"}}, "6~");
    }

    std::shared_ptr<UPBLinkState> Add(const std::string& id, int16_t kind, const std::string& room,
                                      const std::string& name, const std::string& on, const std::string& off,
                                      int16_t mask) {
        auto m = std::make_shared<model::UPBModule>();
        m->ModuleID = id;
        m->Kind = kind;
        m->Room = room;
        m->name = name;
        auto ch = std::make_shared<model::UPBChannel>();
        ch->Parent = m;
        m->AddChannel(ch);
        auto s = std::make_shared<UPBLinkState>();
        s->StatusMask = mask;
        s->OnLink = on;
        s->OffLink = off;
        s->Controllable = kind != model::KindKeypad;
        s->UIDindex = static_cast<int32_t>(std::stoi(id) * 256 + 1);
        s->Used = true;
        ch->add(ch, s);
        network.UPBModules.add(id, m);
        return s;
    }

    std::string Serve(const std::string& text, bool* redraw = nullptr) {
        web::Request r;
        r.ParsePage(text);
        r.setRemoteip("192.168.1.30");
        web::StatusPage::Result result = page.Serve(r);
        if (redraw) *redraw = !result.text.empty();
        return result.text;
    }
    std::string Render(int mode) {
        settings.ShowStatus = static_cast<int16_t>(mode);
        return Serve(Get("/stat"));
    }
    // The row identifiers a rendered page carries.
    static std::string ShownRows(const std::string& html) {
        std::smatch m;
        return std::regex_search(html, m, std::regex("name='ShownRows' value='([^']*)'")) ? m[1].str() : "<none>";
    }

    TempDir dir;
    WebSimPlatform platform;
    CapturingLog log;
    app::SettingsCache ini{dir / "Config", &log};
    app::ProgramSettings settings;
    model::Network network;
    web::PageFramework framework{platform, log, ini, settings, dir.path(), dir / "HTML"};
    std::vector<Sent> sent;
    std::vector<std::pair<std::shared_ptr<UPBLinkState>, std::string>> chosen;
    std::vector<std::string> queries, devices;
    xap::DevicesOfInterest interest{log, platform.clock(), network, ini, {}};
    web::StatusPage page{framework,
                         network,
                         ini,
                         settings,
                         interest,
                         log,
                         platform.clock(),
                         "1.2.3",
                         {.SendUPBCommand =
                              [this](const std::shared_ptr<model::UPBStatus>& s, bool isLink, int16_t d, bool on,
                                     int16_t level, int16_t command) {
                                  EXPECT_EQ(command, -1);
                                  sent.push_back({s->Link, s->Value, isLink, d, on, level});
                              },
                          .ControlUPBLink = [this](const auto& s, const std::string& v) { chosen.push_back({s, v}); },
                          .BSCQuery = [this](const std::string& t) { queries.push_back(t); },
                          .AddDeviceOfInterest = [this](const std::string& tag, const auto&) { devices.push_back(tag); },
                          .ReadScript = {}}};
    std::shared_ptr<UPBLinkState> lamp, dimmer, keypad, relay, valve;
};

} // namespace

TEST(StatusPage, CellTexts) {
    EXPECT_EQ(web::StateText(0, model::KindModule, false), "OFF");
    EXPECT_EQ(web::StateText(100, model::KindModule, false), "ON");
    EXPECT_EQ(web::StateText(1, model::KindModule, true), "OFF");
    EXPECT_EQ(web::StateText(0, model::KindSwitch, true), "ON");
    EXPECT_EQ(web::StateText(40, model::KindSwitch, false), "40");
    EXPECT_EQ(web::StateText(40, model::KindSwitch, true), "40");
    EXPECT_EQ(web::StateText(40, model::KindIO, false), "ON");

    const VbDate today = MakeDate(2026, 12, 6);
    EXPECT_EQ(web::ChangedText(0, today), "");
    EXPECT_EQ(web::ChangedText(MakeDate(2000, 1, 1), today), "");
    EXPECT_EQ(web::ChangedText(MakeDate(2026, 12, 6, 7, 1, 37), today), "Today 7:01:37 AM");
    EXPECT_EQ(web::ChangedText(MakeDate(2026, 12, 5, 23, 59, 0), today), "Yesterday 11:59:00 PM");
    EXPECT_EQ(web::ChangedText(MakeDate(2026, 12, 6, 0, 0, 0), today), "Today 12:00:00 AM");
    EXPECT_EQ(web::ChangedText(MakeDate(2026, 12, 1, 12, 0, 0), today), "2026-12-01 12:00:00");
}

TEST(StatusPage, RowsSortedFilteredAndEscaped) {
    PageRig rig;
    rig.lamp->Tag = "<script>x</script>";
    rig.keypad->Used = false;
    const std::string page = rig.Render(1);
    EXPECT_EQ(page.find("<script>x"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("UPB Status&nbsp;&nbsp;<small><font size='1'></b> V1.2.3</font></small>"), std::string::npos);
    // Every row button of each kind.
    for (const char* piece : {"name='Q13' value='OFF'", "name='Q12' value='ON'", "name='I12' value='OFF'",
                              "name='I14' value='ON'", "name='Q6' value='Activate'", "<select class='formdropdown' name='V1'",
                              "name='QR9' value='ON'", "<span class='level'>40</span>", "<span class='on'>ON</span>"})
        EXPECT_NE(page.find(piece), std::string::npos) << piece;
    EXPECT_EQ(page.find("name='ShownRows'"), std::string::npos);  // no configuration, nothing to save

    // Default order: module, channel, component; DESC on Location; the Used filter.
    auto order = [](const std::string& html) {
        static const std::regex row("(Hall Lamp|Living_Room Ceiling|Entry Keypad|Garage Door|Rain8 Rain8)");
        std::vector<std::string> names;
        for (std::sregex_iterator it(html.begin(), html.end(), row), end; it != end; ++it)
            names.push_back(it->str());
        return names;
    };
    EXPECT_EQ(order(page), (std::vector<std::string>{"Entry Keypad", "Living_Room Ceiling", "Rain8 Rain8", "Hall Lamp", "Garage Door"}));
    WriteFile(rig.dir / "Config/Tarvelo.ini", "[UPB]\r\nStatusSortKey=\"Location\"\r\nStatusSortDirection=DESC\r\n");
    rig.settings.ShowOnlyUsed = true;
    EXPECT_EQ(order(rig.Render(1)), (std::vector<std::string>{"Rain8 Rain8", "Living_Room Ceiling", "Hall Lamp", "Garage Door"}));

    WriteFile(rig.dir / "Config/Tarvelo.ini", "[UPB]\r\nStatusSortKey=Nonsense\r\n");
    EXPECT_EQ(order(rig.Render(1)).size(), 4u);
    EXPECT_TRUE(rig.log.has("Status FormatScreen StatusSortKey 'Nonsense ' names no column"));
}

TEST(StatusPage, RowButtons) {
    PageRig rig;
    bool redraw = false;
    // Q12 ON: the first component whose off or on link is 12, by link, at 100.
    rig.Serve(Post("/stat", "clientinput=Q12&clientvalue=ON"), &redraw);
    EXPECT_TRUE(redraw);
    ASSERT_EQ(rig.sent.size(), 1u);
    EXPECT_EQ(rig.sent[0].state, rig.lamp);
    EXPECT_TRUE(rig.sent[0].isLink);
    EXPECT_EQ(rig.sent[0].destination, 12);
    EXPECT_EQ(rig.sent[0].level, 100);
    EXPECT_EQ(rig.sent[0].value, 100);
    EXPECT_TRUE(rig.sent[0].on);

    // OFF on an inverted component is carried out as ON.
    rig.Serve(Post("/stat", "clientinput=I14&clientvalue=OFF"));
    EXPECT_EQ(rig.sent.back().level, 100);
    EXPECT_EQ(rig.sent.back().state, rig.relay);

    // A keypad's link is activated through a tracked component on it; with none, nothing goes.
    rig.Serve(Post("/stat", "clientinput=Q6&clientvalue=Activate"));
    EXPECT_EQ(rig.sent.size(), 2u);
    rig.relay->OffLink = "6";
    rig.Serve(Post("/stat", "clientinput=Q6&clientvalue=Activate"));
    EXPECT_EQ(rig.sent.back().destination, 6);
    EXPECT_EQ(rig.sent.back().level, -1);
    EXPECT_EQ(rig.sent.back().value, -1);
    EXPECT_TRUE(rig.sent.back().on);

    // A Rain8 valve and a device command go to the module.
    rig.Serve(Post("/stat", "clientinput=QR9&clientvalue=ON"));
    EXPECT_FALSE(rig.sent.back().isLink);
    EXPECT_EQ(rig.sent.back().destination, 9);
    EXPECT_EQ(rig.sent.back().state, rig.valve);
    rig.Serve(Post("/stat", "clientinput=D12&clientvalue=x&ValueD12=55"));
    EXPECT_FALSE(rig.sent.back().isLink);
    EXPECT_EQ(rig.sent.back().level, 55);

    // Unknown components and commands send nothing.
    const size_t before = rig.sent.size();
    for (const char* body : {"clientinput=Q99&clientvalue=ON", "clientinput=D77&clientvalue=ON",
                             "clientinput=Q12&clientvalue=SIDEWAYS", "clientinput=Q12&clientvalue=99999",
                             "clientinput=X12&clientvalue=ON", "clientinput=V99&clientvalue=On"})
        rig.Serve(Post("/stat", body));
    EXPECT_EQ(rig.sent.size(), before);

    // The drop-down: the choice's position becomes the last command.
    rig.Serve(Post("/stat", "clientinput=V1&clientvalue=dim_40"));
    ASSERT_EQ(rig.chosen.size(), 1u);
    EXPECT_EQ(rig.chosen[0].second, "4");
    EXPECT_EQ(rig.dimmer->LastCommand, "4");
    EXPECT_NE(rig.Render(1).find("<option value='Dim_40' selected>"), std::string::npos);
}

TEST(StatusPage, ActionsAndDisplayOptions) {
    PageRig rig;
    bool redraw = true;
    rig.Serve(Post("/stat", "clientinput=yes&script=Read+Script+Tarvelo.txt"), &redraw);
    EXPECT_FALSE(redraw);
    EXPECT_TRUE(rig.log.has("Read Script: no script host is running"));
    rig.Serve(Post("/stat", "clientinput=yes&query=Query+UPB+Modules"), &redraw);
    EXPECT_TRUE(redraw);
    EXPECT_EQ(rig.queries, std::vector<std::string>{">:>"});

    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save&ShowEditMap=1&ShowOnlyUsed=1&ShowStatus=2"));
    EXPECT_TRUE(rig.settings.ShowEditMap && rig.settings.ShowOnlyUsed);
    EXPECT_EQ(rig.settings.ShowStatus, 2);
    // Every box unticked: each stored as False.
    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save&ShowStatus=1"));
    rig.ini.FlushIniCache();
    const std::string saved = ReadFile(rig.dir / "Config/Tarvelo.ini");
    for (const char* key : {"ShowEditMap", "ShowReceiveMessages", "ShowSetup", "ShowOnlyUsed", "ShowReceiveDetail",
                            "ShowInputLinks"})
        EXPECT_NE(saved.find(std::string(key) + "=False\r\n"), std::string::npos) << key << saved;
    EXPECT_NE(saved.find("ShowStatus=1\r\n"), std::string::npos);
    EXPECT_FALSE(rig.settings.ShowOnlyUsed);
}

TEST(StatusPage, SaveAppliesToTheRowsThePostingBrowserShowed) {
    PageRig rig;
    rig.lamp->Used = false;
    rig.keypad->Used = false;
    // Browser A sees every row; browser B only the used ones.
    const std::string a = PageRig::ShownRows(rig.Render(2));
    rig.settings.ShowOnlyUsed = true;
    const std::string b = PageRig::ShownRows(rig.Render(2));
    EXPECT_EQ(a, "769 1281 2305 3073 5121");
    EXPECT_EQ(b, "1281 2305 5121");
    for (auto& s : {rig.dimmer, rig.relay, rig.keypad}) {
        s->Invert = true;
        s->EventNotification = true;
    }

    // B saves with every box unticked: only B's rows change.
    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save&ShowStatus=2&ShownStatus=2&ShownRows=" + b +
                                "&Tag1281=Living%20room%3Bmain&X102305=A%3B1&Delay5121=5&Tag5121=Door&Event5121=1"));
    EXPECT_FALSE(rig.dimmer->Used);
    EXPECT_FALSE(rig.dimmer->Invert);
    EXPECT_EQ(rig.dimmer->Tag, "Living_room_main");
    EXPECT_EQ(rig.valve->X10, "A_1");
    EXPECT_EQ(rig.relay->Delay, "5");
    EXPECT_TRUE(rig.relay->EventNotification);
    EXPECT_EQ(rig.devices, std::vector<std::string>{"Door"});
    // Rows only A showed keep what they had.
    EXPECT_TRUE(rig.keypad->Invert);
    EXPECT_TRUE(rig.keypad->EventNotification);
    EXPECT_FALSE(rig.lamp->Used);

    // The relay shares link 12 with the lamp: each row reaches its own component.
    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save&ShowStatus=2&ShownStatus=2&ShownRows=3073+5121"
                            "&Used3073=1&Tag3073=Lamp&Tag5121=Garage"));
    EXPECT_TRUE(rig.lamp->Used);
    EXPECT_EQ(rig.lamp->Tag, "Lamp");
    EXPECT_EQ(rig.relay->Tag, "Garage");

    // A page without the configuration columns saves no rows.
    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save&ShowStatus=1&ShownStatus=1&ShownRows=3073"));
    EXPECT_TRUE(rig.lamp->Used);
}
