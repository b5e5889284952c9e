// The user's scripts with the real processes: the demo's main script reacts
// to a wall switch of the PIM simulator (its message reaches an xAP client
// through the hub), and scripts run by tarvelo-vbs call into the running
// gateway through its local socket.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "e2e/PimSimProcess.h"
#include "e2e/XapPeer.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

namespace {

std::string Heartbeat(quint16 port) {
    return "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=xap-hbeat.alive\nsource=acme.watch.e2e\n"
           "interval=60\nport=" + std::to_string(port) + "\n}\n";
}

// The demo installation, its script included, with the simulator's port and a
// free web port; the gateway's xAP traffic goes through a hub of its own.
class ScriptHost : public ::testing::Test {
protected:
    void SetUp() override {
        E2eApp();
        fs::copy(fs::path(TARVELO_SOURCE_DIR) / "data" / "demo", base.path(), fs::copy_options::recursive);
        ASSERT_TRUE(pim.startTcp((base / "Data/Tarvelo/Tarvelo.upe").string(), {"--rain8", "9"}));
        std::string ini = ReadFile(base / "Config/Tarvelo.ini");
        ini.replace(ini.find("UPBCommPort=2101"), 16, "UPBCommPort=" + std::to_string(pim.port()));
        ini.replace(ini.find("HTTPPort=8016"), 13, "HTTPPort=0");
        WriteFile(base / "Config/Tarvelo.ini", ini);

        hub.start(Binary("tarvelo-hub"), {"--port", "0", "--state", QString::fromStdString((base / "hub.state").string())});
        std::string out;
        ASSERT_TRUE(WaitForStdout(hub, "\n", out));
        hubPort = ListeningPort(out);
        ASSERT_NE(hubPort, 0) << out;
        watcher = std::make_unique<XapPeer>(QHostAddress::LocalHost);
        ASSERT_TRUE(watcher->bound());
        watcher->sendTo(hubPort, Heartbeat(watcher->port()));
        std::string hubLog;
        ASSERT_TRUE(WaitForStderr(hub, "client joined: acme.watch.e2e", hubLog));
    }
    void TearDown() override {
        for (QProcess* p : {&gateway, &hub}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(30000)) p->kill();
            p->waitForFinished();
        }
    }
    ::testing::AssertionResult startGateway() {
        gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless",
                                          "--xap-port", QString::number(hubPort)});
        // Scripts run, and other handlers, during the start-up polls of the
        // demo's many modules: the PIM being open is enough.
        return WaitForStderr(gateway, "UPB PIM Comm Port " + std::to_string(pim.port()) + " Opened", log, 60000);
    }
    ::testing::AssertionResult waitLogged(const std::string& text, int timeoutMs = 30000) {
        return WaitForStderr(gateway, text, log, timeoutMs);
    }
    // Runs a script with tarvelo-vbs from the base folder's Scripts folder.
    int runScript(const std::string& name, const std::string& code, std::string& out, std::string& err) {
        WriteFile(base / "Scripts" / name, code);
        return RunToEnd(Binary("tarvelo-vbs"), {QString::fromStdString((base / "Scripts" / name).string())}, &out,
                        &err, 60000);
    }

    TempDir base;
    PimSim pim;
    QProcess hub;
    quint16 hubPort = 0;
    std::unique_ptr<XapPeer> watcher;
    QProcess gateway;
    std::string log;
};

} // namespace

TEST_F(ScriptHost, DemoScriptReactsToAWallSwitch) {
    ASSERT_TRUE(startGateway()) << log;
    // The Entry Keypad (device 1) sends link 6; the Porch Light follows it.
    pim.command("press 1 6");
    ASSERT_TRUE(watcher->waitFor({"class=Tarvelo.Demo", "porch\n{\nstate=on\nlevel=100\n}"})) << log;
    EXPECT_TRUE(waitLogged("Demo Porch light is on (level 100, change ")) << log;
    EXPECT_EQ(log.find("Error in script syntax"), std::string::npos) << log;
    EXPECT_EQ(log.find("Script Run Error"), std::string::npos) << log;
}

TEST_F(ScriptHost, ScriptInAnotherProcessCallsTheGateway) {
    ASSERT_TRUE(startGateway()) << log;
    // The start-up polls have the powerline to themselves until they end.
    ASSERT_TRUE(waitLogged("running from", 180000)) << log;
    // Only the gateway's user may connect.
    const fs::perms perms = fs::status(base / "Data/Tarvelo.sock").permissions();
    EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);

    std::string out, err;
    const int rc = runScript("remote.vbs",
                             "Set app = CreateObject(\"Tarvelo.Application\")\n"
                             "WScript.Echo app.Version\n"
                             "app.WriteLog \"Remote\", \"hello from \" & WScript.ScriptName\n"
                             "app.Response \"Hall_Lights\", \"on\"\n"
                             "On Error Resume Next\n"
                             "Set m = app.GetXapMessage(7)\n"
                             "WScript.Echo \"error \" & Err.Number\n",
                             out, err);
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(out, "1.6.174\nerror 9\n") << err;
    EXPECT_TRUE(waitLogged("Remote hello from remote.vbs")) << log;
    // The hall lights' command reaches the powerline, and their new state the LAN.
    EXPECT_TRUE(watcher->waitFor({"class=xapbsc.event", "Hall_Lights", "state=ON"})) << log;
}

TEST_F(ScriptHost, WithoutAGatewayCreateObjectFailsWith429) {
    std::string out, err;
    const int rc = runScript("alone.vbs", "Set app = CreateObject(\"Tarvelo.Application\")\nWScript.Echo \"reached\"\n",
                             out, err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("no running gateway answers at " + (base / "Data/Tarvelo.sock").string()), std::string::npos)
        << err;
    EXPECT_NE(err.find("(error 429)"), std::string::npos) << err;
}

// Spawn writes a job file and runs it in a tarvelo-vbs of its own, which
// calls back into the gateway.
TEST_F(ScriptHost, SpawnedJobSwitchesALight) {
    std::string help;
    RunToEnd(Binary("tarvelo-vbs"), {"--help"}, &help);
    if (help.find(".wsf") == std::string::npos) GTEST_SKIP() << "this tarvelo-vbs does not run .wsf job files yet";
    const std::string job = "Sub SwitchOn(tag)\n  xap.Response tag, \"on\"\n  xap.WriteLog \"Job\", \"switched \" & tag\nEnd Sub\n";
    // Kept where scripts are; the job names it "..\lights.txt", and the runner
    // takes the file beside the job when there is none there.
    WriteFile(base / "Scripts/lights.txt", job);
    ASSERT_TRUE(startGateway()) << log;
    ASSERT_TRUE(waitLogged("running from", 180000)) << log;
    std::string out, err;
    EXPECT_EQ(runScript("start.vbs",
                        "Set app = CreateObject(\"Tarvelo.Application\")\n"
                        "app.Spawn \"lights.txt\", \"SwitchOn\", \"Hall_Lights\"\n",
                        out, err),
              0)
        << err;
    EXPECT_TRUE(waitLogged("Job switched Hall_Lights", 60000)) << log;
    EXPECT_TRUE(watcher->waitFor({"class=xapbsc.event", "Hall_Lights", "state=ON"})) << log;
    EXPECT_TRUE(fs::exists(base / "Scripts/lights~.wsf"));
}
