// The demo installation in a whole gateway on virtual time, driven from
// simulated browsers: a button on the status page reaches the PIM, a save
// survives a restart, and the console tells a watching person what happens.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"
#include "web/SimHttp.h"

using namespace tarvelo;
using namespace tarvelo::testing;
namespace fs = std::filesystem;

namespace {

struct WebRig {
    TempDir dir;
    WebSimPlatform platform;
    sim::SimNet net{platform};
    std::unique_ptr<Gateway> gateway;
    std::vector<std::string> console;
    std::vector<app::LogEntry> log;

    WebRig() {
        fs::copy(fs::path(TARVELO_SOURCE_DIR) / "data" / "demo", dir.path(), fs::copy_options::recursive);
        const fs::path ini = dir / "Config/Tarvelo.ini";
        WriteFile(ini, Replace(ReadFile(ini), "SerialIP=127.0.0.1", "SerialIP=192.168.1.50"));
        net.pim.answerLikeAPim();
    }
    Gateway& start() {
        app::Paths paths;
        paths.base = dir.path();
        gateway = std::make_unique<Gateway>(
            platform, paths,
            Gateway::Options{.mirrorLog = false,
                             .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); },
                             .version = "9.9",
                             .console = [this](const std::string& line) { console.push_back(line); }});
        EXPECT_TRUE(gateway->Start());
        return *gateway;
    }
    bool saw(const std::string& text) const {
        for (const std::string& line : console)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    std::shared_ptr<model::UPBLinkState> pump() {
        return (*gateway->network().UPBModules.find("30"))->Channel(1)->LinkCollection.at(0);
    }
};

} // namespace

TEST(WebScenario, PageButtonReachesThePimAndTheConsoleSaysWhy) {
    WebRig rig;
    Gateway& g = rig.start();
    ASSERT_FALSE(rig.console.empty());
    EXPECT_EQ(rig.console[0], "Status page: http://127.0.0.1:8016/stat");
    EXPECT_TRUE(rig.saw("Polling modules: 1 of "));
    const size_t modules = g.status().model.modules - 1;  // not the scene module
    EXPECT_TRUE(rig.saw("Polling modules: " + Dec(static_cast<long long>(modules)) + " of " +
                        Dec(static_cast<long long>(modules))));
    rig.net.pim.frames.clear();
    rig.console.clear();

    // The sump pump's ON button: link 101 activated, and the answer shows it on.
    ASSERT_EQ(rig.pump()->Tag, "Sump_Pump");
    Browser b(rig.platform);
    b.request(Post("/stat", "clientinput=Q101&clientvalue=ON"));
    ASSERT_FALSE(rig.net.pim.frames.empty());
    EXPECT_NE(rig.net.pim.frames[0].find("2A65FF20"), std::string::npos) << rig.net.pim.frames[0];
    EXPECT_EQ(rig.pump()->Value, 100);
    EXPECT_TRUE(rig.saw("  Sump Pump  ON  (page)"));
    EXPECT_NE(b.body().find("V9.9"), std::string::npos);

    // A wall switch: the keypad sends link 6 and the porch light follows.
    rig.net.pim.send("PU8904" "2A" "06" "01" "20" "00\r");
    rig.platform.advance(100);
    EXPECT_TRUE(rig.saw("  Porch Light  ON  (wall switch)"));
    g.RequestExit();
}

TEST(WebScenario, SavedRowSettingsSurviveARestart) {
    WebRig rig;
    {
        Gateway& g = rig.start();
        g.settings().ShowStatus = 2;
        const std::string uid = Dec(rig.pump()->UIDindex);
        Browser b(rig.platform);
        b.request(Post("/stat", "clientinput=yes&UpdateButton=Save+Changes&ShowStatus=2&ShownStatus=2&ShownRows=" + uid +
                                    "&Used" + uid + "=1&Tag" + uid + "=Well+Pump%26Tank&Event" + uid + "=1"));
        EXPECT_EQ(rig.pump()->Tag, "Well_Pump&Tank");
        EXPECT_FALSE(rig.pump()->Invert);
        g.RequestExit();
    }
    const std::string saved = ReadFile(rig.dir / "Config/Tarvelo.ini");
    EXPECT_NE(saved.find(";Well_Pump&Tank;True;"), std::string::npos) << saved;
    EXPECT_NE(saved.find("ShowStatus=2\r\n"), std::string::npos);

    rig.start();
    EXPECT_EQ(rig.pump()->Tag, "Well_Pump&Tank");
    EXPECT_EQ(rig.gateway->settings().ShowStatus, 2);
    Browser b(rig.platform);
    b.request(Get("/stat"));
    EXPECT_NE(b.body().find("value='Well_Pump&amp;Tank'"), std::string::npos);
    rig.gateway->RequestExit();
}

// "Read Script" loads the main script again into a clean engine: what the file
// no longer holds stops running.
TEST(WebScenario, ReadScriptButtonReloadsTheMainScript) {
    WebRig rig;
    Gateway& g = rig.start();
    WriteFile(rig.dir / "Scripts/Tarvelo.txt", "Sub Main(tag)\n  WriteLog \"Reloaded\", \"[\" & tag & \"]\"\nEnd Sub\n");
    Browser b(rig.platform);
    b.request(Post("/stat", "clientinput=yes&script=Read+Script"));
    rig.log.clear();
    g.triggers().QueueScriptEvent(nullptr);
    rig.platform.advance(100);
    std::vector<std::string> said;
    for (const auto& e : rig.log) said.push_back(e.type + " " + e.data);
    EXPECT_EQ(said, std::vector<std::string>{"Reloaded []"});
}

namespace {

std::shared_ptr<model::UPBLinkState> ByUID(Gateway& g, const std::string& uid) {
    std::shared_ptr<model::UPBLinkState> found;
    g.network().forEachState([&](auto&, auto&, const std::shared_ptr<model::UPBLinkState>& s) {
        if (!found && model::ComponentUID(*s) == uid) found = s;
    });
    return found;
}

} // namespace

// The settings section: a new PIM port reopens the connection on it, a new
// UID is on the next event, and an empty interval stops the periodic script.
TEST(WebScenario, SettingsSaveReopensThePimAndTheUidCountsAtOnce) {
    WebRig rig;
    Gateway& g = rig.start();
    ASSERT_TRUE(rig.net.connected());
    ASSERT_TRUE(g.periodicScriptTimer().enabled());
    const int calls = rig.net.connectCalls;
    rig.net.bridgePort = 2102;
    Browser b(rig.platform);
    b.request(Post("/stat", "clientinput=yes&clientvalue=yes&UpdateButton=Save+Changes&ShowStatus=1&ShowSetup=1"
                            "&ShownSetup=1&ServerPort=8016&SerialIP=192.168.1.50&UPBCommPort=2102&UID=FF123400"
                            "&PeriodicScriptInterval="));
    rig.platform.advance(1000);
    EXPECT_GT(rig.net.connectCalls, calls);
    EXPECT_TRUE(rig.net.connected());
    EXPECT_EQ(g.settings().UID, "FF.1234:00");
    EXPECT_FALSE(g.periodicScriptTimer().enabled());

    rig.net.pim.frames.clear();
    rig.platform.udp.sent.clear();
    b.request(Post("/stat", "clientinput=Q101&clientvalue=ON"));
    ASSERT_FALSE(rig.net.pim.frames.empty());
    EXPECT_NE(rig.net.pim.frames[0].find("2A65FF20"), std::string::npos);
    const auto events = rig.platform.udp.sentTo(3639, "xapbsc.event");
    ASSERT_FALSE(events.empty());
    EXPECT_NE(events.back().find("uid=FF.1234:"), std::string::npos) << events.back();

    // A refused interval keeps the timer as it is; a number starts it.
    b.request(Post("/stat", "clientinput=yes&UpdateButton=Save+Changes&ShowStatus=1&ShownSetup=1"
                            "&PeriodicScriptInterval=300"));
    EXPECT_TRUE(g.periodicScriptTimer().enabled());
    b.request(Post("/stat", "clientinput=yes&UpdateButton=Save+Changes&ShowStatus=1&ShownSetup=1"
                            "&PeriodicScriptInterval=5+minutes"));
    EXPECT_TRUE(g.periodicScriptTimer().enabled());
    EXPECT_NE(b.body().find("Periodic Script Interval &#39;5 minutes&#39; was refused"), std::string::npos);
    g.RequestExit();
}

// A link chosen in the editor: a wall-switch press that changes the
// component is reported under the chosen link, and the choice is applied
// again at the next start.
TEST(WebScenario, LinkMapChoiceNamesTheLinkAWallSwitchPressIsReportedUnder) {
    WebRig rig;
    {
        Gateway& g = rig.start();
        auto hall = ByUID(g, "UPB2A_M0B_C01_01");
        ASSERT_TRUE(hall);
        ASSERT_EQ(hall->OnLink, "5");
        const std::string n = Dec(hall->UIDindex);
        Browser b(rig.platform);
        b.request(Post("/stat", "clientinput=yes&UpdateButton=Save+Changes&ShowStatus=0&ShowEditMap=1&ShownEditMap=" +
                                    n + "&OnLink" + n + "=19%3AHall+Accent&On" + n + "=Activate&OffLink" + n +
                                    "=+&Off" + n + "=Deactivate"));
        EXPECT_EQ(hall->OnLink, "19");
        EXPECT_NE(b.body().find("<option selected='19:Hall Accent'>"), std::string::npos);

        rig.platform.udp.sent.clear();
        rig.net.pim.send("PU8904" "2A" "05" "0B" "20" "00\r");  // the hall switch sends link 5
        rig.platform.advance(200);
        EXPECT_EQ(hall->Value, 100);
        EXPECT_FALSE(rig.platform.udp.sentTo(3639, "Tarvelo_Hall_Hall_Lights_Hall_Accent.UPB2A_M0B_C01_01").empty());
        g.RequestExit();
    }
    EXPECT_NE(ReadFile(rig.dir / "Config/Tarvelo.ini").find("Hall_Hall_Lights_Hall_Path=19:HallAccent;Activate;;Deactivate"),
              std::string::npos);
    Gateway& g = rig.start();
    EXPECT_EQ(ByUID(g, "UPB2A_M0B_C01_01")->OnLink, "19");
    g.RequestExit();
}
