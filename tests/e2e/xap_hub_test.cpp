// The real gateway, hub and PIM simulator on loopback: an xAP tool sends a
// BSC command through the hub, the simulated device switches, and the
// gateway's BSC event comes back through the hub.
#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <csignal>

#include "e2e/PimSimProcess.h"

using namespace tarvelo::testing;

namespace {

class XapTool {
public:
    explicit XapTool(quint16 hubPort) : hub_(hubPort) {
        socket_.bind(QHostAddress::LocalHost, 0);
        send("xap-hbeat\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=xap-hbeat.alive\nsource=acme.tool.e2e\ninterval=60\nport=" +
             std::to_string(socket_.localPort()) + "\n}\n");
    }
    void send(const std::string& text) {
        socket_.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress::LocalHost, hub_);
    }
    // Waits for a datagram holding every needle.
    bool waitFor(std::initializer_list<std::string> needles, int timeoutMs = 20000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            while (socket_.hasPendingDatagrams()) {
                const QByteArray d = socket_.receiveDatagram().data();
                const std::string text(d.constData(), static_cast<size_t>(d.size()));
                bool all = true;
                for (const std::string& n : needles) all = all && text.find(n) != std::string::npos;
                if (all) return true;
            }
            socket_.waitForReadyRead(100);
        }
        return false;
    }

private:
    QUdpSocket socket_;
    quint16 hub_;
};

} // namespace

TEST(XapEndToEnd, ABscCommandThroughTheHubSwitchesADeviceAndTheEventComesBack) {
    E2eApp();
    TempDir base;
    WriteFile(base / "Data" / "Tarvelo" / "Tarvelo.upe", kSmallExport);
    const quint16 pimPort = FreePort();
    const quint16 hubPort = FreePort();
    WriteFile(base / "Config" / "Tarvelo.ini",
              "[UPB]\nUPBCommPort=" + std::to_string(pimPort) +
                  "\nSerialIP=127.0.0.1\nUPB01_M07_C01_01=2026-12-05 22:14:09;0;False;True;;Desk;False;;\n");

    PimSim pim;
    ASSERT_TRUE(pim.startTcp(pimPort, (base / "Data" / "Tarvelo" / "Tarvelo.upe").string()));

    QProcess hub;
    hub.start(Binary("tarvelo-hub"), {"--port", QString::number(hubPort)});
    std::string hubLog;
    ASSERT_TRUE(WaitForStderr(hub, "listening", hubLog));
    XapTool tool(hubPort);

    QProcess gateway;
    gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless", "--xap-port",
                                      QString::number(hubPort)});
    std::string log;
    ASSERT_TRUE(WaitForStderr(gateway, "running from", log, 60000)) << log;
    ASSERT_TRUE(WaitForStderr(hub, "client joined: zantu.UPB.", hubLog)) << hubLog;

    // The desk lamp (module 7, its private link's state: UID index 0x0702),
    // switched on by ID: the gateway activates link 2, the lamp goes to its preset.
    tool.send("xap-header\r\n{\r\nv=13\r\nhop=1\r\nuid=FF.7777:00\r\nclass=xAPBSC.cmd\r\nsource=acme.tool.e2e\r\n"
              "target=zantu.UPB.*:>\r\n}\r\noutput.state.1\r\n{\r\nID=0702\r\nState=on\r\n}\r\n");
    EXPECT_TRUE(pim.waitFor("level 7 1 80")) << pim.output();
    EXPECT_TRUE(tool.waitFor({"class=xapbsc.event", ".UPB01_M07_C01_01.light\n", "state=ON\n", "uid=FF.0002:0702\n"}))
        << log;

    // And an echo, answered to the tool.
    tool.send("xap-header\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=ZIZ.Echo\nsource=acme.tool.e2e\n}\nEcho.Query\n{\nQuery=Hello\n}\n");
    EXPECT_TRUE(tool.waitFor({"target=acme.tool.e2e\n", "Response=hello\n"}));

    ::kill(static_cast<pid_t>(gateway.processId()), SIGTERM);
    ASSERT_TRUE(gateway.waitForFinished(10000));
    EXPECT_EQ(gateway.exitCode(), 0);
    hub.terminate();
    hub.waitForFinished(5000);
}
