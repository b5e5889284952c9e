// tarvelo-xap against the real hub, gateway and PIM simulator, on loopback,
// with the demo installation: a light switched from a terminal, its event
// seen by a watching tarvelo-xap, and the demo's components listed.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include <QSysInfo>

#include "e2e/PimSimProcess.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The line of `text` that holds `needle`, "" when none does.
std::string LineWith(const std::string& text, const std::string& needle) {
    const size_t at = text.find(needle);
    if (at == std::string::npos) return "";
    const size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// The gateway's xAP instance is the host name without its domain.
std::string Host() {
    std::string name = QSysInfo::machineHostName().toStdString();
    return name.substr(0, name.find('.'));
}

} // namespace

TEST(XapToolProcess, HelpListsEveryCommandAndBadArgumentsAreAUsageError) {
    E2eApp();
    std::string out, err;
    EXPECT_EQ(RunToEnd(Binary("tarvelo-xap"), {"--help"}, &out), 0);
    for (const char* listed : {"watch [--class PATTERN] [--source PATTERN] [--brief]", "send [--target T] --class C",
                               "bsc on|off|toggle TARGET", "bsc level N TARGET", "bsc query TARGET", "--port N",
                               "--to ADDR", "--wait S"})
        EXPECT_NE(out.find(listed), std::string::npos) << listed;

    EXPECT_EQ(RunToEnd(Binary("tarvelo-xap"), {}, &out, &err), 2);
    EXPECT_EQ(RunToEnd(Binary("tarvelo-xap"), {"bsc", "dim", "zantu.UPB.*:>"}, &out, &err), 2);
    EXPECT_NE(err.find("unknown bsc action 'dim'"), std::string::npos) << err;
    EXPECT_NE(err.find("try --help"), std::string::npos);
    EXPECT_EQ(RunToEnd(Binary("tarvelo-xap"), {"send", "--class", "xAPBSC.cmd", "State=on"}, &out, &err), 2);
    EXPECT_NE(err.find("before any SECTION"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());
}

TEST(XapToolProcess, SwitchesADemoLightThatAWatcherSeesAndListsTheDemo) {
    E2eApp();
    TempDir base;
    fs::copy(fs::path(TARVELO_SOURCE_DIR) / "data" / "demo", base.path(), fs::copy_options::recursive);

    PimSim pim;
    ASSERT_TRUE(pim.startTcp((base / "Data" / "Tarvelo" / "Tarvelo.upe").string(), {"--rain8", "9"}));
    const fs::path ini = base / "Config" / "Tarvelo.ini";
    WriteFile(ini, Replaced(ReadFile(ini), "UPBCommPort=2101", "UPBCommPort=" + std::to_string(pim.port())));

    QProcess hubProcess;
    hubProcess.start(Binary("tarvelo-hub"), {"--port", "0"});
    std::string hubOut, hubLog;
    ASSERT_TRUE(WaitForStdout(hubProcess, "\n", hubOut));
    const quint16 hubPort = ListeningPort(hubOut);
    ASSERT_NE(hubPort, 0) << hubOut;
    const QString hub = QString::number(hubPort);
    QProcess gateway;
    gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless", "--xap-port", hub});
    // It answers xAP while it still polls the demo's modules (about a minute).
    ASSERT_TRUE(WaitForStderr(hubProcess, "client joined: zantu.UPB.", hubLog, 60000)) << hubLog;

    QProcess watch;
    watch.start(Binary("tarvelo-xap"), {"watch", "--brief", "--hub", hub});
    std::string watchErr, watched;
    ASSERT_TRUE(WaitForStderr(watch, "joined the hub", watchErr));

    // The Hall Path component (no X10 address, so the gateway reports it as a BSC event).
    std::string out, err;
    ASSERT_EQ(RunToEnd(Binary("tarvelo-xap"),
                       {"bsc", "on", "zantu.UPB.*:tarvelo_hall_hall_lights_hall_path", "--port", hub}, &out, &err),
              0)
        << err;
    EXPECT_NE(out.find("sent State=on to zantu.UPB.*:tarvelo_hall_hall_lights_hall_path"), std::string::npos) << out;
    EXPECT_TRUE(pim.waitFor("level 11 1 100", 1, 60000)) << pim.output();
    EXPECT_TRUE(WaitForStdout(watch, "Tarvelo_Hall_Hall_Lights_Hall_Path.UPB2A_M0B_C01_01.light  xapbsc.event  state=ON",
                              watched))
        << watched;
    EXPECT_NE(watched.find("  xAPBSC.cmd  State=on\n"), std::string::npos) << watched;  // the command itself, too

    ASSERT_EQ(RunToEnd(Binary("tarvelo-xap"), {"bsc", "query", "zantu.UPB.*:>", "--port", hub, "--wait", "10"}, &out, &err, 120000), 0)
        << err;
    // SOURCE, UID, IO, STATE of a few of the demo's components.
    const std::vector<std::vector<std::string>> rows = {
        {"zantu.UPB.vm:tarvelo_hall_hall_lights_hall_path.upb2a_m0b_c01_01.light", "FF.0002:0B02", "out", "ON"},
        {"zantu.UPB.vm:tarvelo_porch_porch_light_porch_light.upb2a_m0e_c01_01.light", "FF.0002:0E02", "out"},
        {"zantu.UPB.vm:tarvelo_living_room_floor_lamp.upb2a_m14_c01_00.relay", "FF.0002:1401", "out"},
        {"zantu.UPB.vm:tarvelo_basement_pump_controller_garage_door_open.upb2a_m1e_c01_03.switch", "FF.0002:1E03", "in"},
        {"zantu.UPB.vm:tarvelo_global_scene_evening.upb2a_m00_c02_02.index", "FF.0002:0002", "out"},
    };
    for (auto row : rows) {
        row[0] = Replaced(row[0], "zantu.UPB.vm:", "zantu.UPB." + Host() + ":");
        const std::vector<std::string> columns = Columns(LineWith(out, row[0]));
        ASSERT_GE(columns.size(), row.size()) << row[0] << "\n" << out;
        EXPECT_EQ(std::vector<std::string>(columns.begin(), columns.begin() + static_cast<long>(row.size())), row) << out;
    }
    EXPECT_EQ(out.rfind("SOURCE ", 0), 0u) << out;

    // Ctrl-C ends the watcher, and its stop heartbeat takes it off the hub at once.
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
    EXPECT_TRUE(WaitForStderr(hubProcess, "client left: tarvelo.xap.", hubLog));
    EXPECT_NE(hubLog.find("(stopped)"), std::string::npos) << hubLog;

    ::kill(static_cast<pid_t>(gateway.processId()), SIGTERM);
    ASSERT_TRUE(gateway.waitForFinished(10000));
    hubProcess.terminate();
    hubProcess.waitForFinished(5000);
}
