// The PIM simulator as a black box on a loopback port: the line protocol, the
// device model, injected presses and faults.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>

#include "e2e/PimSimProcess.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {

class PimSimTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(dir / "small.upe", kSmallExport); }
    // Starts the simulator on the small export and connects to it.
    void start(const QStringList& extra = {}) {
        ASSERT_TRUE(sim.startTcp((dir / "small.upe").string(), extra));
        socket.connectToHost("127.0.0.1", sim.port());
        ASSERT_TRUE(socket.waitForConnected(30000)) << socket.errorString().toStdString();
    }
    void send(const std::string& frame) {
        socket.write(frame.data(), static_cast<qint64>(frame.size()));
        socket.flush();
    }
    // Reads until `lines` lines (CR-ended) have come, or the time is up
    // (what came is returned, and the comparison shows it).
    std::string read(int lines, int timeoutMs = 30000) {
        QElapsedTimer t;
        t.start();
        while (std::count(got.begin(), got.end(), '\r') < lines && t.elapsed() < timeoutMs) {
            socket.waitForReadyRead(100);
            got += socket.readAll().toStdString();
        }
        std::string out;
        for (int i = 0; i < lines; ++i) {
            const size_t cr = got.find('\r');
            if (cr == std::string::npos) break;
            out += got.substr(0, cr + 1);
            got.erase(0, cr + 1);
        }
        return out;
    }

    TempDir dir;
    PimSim sim;
    QTcpSocket socket;
    std::string got;
};

TEST_F(PimSimTest, AnswersFramesLikeAPim) {
    start();
    send(upb::FramePimMessage(upb::kPimOptionsWrite));
    EXPECT_EQ(read(1), "PA\r");  // a register write: "PA" alone
    ASSERT_TRUE(sim.waitFor("register 70 = 03"));

    // Link 1 with an acknowledge request: the dimmers holding it go to their presets.
    send(upb::FrameUpbMessage("87100101FF20"));
    EXPECT_EQ(read(2), "PA\rPK\r");
    ASSERT_TRUE(sim.waitFor("level 12 1 50"));
    EXPECT_TRUE(sim.waitFor("level 5 1 100"));
    // A link nobody holds is not acknowledged; without the request it always ends in PN.
    send(upb::FrameUpbMessage("87100109FF20"));
    EXPECT_EQ(read(2), "PA\rPN\r");
    send(upb::FrameUpbMessage("87000101FF21"));
    EXPECT_EQ(read(2), "PA\rPN\r");

    // A state request: the device reports its level in a "PU" line.
    send(upb::FrameUpbMessage("0810010CFF2228"));  // goto 40 % direct
    EXPECT_EQ(read(2), "PA\rPK\r");
    send(upb::FrameUpbMessage(upb::BuildStatusRequest(1, 12)));
    const std::string report = "0800" "01FF0C8628";
    EXPECT_EQ(read(3), "PA\rPK\rPU" + report + upb::Checksum(report) + "\r");

    // A register read: "PA", then "PR" with the start register and the values.
    send(std::string("\x12") + "7001" + upb::Checksum("7001") + "\r");
    EXPECT_EQ(read(2), "PA\rPR7003\r");
}

TEST_F(PimSimTest, BadFramesGetPE) {
    start();
    send("\x14" "87100101FF2000\r");   // wrong checksum
    send("\x14" "87100101FF2\r");      // odd length
    send("\x14" "88100101FF20DF\r");   // the length field says 8
    send("garbage\r");
    send("\x17" "70\r");               // register write without a value
    EXPECT_EQ(read(5), "PE\rPE\rPE\rPE\rPE\r");
}

TEST_F(PimSimTest, PressesAreReportedOnlyInMessageMode) {
    start();
    ASSERT_TRUE(sim.waitFor("connected"));
    sim.command("press 7 2");
    ASSERT_TRUE(sim.waitFor("line 8905010207"));  // the second of the two packets is on the line
    // Pulse mode: no "PU" lines. Any would have been sent before the answer
    // to this register read, which shows message mode off.
    send(std::string("\x12") + "7001" + upb::Checksum("7001") + "\r");
    EXPECT_EQ(read(2), "PA\rPR7000\r");
    EXPECT_TRUE(sim.waitFor("level 7 1 80"));

    send(upb::FramePimMessage(upb::kPimOptionsWrite));
    EXPECT_EQ(read(1), "PA\r");
    sim.command("press 5 1");
    // Sent twice like a real switch: 9 bytes, count 1, sequence 0 then 1.
    const std::string first = "890401010520FFFF", second = "890501010520FFFF";
    EXPECT_EQ(read(2), "PU" + first + upb::Checksum(first) + "\rPU" + second + upb::Checksum(second) + "\r");
    EXPECT_TRUE(sim.waitFor("level 12 1 50"));
}

TEST_F(PimSimTest, FaultsFromTheCommandLineAndStandardInput) {
    start({"--fault", "busy:2"});
    const std::string frame = upb::FrameUpbMessage("87100101FF20");
    send(frame);
    EXPECT_EQ(read(2), "PA\rPK\r");
    send(frame);
    EXPECT_EQ(read(1), "PB\r");
    sim.command("fault off");
    sim.command("fault error 1");
    ASSERT_TRUE(sim.waitFor("fault error every 1"));
    send(frame);
    EXPECT_EQ(read(1), "PE\r");
    sim.command("fault off");
    sim.command("fault drop 1");
    ASSERT_TRUE(sim.waitFor("fault drop every 1"));
    send(frame);
    EXPECT_EQ(read(1), "PA\r");
    EXPECT_TRUE(socket.waitForDisconnected(30000) || socket.state() == QAbstractSocket::UnconnectedState);
}

TEST_F(PimSimTest, UsageErrorsAndAMissingExportEndItWithTheirExitCodes) {
    std::string out;
    EXPECT_EQ(RunToEnd(Binary("tarvelo-pimsim"), {"--help"}, &out), 0);
    EXPECT_EQ(RunToEnd(Binary("tarvelo-pimsim"), {"--bogus"}, &out), 2);
    EXPECT_EQ(RunToEnd(Binary("tarvelo-pimsim"), {"--export", (dir / "missing.upe").string().c_str()}, &out), 1);
    // Port 0 means "any free port"; a port that is not a number must not become it.
    EXPECT_EQ(RunToEnd(Binary("tarvelo-pimsim"), {"--listen", "127.0.0.1:21o1"}, &out), 2);
    EXPECT_EQ(RunToEnd(Binary("tarvelo-pimsim"), {"--listen", "127.0.0.1:65536"}, &out), 2);
}

// Two simulators asked for port 0 get a port each, and say which.
TEST_F(PimSimTest, PortZeroTakesAFreePortAndPrintsIt) {
    PimSim other;
    ASSERT_TRUE(other.startTcp((dir / "small.upe").string()));
    start();
    EXPECT_NE(sim.port(), other.port());
    EXPECT_EQ(sim.output().rfind("listening 127.0.0.1:" + std::to_string(sim.port()) + "\n", 0), 0u) << sim.output();
    send(upb::FramePimMessage(upb::kPimOptionsWrite));
    EXPECT_EQ(read(1), "PA\r");
}

} // namespace
