#include <gtest/gtest.h>

#include "gateway/Gateway.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

using namespace tarvelo;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

struct Rig {
    TempDir dir;
    sim::SimPlatform platform;
    std::unique_ptr<Gateway> gateway;
    std::vector<app::LogEntry> log;

    Gateway& make() {
        app::Paths paths;
        paths.base = dir.path();
        gateway = std::make_unique<Gateway>(
            platform, paths,
            Gateway::Options{.mirrorLog = false, .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); }});
        return *gateway;
    }
    bool logged(const std::string& type, const std::string& data) const {
        for (auto& e : log)
            if (e.type == type && e.data == data) return true;
        return false;
    }
};

} // namespace

TEST(GatewayStartup, RunsItsStepsInOrderAndCreatesTheFolders) {
    Rig r;
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(g.initialised());
    EXPECT_TRUE(fs::is_directory(r.dir / "Config"));
    EXPECT_TRUE(fs::is_directory(r.dir / "Data"));
    // A missing settings file is created empty; every setting takes its default.
    EXPECT_TRUE(fs::exists(r.dir / "Config" / "Tarvelo.ini"));
    EXPECT_TRUE(fs::exists(r.dir / "Config" / "zantuXap.ini"));
    EXPECT_EQ(g.settings().StyleSheet, "StyleNoBody.css");
    EXPECT_EQ(g.programUID(), "FF.0002:00");
    EXPECT_EQ(g.computerName(), "TESTBOX");
}

TEST(GatewayStartup, ShutDownRunsOnceInOrderAndWritesChangedSettings) {
    Rig r;
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    g.ini().SaveIniSetting("UPB", "Marker", "kept", "Tarvelo.ini");
    g.RequestExit();
    EXPECT_TRUE(g.closing());
    EXPECT_EQ(ReadFile(r.dir / "Config" / "Tarvelo.ini"), "[UPB]\r\nMarker=kept\r\n");
    g.ini().SaveIniSetting("UPB", "Marker", "later", "Tarvelo.ini");
    g.Shutdown();
    EXPECT_EQ(ReadFile(r.dir / "Config" / "Tarvelo.ini"), "[UPB]\r\nMarker=kept\r\n");
}

TEST(GatewayStartup, PeriodicScriptTimerFollowsTheSetting) {
    for (const auto& [setting, interval] : {std::pair<const char*, int>{"90", 30000}, {"often", 0}}) {
        Rig r;
        WriteFile(r.dir / "Config" / "Tarvelo.ini", std::string("[UPB]\r\nPeriodicScriptInterval=") + setting + "\r\n");
        Gateway& g = r.make();
        ASSERT_TRUE(g.Start());
        // Off, or on with the first interval.
        EXPECT_EQ(g.periodicScriptTimer().enabled() ? g.periodicScriptTimer().interval() : 0, interval) << setting;
    }
}

TEST(GatewayStartup, AGarbledSettingsFileStillStartsAndIsNotLost) {
    Rig r;
    const std::string garbled = std::string("[UPB]\r\nnonsense line\r\n\x01\x02\xff\r\nShowReceiveMessages=true\r\n");
    WriteFile(r.dir / "Config" / "Tarvelo.ini", garbled);
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(g.settings().ShowReceiveMessages);
    EXPECT_TRUE(r.logged("IniTool", " Equal sign not found on line nonsense line"));
    g.Shutdown();
    // Nothing changed, so nothing was rewritten.
    EXPECT_EQ(ReadFile(r.dir / "Config" / "Tarvelo.ini"), garbled);
}

// Entries written before the transport was up go out first, in order, then
// the port line and the time query.
TEST(GatewayStartup, HeldLogEntriesGoOutOverXapFirst) {
    Rig r;
    WriteFile(r.dir / "Config" / "Tarvelo.ini", "[UPB]\r\nDebugLog=true\r\n");
    r.log.clear();
    Gateway& g = r.make();
    g.log().WriteLog("Tarvelo", "before the transport");
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(g.log().held().empty());
    const std::vector<std::string> sent = r.platform.udp.sentTo(3639);
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[0].rfind("xap-hbeat\n", 0), 0u);
    EXPECT_NE(sent[1].find("Data=before the transport\n"), std::string::npos);
    EXPECT_NE(sent[2].find("Data=Using xAP port 32768\n"), std::string::npos);
    EXPECT_NE(sent[3].find("class=time.query\n"), std::string::npos);
    EXPECT_NE(sent.back().find("Data=Internal Timer Started\n"), std::string::npos);
}

// No loopback port free: the text log gets the line and the program ends.
TEST(GatewayStartup, NoFreeXapPortEndsTheProgram) {
    Rig r;
    for (int p = 32768; p < 32968; ++p) r.platform.udp.taken.push_back({"127.0.0.1", static_cast<uint16_t>(p)});
    Gateway& g = r.make();
    EXPECT_FALSE(g.Start());
    EXPECT_NE(ReadFile(r.dir / "Data" / "Tarvelo.txt").find("Tarvelo xAP Init Error -1 occurred"), std::string::npos);
    EXPECT_FALSE(g.initialised());
}
