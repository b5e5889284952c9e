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
