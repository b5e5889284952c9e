// The real gateway with the real PIM simulator: over loopback TCP (also
// through a simulator restart) and over pseudo-terminals.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "e2e/PimSimProcess.h"
#include "e2e/XapPeer.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

namespace {

// Module 7's own state marked as used, so that it follows link 2 and its
// changes go out as xAP events.
const char* kUsedDeskLamp = "UPB01_M07_C01_00=2026-12-05 22:14:09;0;False;True;;Desk;False;;\n";

// Holds a loopback TCP port without listening on it while the simulator is
// down: connections to it are refused as to a dead bridge, and no other
// program can take the port before the restarted simulator binds it again.
class PortHold {
public:
    explicit PortHold(quint16 port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        // The old simulator's connection may linger in TIME_WAIT.
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) error_ = std::strerror(errno);
    }
    ~PortHold() { release(); }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;
    const std::string& error() const { return error_; }
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::string error_;
};

class PimGateway : public ::testing::Test {
protected:
    void SetUp() override {
        E2eApp();
        WriteFile(base / "Data" / "Tarvelo" / "Tarvelo.upe", kSmallExport);
        xap = std::make_unique<XapPeer>();
        ASSERT_TRUE(xap->bound());
    }
    void TearDown() override { stopGateway(); }

    std::string exportFile() const { return (base / "Data" / "Tarvelo" / "Tarvelo.upe").string(); }
    void settings(const std::string& port, const std::string& bridge) {
        WriteFile(base / "Config" / "Tarvelo.ini",
                  "[UPB]\nUPBCommPort=" + port + "\nSerialIP=" + bridge + "\n" + kUsedDeskLamp);
    }
    // The gateway broadcasts its xAP traffic to our peer's port only.
    ::testing::AssertionResult startGateway() {
        gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless",
                                          "--xap-port", QString::number(xap->port())});
        return waitLogged("running from", 1, 60000);
    }
    ::testing::AssertionResult waitLogged(const std::string& text, int count = 1, int timeoutMs = 30000) {
        return WaitForStderr(gateway, text, log, timeoutMs, count);
    }
    // An orderly stop: exit code 0 after the shut-down steps (the saved
    // records show that they ran).
    void stopGateway(int signal = SIGTERM) {
        if (gateway.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(gateway.processId()), signal);
        if (!gateway.waitForFinished(30000)) {
            ADD_FAILURE() << "the gateway did not end within 30 s of signal " << signal;
            gateway.kill();
        }
        gateway.waitForFinished();
        log += gateway.readAllStandardError().toStdString();
        EXPECT_EQ(gateway.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(gateway.exitCode(), 0);
    }
    // How often the log so far holds `text` (no waiting).
    int logged(const std::string& text) {
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
    // A wall switch of the desk lamp sends link 2; the gateway's event for
    // the lamp shows that it has taken the change in.
    void pressDeskLamp(PimSim& pim) {
        pim.command("press 7 2");
        ASSERT_TRUE(pim.waitFor("pim PU8905010207"));
        ASSERT_TRUE(xap->waitFor({"class=xapbsc.event", ".UPB01_M07_C01_00.light\n", "state=ON\n"})) << log;
    }
    // The ceiling dimmer is set by hand before the gateway starts; start-up
    // writes the options register and polls each device once; a wall switch
    // of the desk lamp sends link 2. The saved records show both levels.
    void runADay(PimSim& pim, const std::string& port, const std::string& bridge, int stopSignal = SIGTERM) {
        pim.command("set 5 1 40");
        ASSERT_TRUE(pim.waitFor("level 5 1 40"));
        settings(port, bridge);
        ASSERT_TRUE(startGateway());
        EXPECT_EQ(logged("Tarvelo UPB PIM Comm Port " + port + " Opened"), 1) << log;
        ASSERT_TRUE(pim.waitFor("host <14>07100107FF30"));
        EXPECT_EQ(pim.occurrences("register 70 = 03"), 1);
        for (const char* poll : {"host <14>07100105FF30B4", "host <14>0710010CFF30", "host <14>07100107FF30"})
            EXPECT_EQ(pim.occurrences(poll), 1) << poll;
        EXPECT_EQ(pim.occurrences("host "), 4);
        pressDeskLamp(pim);
        stopGateway(stopSignal);
        EXPECT_EQ(savedValue("UPB01_M05_C01_00"), "40");   // from the start-up poll
        EXPECT_EQ(savedValue("UPB01_M07_C01_00"), "100");  // from the switch press
        EXPECT_EQ(logged("Unable to Send"), 0) << log;
    }

    TempDir base;
    std::unique_ptr<XapPeer> xap;  // made once the application exists
    QProcess gateway;
    std::string log;
};

TEST_F(PimGateway, OverLoopbackTcpItConnectsWritesTheOptionsPollsAndFollowsTheLine) {
    PimSim pim;
    ASSERT_TRUE(pim.startTcp(exportFile()));
    runADay(pim, std::to_string(pim.port()), "127.0.0.1");
}

// How much CPU the gateway uses while the bridge is down, and how often it
// retries, is measured by bench/pim_reconnect.py.
TEST_F(PimGateway, ItKeepsTheConnectionThroughASimulatorRestart) {
    auto pim = std::make_unique<PimSim>();
    ASSERT_TRUE(pim->startTcp(exportFile()));
    const quint16 port = pim->port();
    settings(std::to_string(port), "127.0.0.1");
    ASSERT_TRUE(startGateway());
    ASSERT_TRUE(pim->waitFor("host <14>07100107FF30"));

    pim->stop();
    pim.reset();
    PortHold hold(port);
    ASSERT_EQ(hold.error(), "") << "cannot hold port " << port << " while the simulator is down";
    // The loss is reported once; the connect attempts that follow are refused
    // and retried.
    ASSERT_TRUE(waitLogged("UPB PIM IP Connection Closed 8"));
    ASSERT_TRUE(waitLogged("UPB PIM Winsock1_Error at State 9, 10061", 2));
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1) << log;

    // The PIM comes back (a real one keeps its registers: message mode is on).
    hold.release();
    PimSim again;
    ASSERT_TRUE(again.startTcp(exportFile(), {"--message-mode"}, port));
    // Within the gateway's connect window, or at its first reconnect 30 s later.
    ASSERT_TRUE(again.waitFor("connected", 1, 90000));
    pressDeskLamp(again);
    stopGateway();
    EXPECT_EQ(savedValue("UPB01_M07_C01_00"), "100");
    EXPECT_EQ(logged("UPB PIM IP Connection Closed"), 1) << log << again.output();
}

TEST_F(PimGateway, OverAPseudoTerminalPairMadeBySocat) {
    if (::access("/usr/bin/socat", X_OK) != 0) GTEST_SKIP() << "socat is not installed";
    const std::string gatewayEnd = (base / "gw-tty").string(), pimEnd = (base / "pim-tty").string();
    QProcess socat;
    // -d -d: socat says when both ends are open (and their links made).
    socat.start("/usr/bin/socat", {"-d", "-d", QString::fromStdString("pty,raw,echo=0,link=" + gatewayEnd),
                                   QString::fromStdString("pty,raw,echo=0,link=" + pimEnd)});
    std::string socatLog;
    ASSERT_TRUE(WaitForStderr(socat, "starting data transfer loop", socatLog));
    ASSERT_TRUE(fs::exists(gatewayEnd) && fs::exists(pimEnd)) << socatLog;

    PimSim pim;
    ASSERT_TRUE(pim.start(
        {"--serial", QString::fromStdString(pimEnd), "--export", QString::fromStdString(exportFile()), "--fast"}));
    runADay(pim, gatewayEnd, "");
    socat.terminate();
    socat.waitForFinished(10000);
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
