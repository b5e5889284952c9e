// The demo installation in a whole gateway on virtual time: start-up builds
// and decorates the model, traffic changes it, shut-down saves the records,
// and the next start finds everything as it was left.
#include <gtest/gtest.h>

#include <sstream>

#include "common/Text.h"
#include "gateway/Check.h"
#include "gateway/Gateway.h"
#include "model/StateRecords.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

struct DemoRig {
    tarvelo::testing::TempDir dir;
    sim::SimPlatform platform;
    std::unique_ptr<Gateway> gateway;
    std::vector<app::LogEntry> log;

    DemoRig() {
        fs::copy(fs::path(TARVELO_SOURCE_DIR) / "data" / "demo", dir.path(), fs::copy_options::recursive);
        // No PIM in these scenarios.
        const fs::path ini = dir / "Config/Tarvelo.ini";
        std::string text = Replace(tarvelo::testing::ReadFile(ini), "SerialIP=127.0.0.1\r\n", "SerialIP=\r\n");
        tarvelo::testing::WriteFile(ini, Replace(text, "UPBCommPort=2101\r\n", "UPBCommPort=\r\n"));
    }
    app::Paths paths() const {
        app::Paths p;
        p.base = dir.path();
        return p;
    }
    Gateway& start() {
        gateway = std::make_unique<Gateway>(
            platform, paths(),
            Gateway::Options{.mirrorLog = false, .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); }});
        EXPECT_TRUE(gateway->Start());
        return *gateway;
    }
    // Everything logged but the interface's transmission failures (these
    // scenarios have no PIM).
    std::vector<std::string> modelProblems() const {
        std::vector<std::string> out;
        for (auto& e : log)
            if (e.data.rfind("Unable to Send", 0) != 0 && e.data.rfind("Using xAP port", 0) != 0 &&
                e.data.rfind("Web server ", 0) != 0)
                out.push_back(e.data);
        return out;
    }
    std::shared_ptr<model::UPBLinkState> state(const std::string& id, size_t ch, size_t n) {
        return (*gateway->network().UPBModules.find(id))->Channel(ch)->LinkCollection.at(n - 1);
    }
};

TEST(ModelScenario, RecordsSurviveARestartAndDelayTimersComeBack) {
    DemoRig r;
    Gateway& g = r.start();
    auto& tracker = g.installation().tracker();

    // Link 5 (Hall Path) activated from a wall switch: the used states of module 11 follow.
    tracker.UPBReceive("89052A051120FFFF00");
    EXPECT_EQ(r.state("11", 1, 1)->Value, 100);
    // The garage door input of the pump controller (mask 512) opens; its 90 s delay holds it on.
    tracker.UPBReceive("08002AFF1E86020000");
    r.platform.advance(10000);
    tracker.UPBReceive("08002AFF1E86000000");
    EXPECT_EQ(r.state("30", 1, 3)->Value, 1);
    r.state("14", 1, 1)->Tag = "Front Porch";  // as typed on the status page
    const int32_t sequence = g.network().StateSequence;
    const std::string hallBefore = model::FormatStateRecord(*r.state("11", 1, 1));

    g.RequestExit();
    EXPECT_TRUE(r.modelProblems().empty()) << r.modelProblems()[0];

    // The next start, on the same folder.
    r.log.clear();
    Gateway& again = r.start();
    EXPECT_EQ(model::FormatStateRecord(*r.state("11", 1, 1)), hallBefore);
    EXPECT_EQ(r.state("11", 1, 1)->Value, 100);
    EXPECT_EQ(r.state("30", 1, 3)->Value, 1);
    EXPECT_EQ(r.state("30", 1, 3)->Timerindex, 3);
    EXPECT_EQ(r.state("14", 1, 1)->Tag, "Front Porch");
    // Timer-bearing states: three kept plus none new (all kind 5 states had records).
    EXPECT_EQ(again.installation().tracker().delayTimerCount(), 3u);
    // The sequence counter starts afresh at each start; the records do not carry it.
    EXPECT_LT(again.network().StateSequence, sequence);
    EXPECT_TRUE(r.modelProblems().empty()) << r.modelProblems()[0];
}

TEST(ModelScenario, CheckReportsTheDemoWithoutProblems) {
    DemoRig r;
    std::ostringstream out;
    EXPECT_EQ(RunCheck(r.platform, r.paths(), out), 0) << out.str();
    const std::string text = out.str();
    for (const char* line : {"Network id: 42\n", "Modules: 36\n", "  Keypad (1): 3\n", "  Switch (2): 8\n",
                             "  kind 10: 1\n", "Channels: 32\n", "Components: 47 (tracked 35)\n",
                             "Links: 20 (shared 6, one module 8, unused 6)\n", "Scene states: 6\n",
                             "Rain8 valves: 8\n", "State records restored: 10\n", "Delay-off timers: 3\n",
                             "Link-map entries applied: 4\n", "X10 addresses: 4\n", "Problems: 0\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(ModelScenario, CheckListsEveryProblemAndFails) {
    DemoRig r;
    const fs::path upe = r.dir / "Data/Tarvelo/Tarvelo.upe";
    std::string text = tarvelo::testing::ReadFile(upe);
    // A device whose module id is taken, and a broken state record.
    text = Replace(text, "3,53,42,", "3,52,42,");
    tarvelo::testing::WriteFile(upe, text);
    const fs::path ini = r.dir / "Config/Tarvelo.ini";
    tarvelo::testing::WriteFile(ini, Replace(tarvelo::testing::ReadFile(ini), "06:45:00;100;", "06:45:00;100000;"));
    std::ostringstream out;
    EXPECT_EQ(RunCheck(r.platform, r.paths(), out), 1);
    EXPECT_NE(out.str().find("Problems: 2\n  Tarvelo: ReadUPS Line "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  Tarvelo: ReadLastChange Line "), std::string::npos) << out.str();

    fs::remove(upe);
    std::ostringstream missing;
    EXPECT_EQ(RunCheck(r.platform, r.paths(), missing), 1);
    EXPECT_NE(missing.str().find("UPStartExport not found at " + upe.string()), std::string::npos);
}

} // namespace
