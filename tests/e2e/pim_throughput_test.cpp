// A hundred commands queued at once against the real PIM simulator, through
// the Qt platform and a real loopback connection: each goes out once, in
// order, and the achieved rate is printed beside the powerline's own limit.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cstdio>
#include <memory>

#include "app/ProgramSettings.h"
#include "e2e/PimSimProcess.h"
#include "model/Network.h"
#include "platform/qt/QtPlatform.h"
#include "upb/UpbFixture.h"
#include "upb/UpbInterface.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {

struct QueueRun {
    int commands = 0;
    double seconds = 0;
    std::string simOutput;
    std::vector<std::pair<std::string, std::string>> log;
};

// Queues `count` link commands for link 1, alternately on and off, from
// handlers that run inside the first one's wait, like a burst of xAP commands.
QueueRun RunQueue(const QStringList& timing, int count) {
    E2eApp();
    TempDir dir;
    WriteFile(dir / "small.upe", kSmallExport);
    const quint16 port = FreePort();
    PimSim sim;
    QueueRun run;
    if (!sim.startTcp(port, (dir / "small.upe").string(), timing)) return run;

    platform::qt::QtPlatform platform;
    CapturingLog log;
    app::ProgramSettings settings;
    settings.SerialIP = "127.0.0.1";
    settings.UPBCommPort = std::to_string(port);
    model::Network network;
    network.NetworkId = "1";
    auto state = AddDevice(network, "12", model::KindInput);  // its link commands schedule no polls

    upb::UpbInterface upb(platform, log, settings, network);
    if (!upb.connection().OpenCommPort(settings.UPBCommPort)) return run;
    log.entries.clear();

    int queued = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        platform.post([&, i] {
            auto status = std::make_shared<model::UPBStatus>();
            status->Link = state;
            status->Value = i % 2 == 0 ? 100 : 0;
            ++queued;
            upb.SendUPBCommand(status, true, 1, i % 2 == 0, -1, -1);
        });
    }
    auto watchdog = platform.createTimer();
    watchdog->setHandler([&] { watchdog->setEnabled(false); });
    watchdog->start(count * 2000);
    while (watchdog->enabled() && (queued < count || upb.queue().size() > 0 || upb.queue().inFlight()))
        platform.pumpOnce();
    run.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    run.commands = static_cast<int>(upb.queue().counters().transmissions - upb.queue().counters().failures);
    sim.waitFor("pim PK", count, 5000);
    run.simOutput = sim.output();
    run.log = log.entries;
    return run;
}

void Report(const char* what, const QueueRun& run) {
    // (7 + 1) x 4 + 1 half-cycles at 60 Hz for a 7-byte packet.
    const double limit = 1000.0 / (33 * 1000.0 / 120.0);
    std::printf("%s: %d commands in %.2f s = %.2f commands/s (powerline limit for 7-byte packets at 60 Hz: %.2f/s)\n",
                what, run.commands, run.seconds, run.commands / run.seconds, limit);
}

TEST(PimQueueThroughput, AHundredQueuedCommandsGoOutOnceEachInOrder) {
    const QueueRun run = RunQueue({}, 100);  // --fast
    EXPECT_EQ(run.commands, 100);
    for (const auto& e : run.log) ADD_FAILURE() << e.first << " " << e.second;
    // In order, none twice: the frames alternate on, off, on ...
    std::string order;
    for (size_t at = run.simOutput.find("host <14>871001"); at != std::string::npos;
         at = run.simOutput.find("host <14>871001", at + 1))
        order += run.simOutput.substr(at + 19, 2) == "20" ? '1' : '0';
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += i % 2 == 0 ? '1' : '0';
    EXPECT_EQ(order, expected);
    Report("--fast", run);
}

// Takes about 30 s: run with --gtest_also_run_disabled_tests to measure.
TEST(PimQueueThroughput, DISABLED_AHundredQueuedCommandsAtPowerlineTiming) {
    const QueueRun run = RunQueue({"--time-scale", "1"}, 100);
    EXPECT_EQ(run.commands, 100);
    Report("powerline timing", run);
}

} // namespace
