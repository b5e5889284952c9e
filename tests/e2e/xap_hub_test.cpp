// The real gateway, hub and PIM simulator on loopback: an xAP tool sends a
// BSC command through the hub, the simulated device switches, and the
// gateway's BSC event comes back through the hub.
#include <gtest/gtest.h>

#include <csignal>

#include "e2e/PimSimProcess.h"
#include "e2e/XapPeer.h"

using namespace tarvelo::testing;

TEST(XapEndToEnd, ABscCommandThroughTheHubSwitchesADeviceAndTheEventComesBack) {
    E2eApp();
    TempDir base;
    WriteFile(base / "Data" / "Tarvelo" / "Tarvelo.upe", kSmallExport);

    PimSim pim;
    ASSERT_TRUE(pim.startTcp((base / "Data" / "Tarvelo" / "Tarvelo.upe").string()));
    WriteFile(base / "Config" / "Tarvelo.ini",
              "[UPB]\nUPBCommPort=" + std::to_string(pim.port()) +
                  "\nSerialIP=127.0.0.1\nUPB01_M07_C01_00=2026-12-05 22:14:09;0;False;True;;Desk;False;;\n");

    // The hub on a port of the system's choosing, learnt from its endpoint line.
    QProcess hub;
    hub.start(Binary("tarvelo-hub"), {"--port", "0"});
    std::string hubOut, hubLog;
    ASSERT_TRUE(WaitForStdout(hub, "\n", hubOut));
    const quint16 hubPort = ListeningPort(hubOut);
    ASSERT_NE(hubPort, 0) << hubOut;

    // The hub forwards to 127.0.0.1 only.
    XapPeer tool(QHostAddress::LocalHost);
    ASSERT_TRUE(tool.bound());
    tool.sendTo(hubPort, "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=xap-hbeat.alive\nsource=acme.tool.e2e\n"
                         "interval=60\nport=" + std::to_string(tool.port()) + "\n}\n");
    ASSERT_TRUE(WaitForStderr(hub, "client joined: acme.tool.e2e", hubLog));

    QProcess gateway;
    gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless", "--xap-port",
                                      QString::number(hubPort)});
    std::string log;
    ASSERT_TRUE(WaitForStderr(gateway, "running from", log, 60000));
    ASSERT_TRUE(WaitForStderr(hub, "client joined: zantu.UPB.", hubLog));

    // The desk lamp (module 7, own state UID index 0x0701), switched on by ID.
    tool.sendTo(hubPort, "xap-header\r\n{\r\nv=13\r\nhop=1\r\nuid=FF.7777:00\r\nclass=xAPBSC.cmd\r\n"
                         "source=acme.tool.e2e\r\ntarget=zantu.UPB.*:>\r\n}\r\noutput.state.1\r\n{\r\nID=0701\r\n"
                         "State=on\r\n}\r\n");
    EXPECT_TRUE(pim.waitFor("level 7 1 100"));
    EXPECT_TRUE(tool.waitFor({"class=xapbsc.event", ".UPB01_M07_C01_00.light\n", "state=ON\n", "uid=FF.0002:0701\n"}))
        << log;

    // And an echo, answered to the tool.
    tool.sendTo(hubPort, "xap-header\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=ZIZ.Echo\nsource=acme.tool.e2e\n}\n"
                         "Echo.Query\n{\nQuery=Hello\n}\n");
    EXPECT_TRUE(tool.waitFor({"target=acme.tool.e2e\n", "Response=hello\n"}));

    ::kill(static_cast<pid_t>(gateway.processId()), SIGTERM);
    ASSERT_TRUE(gateway.waitForFinished(30000));
    EXPECT_EQ(gateway.exitCode(), 0);
    hub.terminate();
    EXPECT_TRUE(hub.waitForFinished(30000));
}
