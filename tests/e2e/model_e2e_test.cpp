// The gateway and the simulated PIM as real processes: a wall switch pressed
// on the simulated powerline changes the gateway's model, and the change is
// in the state records the gateway saves when it is stopped.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "e2e/PimSimProcess.h"
#include "e2e/ProcessHelpers.h"
#include "support/TempDir.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

TEST(ModelEndToEnd, WallSwitchPressReachesTheSavedStateRecords) {
    E2eApp();
    TempDir base;
    WriteFile(base / "Data/Tarvelo/Tarvelo.upe", kSmallExport);
    const quint16 port = FreePort();
    // Device 7's component on its private link 2, marked used; its own state not.
    WriteFile(base / "Config/Tarvelo.ini",
              "[UPB]\r\nSerialIP=127.0.0.1\r\nUPBCommPort=" + std::to_string(port) +
                  "\r\n"
                  "UPB01_M07_C01_01=2026-12-01 08:00:00;0;False;True;;Desk_Lamp;True;;\r\n");

    PimSim sim;
    ASSERT_TRUE(sim.startTcp(port, (base / "Data/Tarvelo/Tarvelo.upe").string()));
    QProcess gateway;
    gateway.start(Binary("tarvelo"), {"--base", QString::fromStdString(base.path().string()), "--headless"});
    ASSERT_TRUE(gateway.waitForStarted());
    std::string seen;
    ASSERT_TRUE(WaitForStderr(gateway, "running from", seen, 60000)) << seen;
    ASSERT_TRUE(sim.waitFor("connected")) << sim.output();

    const int before = sim.occurrences("pim PU");
    sim.command("press 7 2");
    ASSERT_TRUE(sim.waitFor("pim PU", before + 2)) << sim.output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    ::kill(static_cast<pid_t>(gateway.processId()), SIGTERM);
    ASSERT_TRUE(gateway.waitForFinished(20000));
    EXPECT_EQ(gateway.exitCode(), 0);
    const std::string ini = ReadFile(base / "Config/Tarvelo.ini");
    auto value = [&](const std::string& uid) {
        const size_t at = ini.find(uid + "=");
        if (at == std::string::npos) return std::string("missing");
        const size_t start = ini.find(';', at) + 1;
        return ini.substr(start, ini.find(';', start) - start);
    };
    // The used component followed the link; the device's own state is not
    // marked used and stays as the start-up poll left it.
    EXPECT_EQ(value("UPB01_M07_C01_01"), "100") << ini;
    EXPECT_EQ(value("UPB01_M07_C01_00"), "0") << ini;
    EXPECT_NE(ini.find(";100;False;True;;Desk_Lamp;True;;"), std::string::npos) << ini;
}
