// The status page's editing sections: the link map, the settings and the
// xAP messages of interest, rendered and saved through posted forms.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/Text.h"
#include "model/StateRecords.h"
#include "web/PageRig.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {

const char* kSave = "clientinput=yes&clientvalue=yes&UpdateButton=Save+Changes&ShowStatus=1";

// The rig's lamp with the defaults an import gives it, and a link whose name has blanks.
void Imported(PageRig& rig) {
    rig.lamp->DefaultOnLink = "12";
    rig.lamp->DefaultOffLink = "13";
    rig.lamp->OnCommand = rig.lamp->DefaultOnCommand = 0x20;
    rig.lamp->OffCommand = rig.lamp->DefaultOffCommand = 0x21;
    rig.relay->DefaultOnLink = "12";
    rig.relay->DefaultOffLink = "14";
    rig.network.UPBLinks.add(model::LinkEntry{{"7", "Hall Path", "2", "12"}}, "7~");
    rig.network.UPBLinks.add(model::LinkEntry{{"13", "Evening Off", "3", "12"}}, "13~");
}

std::string Ini(PageRig& rig, const std::string& section, const std::string& key) {
    return rig.ini.GetIniSetting(section, key, "<none>", "Tarvelo.ini");
}

bool Has(const std::string& page, const std::string& piece) { return page.find(piece) != std::string::npos; }

} // namespace

TEST(LinkMapEditor, RowsAndDropDowns) {
    PageRig rig;
    Imported(rig);
    rig.ini.SaveIniSetting("Link Map", "Hall_Lamp_Evening", "7:HallPath;GoTo;;Deactivate", "Tarvelo.ini");
    rig.settings.ShowEditMap = true;
    const std::string page = rig.Render(0);
    EXPECT_TRUE(Has(page, "Link Map Edit"));
    // Controllable tracked components only: no keypad, no untracked state.
    EXPECT_TRUE(Has(page, "name='OnLink3073'"));
    EXPECT_TRUE(Has(page, "name='OnLink5121'"));
    EXPECT_FALSE(Has(page, "name='OnLink769'"));
    EXPECT_TRUE(Has(page, "Evening Activate"));  // the lamp's on default
    // The stored choice has no blanks; its option is still the selected one.
    EXPECT_TRUE(Has(page, "<select class='formdropdown'  name='OnLink3073' size='1'><option value=' '></option>"
                          "<option value='12:Evening'>12:Evening</option><option value='6:Porch'>6:Porch</option>"
                          "<option selected='7:Hall Path'>7:Hall Path</option>"));
    EXPECT_TRUE(Has(page, "<select class='formdropdown'  name='On3073' size='1'><option value='Activate'>Activate"
                          "</option><option value='Deactivate'>Deactivate</option><option selected='GoTo'>GoTo"));
    EXPECT_TRUE(Has(page, "<select class='formdropdown'  name='OffLink3073' size='1'><option selected=' '></option>"));
    EXPECT_TRUE(Has(page, "name='ShownEditMap' value='"));
}

TEST(LinkMapEditor, SaveStoresChoicesAndRestoresDefaults) {
    PageRig rig;
    Imported(rig);
    rig.ini.SaveIniSetting("Link Map", "Someone_Elses_Row", "6:Porch;Activate;;", "Tarvelo.ini");
    // The status table is off: the editor's own rows are saved all the same.
    rig.Serve(Post("/stat", std::string(kSave) + "&ShownEditMap=3073+5121&OnLink3073=7%3AHall+Path&On3073=GoTo"
                                                  "&OffLink3073=+&Off3073=Deactivate&OnLink5121=&On5121=Activate"
                                                  "&OffLink5121=6%3APorch&Off5121=Blink"));
    EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Evening"), "7:HallPath;GoTo;;Deactivate");
    EXPECT_EQ(rig.lamp->OnLink, "7");
    EXPECT_EQ(rig.lamp->OnCommand, 0x22);
    EXPECT_EQ(rig.lamp->OffLink, "13");  // empty: back to the default
    EXPECT_EQ(rig.lamp->OffCommand, 0x21);
    EXPECT_EQ(Ini(rig, "Link Map", "Garage_Door_Evening"), ";Activate;6:Porch;Blink");
    EXPECT_EQ(rig.relay->OnLink, "12");
    EXPECT_EQ(rig.relay->OffLink, "6");
    EXPECT_EQ(rig.relay->OffCommand, 0x25);
    EXPECT_EQ(Ini(rig, "Link Map", "Someone_Elses_Row"), "6:Porch;Activate;;");

    // The on link moved, but the entry stays under the key start-up reads.
    EXPECT_EQ(model::LinkMapKey(rig.network, *rig.lamp, nullptr), "Hall_Lamp_Evening");
    EXPECT_EQ(model::LinkMapName(rig.network, *rig.lamp, nullptr), "Hall_Lamp_Hall_Path");
    rig.Serve(Post("/stat", std::string(kSave) + "&ShownEditMap=3073&OnLink3073=12%3AEvening&On3073=Activate"
                                                  "&OffLink3073=&Off3073=Deactivate"));
    EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Evening"), "12:Evening;Activate;;Deactivate");
    EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Hall_Path"), "<none>");

    // Saved with the editor hidden: the section is left alone.
    rig.Serve(Post("/stat", std::string(kSave) + "&OnLink3073=6%3APorch&On3073=Activate"));
    EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Evening"), "12:Evening;Activate;;Deactivate");
}

TEST(LinkMapEditor, ChoicesThatNameNoLinkAreRefused) {
    PageRig rig;
    Imported(rig);
    rig.ini.SaveIniSetting("Link Map", "Hall_Lamp_Evening", "6:Porch;Activate;;Deactivate", "Tarvelo.ini");
    rig.lamp->OnLink = "6";
    for (const char* bad : {"&OnLink3073=999%3ANowhere&On3073=Activate", "&OnLink3073=abc&On3073=Activate",
                            "&OnLink3073=6%3APorch&On3073=Activate%3BX", "&OnLink3073=6%3APorch%3Bx%3Dy&On3073=Nonsense"}) {
        const std::string page = rig.Serve(Post("/stat", std::string(kSave) + "&ShowEditMap=1&ShownEditMap=3073" + bad +
                                                             "&OffLink3073=&Off3073=Deactivate"));
        EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Evening"), "6:Porch;Activate;;Deactivate") << bad;
        EXPECT_EQ(rig.lamp->OnLink, "6") << bad;
        EXPECT_TRUE(Has(page, "<p class='note'>Link Map Hall_Lamp_Evening: ")) << bad;
        EXPECT_TRUE(std::any_of(rig.log.entries.begin(), rig.log.entries.end(), [](const auto& e) {
            return e.second.rfind("Status ClientRequest Link Map Hall_Lamp_Evening: ", 0) == 0;
        })) << bad;
    }
    // A choice with text after a known id is stored as that link's own choice.
    rig.Serve(Post("/stat", std::string(kSave) + "&ShownEditMap=3073&OnLink3073=7%3AWhatever&On3073=Blink"));
    EXPECT_EQ(Ini(rig, "Link Map", "Hall_Lamp_Evening"), "7:HallPath;Blink;;");
}

TEST(SettingsSection, RendersTheSettingsWithTheirDefaults) {
    PageRig rig;
    WriteFile(rig.dir / "Config/Tarvelo.ini", "[UPB]\r\nSerialIP=10.0.0.5\r\nStyleSheet=<b>'x\r\n");
    rig.settings.ShowSetup = true;
    const std::string page = rig.Render(0);
    for (const char* piece :
         {"<br><p><Table width='600' border='5' frame='box'><tr>",
          "HTTP Server Port<br><input type='text' size='4' value='8016' name='ServerPort'>",
          "Browser Background<br><input type='text' size='8' value='#000000' name='Background'>",
          "Style Sheet<br><input type='text' size='18' value='&lt;b&gt;&#39;x' name='StyleSheet'>",
          "Serial Comm IP Address<br><input type='text' size='16' value='10.0.0.5' name='SerialIP'>",
          "Serial Comm Port<br><input type='text' size='3' value='' name='UPBCommPort'>",
          "xAP UID<br><input type='text' size='8' value='FF.0002:00' name='UID'>",
          "Periodic Script Interval&nbsp;<input type='text' name='periodicscriptinterval' value='' size='6'>&nbsp;seconds",
          "Comma-separated module numbers&nbsp;<input type='text' name='rain8modules' value='' size='15'>",
          "Connectivity", "Script Control", "Rain8UPB Modules", "value='Read Script Tarvelo.txt'"})
        EXPECT_TRUE(Has(page, piece)) << piece;
}

TEST(SettingsSection, SaveNormalisesAndRefusesBadNumbers) {
    PageRig rig;
    rig.settings.UPBCommPort = "2101";
    rig.settings.SerialIP = "10.0.0.5";
    const std::string base = std::string(kSave) + "&ShowSetup=1&ShownSetup=1&Background=%23101010&StyleSheet=My.css"
                                                  "&SerialIP=10.0.0.5&rain8modules=9%2C10";
    rig.Serve(Post("/stat", base + "&ServerPort=8020&UPBCommPort=04&PeriodicScriptInterval=600&UID=FF123400"));
    EXPECT_EQ(Ini(rig, "UPB", "HTTPPort"), "8020");
    EXPECT_EQ(rig.settings.HTTPPort, "8020");
    EXPECT_EQ(rig.httpPorts, (std::vector<std::string>{"8020"}));
    EXPECT_EQ(Ini(rig, "UPB", "UPBCommPort"), "4");
    EXPECT_EQ(rig.settings.UPBCommPort, "4");
    EXPECT_EQ(rig.reopened, (std::vector<std::string>{"2101"}));
    EXPECT_EQ(Ini(rig, "UPB", "PeriodicScriptInterval"), "600");
    EXPECT_EQ(rig.periodic, (std::vector<std::string>{"600"}));
    EXPECT_EQ(Ini(rig, "UPB", "UID"), "FF.1234:00");
    EXPECT_EQ(rig.settings.UID, "FF.1234:00");
    EXPECT_EQ(Ini(rig, "UPB", "Rain8Modules"), "9,10");
    EXPECT_EQ(rig.settings.StyleSheet, "My.css");
    EXPECT_EQ(Ini(rig, "UPB", "Background"), "#101010");

    // Refused: each keeps its old value, says so on the page, and nothing reopens.
    const std::string page = rig.Serve(Post(
        "/stat", base + "&ServerPort=&UPBCommPort=4x&PeriodicScriptInterval=ten&UID=FF+12%3D34"));
    EXPECT_EQ(Ini(rig, "UPB", "HTTPPort"), "8020");
    EXPECT_EQ(Ini(rig, "UPB", "UPBCommPort"), "4");
    EXPECT_EQ(Ini(rig, "UPB", "PeriodicScriptInterval"), "600");
    EXPECT_EQ(Ini(rig, "UPB", "UID"), "FF.1234:00");
    EXPECT_EQ(rig.reopened.size(), 1u);
    EXPECT_EQ(rig.periodic.size(), 1u);
    for (const char* note : {"HTTP Server Port &#39;&#39; was refused", "Serial Comm Port &#39;4x&#39; was refused",
                             "Periodic Script Interval &#39;ten&#39; was refused", "xAP UID &#39;FF 12=34&#39; was refused"})
        EXPECT_TRUE(Has(page, note)) << note;
    rig.Serve(Post("/stat", base + "&ServerPort=70000&UPBCommPort=0"));
    EXPECT_EQ(Ini(rig, "UPB", "HTTPPort"), "8020");
    EXPECT_EQ(Ini(rig, "UPB", "UPBCommPort"), "4");

    // An empty interval stops the periodic script; an empty PIM port closes the PIM.
    rig.Serve(Post("/stat", base + "&PeriodicScriptInterval=&UPBCommPort="));
    EXPECT_EQ(rig.periodic.back(), "");
    EXPECT_EQ(rig.settings.UPBCommPort, "");
    EXPECT_EQ(rig.reopened.back(), "4");
    // A new bridge address on the same port reopens too.
    rig.Serve(Post("/stat", base + "&UPBCommPort=2101"));
    rig.Serve(Post("/stat", Replace(base, "10.0.0.5", "10.0.0.6")));
    EXPECT_EQ(rig.reopened.size(), 4u);
}

TEST(SettingsSection, HiddenSectionChangesNothing) {
    PageRig rig;
    rig.Serve(Post("/stat", std::string(kSave) + "&ServerPort=9000&UID=AA000100&UPBCommPort=7"));
    EXPECT_EQ(Ini(rig, "UPB", "HTTPPort"), "<none>");
    EXPECT_EQ(Ini(rig, "UPB", "UID"), "<none>");
    EXPECT_EQ(Ini(rig, "UPB", "UPBCommPort"), "<none>");
    EXPECT_TRUE(rig.reopened.empty());
}

namespace {

std::string FilterRow(int n, const std::string& tag, bool event, const std::string& source, const std::string& cls,
                      const std::string& key) {
    std::string s = "&FilterTag" + std::to_string(n) + "=" + tag + "&Source" + std::to_string(n) + "=" + source +
                    "&Class" + std::to_string(n) + "=" + cls;
    if (event) s += "&FilterEvent" + std::to_string(n) + "=1";
    if (!key.empty()) s += "&FilterKey" + std::to_string(n) + "=" + key;
    return s;
}

std::string FilterSave(int shown, const std::string& rows) {
    return std::string(kSave) + "&ShowReceiveMessages=1&ShownFilters=" + std::to_string(shown) + rows;
}

} // namespace

TEST(MessagesSection, RendersFiltersDevicesAndDetail) {
    PageRig rig;
    rig.settings.ShowReceiveMessages = true;
    std::string page = rig.Render(2);
    // No filters: the header and the new-filter row.
    EXPECT_TRUE(Has(page, "xAP Messages of Interest"));
    EXPECT_TRUE(Has(page, "Source Including Subaddress"));
    EXPECT_TRUE(Has(page, "<input type='text' size='80' value='' name='Source0'>"));
    EXPECT_FALSE(Has(page, "name='Source1'"));

    rig.interest.filters().add("acme.wx.home:out~weather.report", "Weather;1");
    rig.interest.filters().add("a.b.c~<x>", "Ghost;");
    auto device = std::make_shared<xap::DeviceClass>();
    device->Tag = "Weather";
    device->LastChange = MakeDate(2026, 3, 1, 10, 0, 0);
    device->Sequence = 7;
    device->MessageKeyList = {"weather.report.temp"};
    device->MessageList.add("weather.report.temp", "21<C>");
    rig.interest.devices().add("Weather", device);
    page = rig.Render(2);
    for (const char* piece :
         {"<input type='text' size='15' value='Weather' name='FilterTag1'>",
          "<input type='checkbox' checked value='1' name='FilterEvent1'>",
          "<input type='text' size='80' value='acme.wx.home:out' name='Source1'>",
          "<input type='text' size='20' value='weather.report' name='Class1'>",
          "<input type='checkbox' value='1' name='FilterEvent2'>",
          "<input type='text' size='20' value='&lt;x&gt;' name='Class2'>", "2026-03-01 10:00:00",
          "name='ShownFilters' value='2'"})
        EXPECT_TRUE(Has(page, piece)) << piece;
    EXPECT_FALSE(Has(page, "21&lt;C&gt;"));  // no detail asked for

    rig.settings.ShowReceiveDetail = true;
    page = rig.Render(1);
    EXPECT_FALSE(Has(page, "name='FilterTag1'"));
    EXPECT_FALSE(Has(page, "name='ShownFilters'"));  // nothing editable, nothing to save
    EXPECT_TRUE(Has(page, "21&lt;C&gt;"));
    EXPECT_TRUE(Has(page, "weather.report.temp"));
    EXPECT_TRUE(Has(page, "Sequence"));
    EXPECT_TRUE(rig.log.has("AddFilter Tag Ghost does not exist in DeviceDictionary"));
}

TEST(MessagesSection, SaveAddsEditsDeletesAndKeepsDevices) {
    PageRig rig;
    rig.interest.filters().add("a.b.c~x.y", "Old;1");
    rig.interest.filters().add("d.e.f~x.y", "Gone;");
    auto captured = std::make_shared<xap::DeviceClass>();
    captured->Tag = "Old";
    captured->MessageKeyList = {"x.y.v"};
    captured->MessageList.add("x.y.v", "5");
    captured->Link = rig.lamp;
    rig.interest.devices().add("Old", captured);

    rig.Serve(Post("/stat", FilterSave(2, FilterRow(0, "New+Tag%3B2", true, "n.s.t", "c.l", "") +
                                              FilterRow(1, "Old", false, "a.b.c", "x.y", "a.b.c~x.y") +
                                              FilterRow(2, "Gone", false, "", "", "d.e.f~x.y"))));
    const auto& filters = rig.interest.filters();
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters.begin()->first, "n.s.t~c.l");  // the new one first, as the next render numbers it
    EXPECT_EQ(*filters.find("n.s.t~c.l"), "New_Tag_2;1");
    EXPECT_EQ(*filters.find("a.b.c~x.y"), "Old;");
    EXPECT_EQ(Ini(rig, "Received", "n.s.t~c.l"), "New_Tag_2;1");
    EXPECT_EQ(Ini(rig, "Received", "d.e.f~x.y"), "<none>");
    // The new filter's device exists at once, and what was captured stays.
    ASSERT_NE(rig.interest.devices().find("New_Tag_2"), nullptr);
    ASSERT_NE(rig.interest.devices().find("Old"), nullptr);
    EXPECT_EQ(*(*rig.interest.devices().find("Old"))->MessageList.find("x.y.v"), "5");
    EXPECT_EQ((*rig.interest.devices().find("Old"))->Link, rig.lamp);
}

TEST(MessagesSection, CharactersThatBreakTheStoredFormsAreRefusedOrReplaced) {
    PageRig rig;
    rig.interest.filters().add("a.b.c~x.y", "Keep;1");
    // (Line breaks never arrive: the request turns control characters into blanks.)
    for (const char* bad : {"a.b~c", "a%3Db", "a%3Bb", "%5Ba%5D"}) {
        const std::string page = rig.Serve(Post("/stat", FilterSave(1, FilterRow(0, "T", false, bad, "x.y", "") +
                                                                            FilterRow(1, "Keep", true, bad, "x.y",
                                                                                      "a.b.c~x.y"))));
        EXPECT_EQ(rig.interest.filters().size(), 1u) << bad;
        EXPECT_EQ(*rig.interest.filters().find("a.b.c~x.y"), "Keep;1") << bad;
        EXPECT_TRUE(Has(page, "xAP filter 1: the source and the class may not hold")) << bad;
    }
    // Tags: every such character becomes "_", so a tag can never add a key.
    rig.Serve(Post("/stat", FilterSave(1, FilterRow(1, "a%3Db%5Bc%5D+d%7Ee%0D%0Af", true, "a.b.c", "x.y", "a.b.c~x.y"))));
    EXPECT_EQ(*rig.interest.filters().find("a.b.c~x.y"), "a_b_c__d_e__f;1");
    EXPECT_NE(rig.interest.devices().find("a_b_c__d_e__f"), nullptr);
}

TEST(MessagesSection, TwoBrowsersSavingKeepEachOthersFilters) {
    PageRig rig;
    rig.interest.filters().add("a.b.c~x.y", "First;");
    // Both pages showed one filter. The first browser adds one; the second,
    // still showing one row, renames its tag: the added filter survives.
    rig.Serve(Post("/stat", FilterSave(1, FilterRow(0, "Added", false, "n.e.w", "c.l", "") +
                                              FilterRow(1, "First", false, "a.b.c", "x.y", "a.b.c~x.y"))));
    rig.Serve(Post("/stat", FilterSave(1, FilterRow(0, "", false, "", "", "") +
                                              FilterRow(1, "Renamed", true, "a.b.c", "x.y", "a.b.c~x.y"))));
    ASSERT_EQ(rig.interest.filters().size(), 2u);
    EXPECT_EQ(*rig.interest.filters().find("n.e.w~c.l"), "Added;");
    EXPECT_EQ(*rig.interest.filters().find("a.b.c~x.y"), "Renamed;1");
    // Both add the same filter: one copy; the new row comes first, as on one page.
    rig.Serve(Post("/stat", FilterSave(0, FilterRow(0, "One", false, "s.a.me", "c.l", ""))));
    rig.Serve(Post("/stat", FilterSave(0, FilterRow(0, "Two", false, "S.A.ME", "C.L", ""))));
    EXPECT_EQ(*rig.interest.filters().find("s.a.me~c.l"), "Two;");
    EXPECT_EQ(rig.interest.filters().size(), 3u);
}

TEST(MessagesSection, FiveHundredFiltersAndALongSourceRoundTrip) {
    PageRig rig;
    std::string rows;
    const std::string longSource(5000, 's');
    rows += FilterRow(0, "Long", false, longSource + "%26%27%3C", "c", "");
    for (int i = 1; i <= 500; ++i)
        rig.interest.filters().add("src" + std::to_string(i) + "~c", "T" + std::to_string(i) + ";");
    for (int i = 1; i <= 500; ++i) {
        const std::string key = "src" + std::to_string(i) + "~c";
        rows += FilterRow(i, "T" + std::to_string(i), i % 2 == 0, "src" + std::to_string(i), "c", key);
    }
    rig.settings.ShowReceiveMessages = true;
    rig.settings.ShowStatus = 2;
    web::Request r;
    r.ParsePage(Post("/stat", Replace(FilterSave(500, rows), "ShowStatus=1", "ShowStatus=2")));
    r.setRemoteip("192.168.1.30");
    const std::string page = rig.page.Serve(r).text;
    EXPECT_EQ(rig.interest.filters().size(), 501u);
    EXPECT_EQ(*rig.interest.filters().find("src500~c"), "T500;1");
    EXPECT_EQ(Ini(rig, "Received", longSource + "&'<~c"), "Long;");
    EXPECT_TRUE(Has(page, "value='" + longSource + "&amp;&#39;&lt;' name='Source1'"));
    EXPECT_TRUE(Has(page, "name='ShownFilters' value='501'"));
    // Read back from the file as start-up reads it.
    rig.ini.FlushIniCache();
    xap::DevicesOfInterest again{rig.log, rig.platform.clock(), rig.network, rig.ini, {}};
    again.InitFilterDictionary();
    EXPECT_EQ(again.filterCount(), 501u);
    EXPECT_EQ(*again.filters().find(longSource + "&'<~c"), "Long;");
}

TEST(StatusPage, ATagTypedInARowCannotAddAKey) {
    PageRig rig;
    rig.Serve(Post("/stat", "clientinput=yes&UpdateButton=Save+Changes&ShowStatus=2&ShownStatus=2&ShownRows=3073"
                            "&Used3073=1&Tag3073=Hall+%5Bx%5D%3Dy%3Bz&Event3073=1"));
    EXPECT_EQ(rig.lamp->Tag, "Hall__x__y_z");
    EXPECT_EQ(rig.devices, (std::vector<std::string>{"Hall__x__y_z"}));
}
