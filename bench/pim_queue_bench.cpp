// The rate of queued commands against the real PIM simulator, through the Qt
// platform and a real loopback connection: a hundred link commands queued at
// once, as a burst of xAP commands would, timed until the last is
// acknowledged. Reported beside the powerline's own limit for the timing
// the simulator runs at (--fast is twenty times the powerline).
//
//   build/bin/tarvelo_pim_queue_bench                      both timings (about 35 s)
//   build/bin/tarvelo_pim_queue_bench --benchmark_filter=fast
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <memory>
#include <string>

#include "app/ProgramSettings.h"
#include "common/Guard.h"
#include "model/Network.h"
#include "platform/qt/QtPlatform.h"
#include "upb/UpbInterface.h"

namespace {

using namespace tarvelo;

constexpr int kCommands = 100;

class CountingLog : public LogSink {
public:
    void WriteLog(const std::string&, const std::string&) override { ++entries; }
    int entries = 0;
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "tarvelo_pim_queue_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// tarvelo-pimsim beside this executable, on a loopback port of its choosing.
class PimSim {
public:
    explicit PimSim(double timeScale) {
        process_.start(QCoreApplication::applicationDirPath() + "/tarvelo-pimsim",
                       {"--listen", "127.0.0.1:0", "--time-scale", QString::number(timeScale), "--quiet"});
        QElapsedTimer t;
        t.start();
        while (!out_.contains('\n') && t.elapsed() < 30000 && process_.waitForReadyRead(1000))
            out_ += process_.readAllStandardOutput();
        const int colon = out_.lastIndexOf(':');
        if (out_.startsWith("listening ") && colon > 0) port_ = out_.mid(colon + 1).trimmed().toUShort();
    }
    ~PimSim() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }
    quint16 port() const { return port_; }

private:
    QProcess process_;
    QByteArray out_;
    quint16 port_ = 0;
};

void BM_HundredQueuedCommands(benchmark::State& s, double timeScale) {
    App();
    PimSim sim(timeScale);
    if (sim.port() == 0) {
        s.SkipWithError("tarvelo-pimsim did not start");
        return;
    }
    platform::qt::QtPlatform platform;
    CountingLog log;
    app::ProgramSettings settings;
    settings.SerialIP = "127.0.0.1";
    settings.UPBCommPort = std::to_string(sim.port());
    model::Network network;
    network.NetworkId = "1";
    auto module = std::make_shared<model::UPBModule>();
    module->ModuleID = "12";
    module->NetId = "1";
    module->Kind = model::KindInput;  // its link commands schedule no polls
    auto channel = std::make_shared<model::UPBChannel>();
    channel->Parent = module;
    module->AddChannel(channel);
    auto state = std::make_shared<model::UPBLinkState>();
    state->OnCommand = 0x20;
    state->OffCommand = 0x21;
    channel->add(channel, state);
    network.UPBModules.add("12", module);

    upb::UpbInterface upb(platform, log, settings, network);
    if (!upb.connection().OpenCommPort(settings.UPBCommPort)) {
        s.SkipWithError("cannot connect to tarvelo-pimsim");
        return;
    }
    log.entries = 0;

    double seconds = 0;
    int64_t acknowledged = 0;
    for (auto _ : s) {
        const auto before = upb.queue().counters();
        int queued = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kCommands; ++i) {
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
        watchdog->start(kCommands * 2000);
        while (watchdog->enabled() && (queued < kCommands || upb.queue().size() > 0 || upb.queue().inFlight()))
            platform.pumpOnce();
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const auto& after = upb.queue().counters();
        acknowledged += static_cast<int64_t>((after.transmissions - before.transmissions) - (after.failures - before.failures));
        if (!watchdog->enabled()) {
            s.SkipWithError("the queue did not empty in time");
            return;
        }
    }
    // (7 + 1) x 4 + 1 half-cycles at 60 Hz for a 7-byte packet, scaled like the simulator.
    const double packetSeconds = 33.0 / 120.0 * timeScale;
    s.counters["cmd/s"] = static_cast<double>(acknowledged) / seconds;
    s.counters["limit/s"] = 1.0 / packetSeconds;
    s.counters["of_limit_%"] = 100.0 * static_cast<double>(acknowledged) / seconds * packetSeconds;
    s.counters["failed"] = static_cast<double>(s.iterations() * kCommands - acknowledged);
    s.counters["log_entries"] = log.entries;
}
BENCHMARK_CAPTURE(BM_HundredQueuedCommands, fast, 0.05)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_HundredQueuedCommands, powerline, 1.0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
