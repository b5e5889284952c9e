// The user's main script in the whole gateway, in virtual time: state changes
// and captured devices run "Main" with their tag, the periodic timer runs it
// with the empty tag, a script that never ends is stopped while the gateway
// goes on working, and a script that does not compile says where.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Text.h"
#include "support/ScriptGateway.h"

using namespace tarvelo;
using tarvelo::testing::ScriptGateway;

TEST(ScriptScenario, NotifyingStateChangeRunsMainWithTheTag) {
    ScriptGateway g(
        "Sub Main(tag)\n"
        "  Dim ev : Set ev = Request(\"LastEvent\")\n"
        "  xap.WriteLog \"seen\", tag & \" event=\" & (Not ev Is Nothing) & \" seq=\" & Sequence(tag)\n"
        "  If tag = \"Lamp\" Then SendXapMessage \"\", \"Demo.Event\", \"lamp\", \"state\" & Chr(1) & \"on\", \"\", \"\", \"\"\n"
        "End Sub\n");
    g.Start();
    g.CommandLampOn();
    try {
        g.platform.runUntil([&] { return !g.Logged("seen").empty(); }, 10000);
    } catch (...) {
        for (auto& e : g.log) ADD_FAILURE() << e.type << " " << e.data;
    }
    EXPECT_EQ(g.Logged("seen"), std::vector<std::string>{"Lamp event=True seq=1"});
    EXPECT_FALSE(g.platform.udp.sentTo(3639, "class=Demo.Event").empty());
    // Outside "Main" there is no current event.
    g.Exec("xap.WriteLog \"outside\", (Request(\"lastevent\") Is Nothing)");
    EXPECT_EQ(g.Logged("outside"), std::vector<std::string>{"True"});
    EXPECT_EQ(g.gateway->triggers().currentEvent(), nullptr);
}

TEST(ScriptScenario, EventsQueuedOneMillisecondApartRunInOrderInOneTick) {
    ScriptGateway g("Sub Main(tag)\n  xap.WriteLog \"main\", tag\nEnd Sub\n");
    g.Start();
    auto device = [](const std::string& tag) {
        auto d = std::make_shared<xap::DeviceClass>();
        d->Tag = tag;
        return d;
    };
    g.mains.clear();
    g.gateway->triggers().QueueScriptEvent(device("First"));
    g.platform.advance(1);
    g.gateway->triggers().QueueScriptEvent(device("Second"));
    g.platform.advance(100);
    ASSERT_EQ(g.Logged("main"), (std::vector<std::string>{"First", "Second"}));
    ASSERT_EQ(g.mains.size(), 2u);
    EXPECT_EQ(g.mains[0].second, g.mains[1].second) << "both ran in the same tick";
}

TEST(ScriptScenario, PeriodicTimerRunsMainWithTheEmptyTag) {
    for (int period : {90, 120}) {
        SCOPED_TRACE(period);
        ScriptGateway g("Sub Main(tag)\n  If tag = \"\" Then xap.WriteLog \"tick\", \"\"\nEnd Sub\n",
                        "PeriodicScriptInterval=" + std::to_string(period) + "\r\n");
        ASSERT_TRUE(g.gateway->Start());
        const int64_t armed = g.platform.now();
        g.mains.clear();
        g.platform.advance(4 * period * 1000 + 500);
        ASSERT_EQ(g.mains.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(g.mains[i].first, "");
            // The queue tick runs 5 ms after the period's event.
            EXPECT_EQ(g.mains[i].second - armed, static_cast<int64_t>(i + 1) * period * 1000 + 5) << i;
        }
        EXPECT_EQ(g.Logged("tick").size(), 4u);
    }
}

TEST(ScriptScenario, EndlessScriptIsStoppedAndTheGatewayGoesOn) {
    ScriptGateway g(
        "Sub Main(tag)\n"
        "  If tag = \"Lounge\" Then\n"
        "    Do\n"
        "    Loop\n"
        "  End If\n"
        "  xap.WriteLog \"main\", tag\n"
        "End Sub\n");
    g.Start();
    g.platform.busyMsPerClockRead = 1;
    const int64_t before = g.platform.now();
    g.LoungeSays("hot");
    g.platform.runUntil([&] { return !g.LoggedStartingWith("Script Run Error").empty(); }, 200000);
    g.platform.busyMsPerClockRead = 0;
    const auto errors = g.LoggedStartingWith("Script Run Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("/ 4096 - "), std::string::npos) << errors[0];
    EXPECT_GE(g.platform.now() - before, 90000);

    // PIM and xAP traffic are handled as before, and "Main" runs again.
    g.CommandLampOn();
    g.platform.runUntil([&] { return !g.platform.udp.sentTo(3639, "xapbsc.event").empty(); }, 10000);
    EXPECT_FALSE(g.net.pim.frames.empty());
    g.platform.advance(100);
    EXPECT_EQ(g.Logged("main"), std::vector<std::string>{"Lamp"});
}

TEST(ScriptScenario, SyntaxErrorIsLoggedOnceWithLineAndColumn) {
    ScriptGateway g("Sub Main(tag)\n  xap.WriteLog \"main\", tag\nEnd Sub\n\nSub Broken()\n  If Then\nEnd Sub\n");
    g.Start();
    const auto errors = g.LoggedStartingWith("Error in script syntax");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0],
              "Error in script syntax Expected expression / Tarvelo.txt Expected expression@ Line 6 col 6");
    // A piece that does not compile adds nothing: "Main" does not exist.
    g.CommandLampOn();
    g.platform.advance(2000);
    EXPECT_TRUE(g.Logged("main").empty());
}

// The shipped demo's script loads without errors and its periodic part runs
// every PeriodicScriptInterval (900 s).
TEST(ScriptScenario, DemoScriptRunsPeriodically) {
    tarvelo::testing::TempDir dir;
    std::filesystem::copy(std::filesystem::path(TARVELO_SOURCE_DIR) / "data" / "demo", dir.path(),
                          std::filesystem::copy_options::recursive);
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    net.pim.answerLikeAPim();
    const auto ini = dir / "Config/Tarvelo.ini";
    tarvelo::testing::WriteFile(ini, Replace(tarvelo::testing::ReadFile(ini), "SerialIP=127.0.0.1", "SerialIP=192.168.1.50"));
    std::vector<app::LogEntry> log;
    app::Paths paths;
    paths.base = dir.path();
    Gateway g(platform, paths,
              Gateway::Options{.mirrorLog = false, .onLogEntry = [&](const app::LogEntry& e) { log.push_back(e); }});
    ASSERT_TRUE(g.Start());
    platform.advance(2 * 900 * 1000 + 100);
    std::vector<std::string> demo, errors;
    for (const auto& e : log) {
        if (e.type == "Demo" && e.data.rfind("Porch light unchanged for ", 0) == 0) demo.push_back(e.data);
        if (e.data.find("Error in script syntax") != std::string::npos || e.data.find("Script Run Error") != std::string::npos)
            errors.push_back(e.data);
    }
    EXPECT_EQ(demo.size(), 2u);
    EXPECT_TRUE(errors.empty()) << errors.front();
}
