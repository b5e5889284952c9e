// A hundred commands queued at once against the real PIM simulator, through
// the Qt platform and a real loopback connection: each goes out once, in
// order. The rate they achieve is measured by tarvelo_pim_queue_bench.
#include <gtest/gtest.h>

#include <memory>

#include "app/ProgramSettings.h"
#include "e2e/PimSimProcess.h"
#include "model/Network.h"
#include "platform/qt/QtPlatform.h"
#include "upb/UpbFixture.h"
#include "upb/UpbInterface.h"

using namespace tarvelo;
using namespace tarvelo::testing;

// Link commands for link 1, alternately on and off, queued from handlers
// that run inside the first one's wait, like a burst of xAP commands.
TEST(PimQueueThroughput, AHundredQueuedCommandsGoOutOnceEachInOrder) {
    constexpr int kCount = 100;
    E2eApp();
    TempDir dir;
    WriteFile(dir / "small.upe", kSmallExport);
    PimSim sim;
    ASSERT_TRUE(sim.startTcp((dir / "small.upe").string()));

    platform::qt::QtPlatform platform;
    CapturingLog log;
    app::ProgramSettings settings;
    settings.SerialIP = "127.0.0.1";
    settings.UPBCommPort = std::to_string(sim.port());
    model::Network network;
    network.NetworkId = "1";
    auto state = AddDevice(network, "12", model::KindInput);  // its link commands schedule no polls

    upb::UpbInterface upb(platform, log, settings, network);
    ASSERT_TRUE(upb.connection().OpenCommPort(settings.UPBCommPort));
    log.entries.clear();

    int queued = 0;
    for (int i = 0; i < kCount; ++i) {
        platform.post([&, i] {
            auto status = std::make_shared<model::UPBStatus>();
            status->Link = state;
            status->Value = i % 2 == 0 ? 100 : 0;
            ++queued;
            upb.SendUPBCommand(status, true, 1, i % 2 == 0, -1, -1);
        });
    }
    // A generous bound: a command takes about 15 ms at the simulator's fast timing.
    auto watchdog = platform.createTimer();
    watchdog->setHandler([&] { watchdog->setEnabled(false); });
    watchdog->start(kCount * 2000);
    while (watchdog->enabled() && (queued < kCount || upb.queue().size() > 0 || upb.queue().inFlight()))
        platform.pumpOnce();
    ASSERT_TRUE(watchdog->enabled()) << "the queue was not empty after " << kCount * 2 << " s: " << queued
                                     << " queued, " << upb.queue().size() << " waiting";

    const auto& counters = upb.queue().counters();
    EXPECT_EQ(counters.transmissions - counters.failures, uint64_t{kCount});
    for (const auto& e : log.entries) ADD_FAILURE() << e.first << " " << e.second;
    // In order, none twice: the frames alternate on, off, on ...
    ASSERT_TRUE(sim.waitFor("pim PK", kCount));
    const std::string& out = sim.output();
    std::string order;
    for (size_t at = out.find("host <14>871001"); at != std::string::npos; at = out.find("host <14>871001", at + 1))
        order += out.substr(at + 19, 2) == "20" ? '1' : '0';
    std::string expected;
    for (int i = 0; i < kCount; ++i) expected += i % 2 == 0 ? '1' : '0';
    EXPECT_EQ(order, expected);
}
