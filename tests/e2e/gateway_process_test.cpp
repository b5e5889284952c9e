// The real gateway executable: command line and the base folder. Its orderly
// stop on SIGTERM and SIGINT is shown by pim_gateway_test.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "e2e/ProcessHelpers.h"
#include "e2e/XapPeer.h"
#include "support/TempDir.h"

using namespace tarvelo::testing;
namespace fs = std::filesystem;

TEST(GatewayProcess, HelpVersionAndUnknownOptions) {
    E2eApp();
    std::string out, err;
    EXPECT_EQ(RunToEnd(Binary("tarvelo"), {"--help"}, &out), 0);
    EXPECT_NE(out.find("--base DIR"), std::string::npos);
    EXPECT_EQ(RunToEnd(Binary("tarvelo"), {"--version"}, &out), 0);
    EXPECT_EQ(out.rfind("tarvelo ", 0), 0u);
    EXPECT_EQ(RunToEnd(Binary("tarvelo"), {"--frobnicate"}, &out, &err), 2);
    EXPECT_NE(err.find("unknown option '--frobnicate'"), std::string::npos);
    EXPECT_EQ(RunToEnd(Binary("tarvelo"), {"--base"}, &out, &err), 2);
}

TEST(GatewayProcess, TarveloHomeNamesTheBaseFolder) {
    E2eApp();
    TempDir base;
    // --quiet leaves no log line to wait for: the first heartbeat shows that
    // start-up has made the base folder's settings file.
    XapPeer peer;
    ASSERT_TRUE(peer.bound());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARVELO_HOME", QString::fromStdString(base.path().string()));
    p.setProcessEnvironment(env);
    p.start(Binary("tarvelo"), {"--headless", "--quiet", "--xap-port", QString::number(peer.port())});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(peer.waitFor({"xap-hbeat\n", "class=xap-hbeat.alive\n"}));
    EXPECT_TRUE(fs::exists(base / "Config" / "Tarvelo.ini"));
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().isEmpty());  // --quiet
}
