// The real gateway with the real PIM simulator: over loopback TCP (also
// through a simulator restart) and over pseudo-terminals.
#include <gtest/gtest.h>

#include <QFile>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "e2e/PimSimProcess.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

namespace {

// Module 7's own state marked as used, so that it follows link 2.
const char* kUsedDeskLamp = "UPB01_M07_C01_01=2026-12-05 22:14:09;0;False;True;;Desk;False;;\n";

// CPU seconds a process has used so far.
double CpuSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i == 14 || i == 15) ticks += std::stod(f);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void Pause(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QThread::msleep(20);
}

class PimGateway : public ::testing::Test {
protected:
    void SetUp() override {
        E2eApp();
        WriteFile(base / "Data" / "Tarvelo" / "Tarvelo.upe", kSmallExport);
    }
    void TearDown() override { stopGateway(); }

    std::string exportFile() const { return (base / "Data" / "Tarvelo" / "Tarvelo.upe").string(); }
    void settings(const std::string& port, const std::string& bridge) {
        WriteFile(base / "Config" / "Tarvelo.ini",
                  "[UPB]\nUPBCommPort=" + port + "\nSerialIP=" + bridge + "\n" + kUsedDeskLamp);
    }
    bool startGateway() {
        gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless"});
        return gateway.waitForStarted() && WaitForStderr(gateway, "running from", log, 60000);
    }
    // An orderly stop: exit code 0 after the shut-down steps (the saved
    // records show that they ran).
    void stopGateway(int signal = SIGTERM) {
        if (gateway.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(gateway.processId()), signal);
        if (!gateway.waitForFinished(10000)) gateway.kill();
        gateway.waitForFinished();
        log += gateway.readAllStandardError().toStdString();
        EXPECT_EQ(gateway.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(gateway.exitCode(), 0);
    }
    int logged(const std::string& text) {
        // QProcess reads the pipe only when asked.
        while (gateway.state() != QProcess::NotRunning && gateway.waitForReadyRead(100))
            log += gateway.readAllStandardError().toStdString();
        log += gateway.readAllStandardError().toStdString();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    // The value field of a saved state record.
    std::string savedValue(const std::string& uid) {
        const std::string ini = ReadFile(base / "Config" / "Tarvelo.ini");
        const size_t at = ini.find(uid + "=");
        if (at == std::string::npos) return "(none)";
        const size_t first = ini.find(';', at), second = ini.find(';', first + 1);
        return ini.substr(first + 1, second - first - 1);
    }
    // The ceiling dimmer is set by hand before the gateway starts; start-up
    // writes the options register and polls each device once; a wall switch
    // of the desk lamp sends link 2. The saved records show both levels.
    void runADay(PimSim& pim, const std::string& port, const std::string& bridge, int stopSignal = SIGTERM) {
        pim.command("set 5 1 40");
        settings(port, bridge);
        ASSERT_TRUE(startGateway()) << log;
        EXPECT_EQ(logged("Tarvelo UPB PIM Comm Port " + port + " Opened"), 1) << log;
        ASSERT_TRUE(pim.waitFor("host <14>07100107FF30"));
        EXPECT_EQ(pim.occurrences("register 70 = 03"), 1);
        for (const char* poll : {"host <14>07100105FF30B4", "host <14>0710010CFF30", "host <14>07100107FF30"})
            EXPECT_EQ(pim.occurrences(poll), 1) << poll;
        EXPECT_EQ(pim.occurrences("host "), 4);
        pim.command("press 7 2");
        ASSERT_TRUE(pim.waitFor("pim PU8905010207", 1));
        Pause(300);
        stopGateway(stopSignal);
        EXPECT_EQ(savedValue("UPB01_M05_C01_00"), "40");   // from the start-up poll
        EXPECT_EQ(savedValue("UPB01_M07_C01_01"), "100");  // from the switch press
        EXPECT_EQ(logged("Unable to Send"), 0) << log;
    }

    TempDir base;
    QProcess gateway;
    std::string log;
};

TEST_F(PimGateway, OverLoopbackTcpItConnectsWritesTheOptionsPollsAndFollowsTheLine) {
    const quint16 port = FreePort();
    PimSim pim;
    ASSERT_TRUE(pim.startTcp(port, exportFile()));
    runADay(pim, std::to_string(port), "127.0.0.1");
}

TEST_F(PimGateway, ItKeepsTheConnectionThroughASimulatorRestart) {
    const quint16 port = FreePort();
    auto pim = std::make_unique<PimSim>();
    ASSERT_TRUE(pim->startTcp(port, exportFile()));
    settings(std::to_string(port), "127.0.0.1");
    ASSERT_TRUE(startGateway()) << log;
    ASSERT_TRUE(pim->waitFor("host <14>07100107FF30"));

    pim->stop();
    pim.reset();
    const double cpuBefore = CpuSeconds(gateway.processId());
    Pause(3000);
    const double cpuDuring = CpuSeconds(gateway.processId()) - cpuBefore;
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1) << log;
    const int refused = logged("UPB PIM Winsock1_Error at State 9, 10061");
    EXPECT_GE(refused, 1) << log;
    EXPECT_LE(refused, 3) << log;  // one a connect tick, every 2 s
    EXPECT_LT(cpuDuring, 0.5);      // waiting, not spinning

    // The PIM comes back (a real one keeps its registers: message mode is on).
    PimSim again;
    ASSERT_TRUE(again.startTcp(port, exportFile(), {"--message-mode"}));
    ASSERT_TRUE(again.waitFor("connected", 1, 15000));
    again.command("press 7 2");
    ASSERT_TRUE(again.waitFor("pim PU8905010207", 1));
    Pause(300);
    stopGateway();
    EXPECT_EQ(savedValue("UPB01_M07_C01_01"), "100");
    EXPECT_EQ(logged("UPB PIM IP Connection Closed"), 1) << log << again.output();
    EXPECT_EQ(logged("Unable to connect to UPB PIM via TCP"), 0) << log;
}

TEST_F(PimGateway, OverAPseudoTerminalPairMadeBySocat) {
    if (::access("/usr/bin/socat", X_OK) != 0) GTEST_SKIP() << "socat is not installed";
    const std::string gatewayEnd = (base / "gw-tty").string(), pimEnd = (base / "pim-tty").string();
    QProcess socat;
    socat.start("/usr/bin/socat", {QString::fromStdString("pty,raw,echo=0,link=" + gatewayEnd),
                                   QString::fromStdString("pty,raw,echo=0,link=" + pimEnd)});
    ASSERT_TRUE(socat.waitForStarted());
    for (int i = 0; i < 100 && !(fs::exists(gatewayEnd) && fs::exists(pimEnd)); ++i) Pause(50);
    ASSERT_TRUE(fs::exists(gatewayEnd) && fs::exists(pimEnd));

    PimSim pim;
    ASSERT_TRUE(pim.start(
        {"--serial", QString::fromStdString(pimEnd), "--export", QString::fromStdString(exportFile()), "--fast"}));
    runADay(pim, gatewayEnd, "");
    socat.terminate();
    socat.waitForFinished(3000);
}

TEST_F(PimGateway, OverTheSimulatorsOwnPseudoTerminal) {
    const std::string link = (base / "pim-pty").string();
    PimSim pim;
    ASSERT_TRUE(pim.start({"--pty", "--pty-link", QString::fromStdString(link), "--export",
                           QString::fromStdString(exportFile()), "--fast"}));
    EXPECT_EQ(pim.output().rfind("pty /dev/", 0), 0u) << pim.output();
    runADay(pim, link, "", SIGINT);
}

} // namespace
