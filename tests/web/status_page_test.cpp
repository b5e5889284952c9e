// The status page: its rows and cells, what each post does, and saves that
// apply to what the posting browser showed.
#include <gtest/gtest.h>

#include <regex>

#include "web/PageRig.h"

using namespace tarvelo;
using namespace tarvelo::testing;
using model::UPBLinkState;


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
