// The cost of one queued command: SendUPBCommand builds the packet, the queue
// frames it, the connection writes it, and the PIM's "PA" and "PK" lines end
// the transmission with the state update. The PIM here answers at once from
// an in-process loop, so what is measured is the gateway's own work.
#include <benchmark/benchmark.h>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>

#include "BenchPlatform.h"
#include "app/ProgramSettings.h"
#include "model/Network.h"
#include "upb/codec/LineFramer.h"
#include "upb/codec/Packet.h"
#include "upb/UpbInterface.h"

namespace {

using namespace tarvelo;

class NullLog : public LogSink {
public:
    void WriteLog(const std::string&, const std::string&) override {}
};

// Runs posted events in order; never waits.
class InstantPlatform : public bench::NoIoPlatform {
public:
    std::unique_ptr<platform::Timer> createTimer() override { return std::make_unique<bench::InertTimer>(); }
    void pumpOnce() override {
        if (events.empty()) throw std::runtime_error("nothing to run");
        auto e = std::move(events.front());
        events.pop_front();
        e();
    }
    void post(std::function<void()> call) override { events.push_back(std::move(call)); }
    std::unique_ptr<platform::SerialPort> createSerialPort() override;

    std::deque<std::function<void()>> events;
    size_t bytesWritten = 0;
};

// A PIM that accepts and acknowledges every frame.
class AnsweringPort : public platform::SerialPort {
public:
    explicit AnsweringPort(InstantPlatform& p) : p_(p) {}
    bool open(const std::string&) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool write(const std::string& bytes) override {
        p_.bytesWritten += bytes.size();
        p_.post([this] { onData("PA\r", 2); });
        p_.post([this] { onData("PK\r", 2); });
        return true;
    }

private:
    InstantPlatform& p_;
    bool open_ = false;
};

std::unique_ptr<platform::SerialPort> InstantPlatform::createSerialPort() {
    return std::make_unique<AnsweringPort>(*this);
}

struct Rig {
    InstantPlatform platform;
    NullLog log;
    app::ProgramSettings settings;
    model::Network network;
    upb::UpbInterface upb{platform, log, settings, network};
    std::shared_ptr<model::UPBLinkState> state;

    Rig() {
        settings.UPBCommPort = "1";
        network.NetworkId = "42";
        auto module = std::make_shared<model::UPBModule>();
        module->ModuleID = "12";
        module->Kind = model::KindInput;  // a link command to it schedules no poll
        auto channel = std::make_shared<model::UPBChannel>();
        channel->Parent = module;
        module->AddChannel(channel);
        state = std::make_shared<model::UPBLinkState>();
        state->OnCommand = 0x20;
        state->OffCommand = 0x21;
        channel->add(channel, state);
        network.UPBModules.add("12", module);
        upb.connection().OpenCommPort("1");
    }
};

void BM_QueuedCommandToAcknowledge(benchmark::State& s) {
    Rig rig;
    auto status = std::make_shared<model::UPBStatus>();
    status->Link = rig.state;
    bool on = false;
    for (auto _ : s) {
        on = !on;
        status->Value = on ? 100 : 0;  // every command changes the state
        rig.upb.SendUPBCommand(status, true, 7, on, -1, -1);
    }
    if (rig.state->Sequence != static_cast<int32_t>(s.iterations())) s.SkipWithError("a command did not succeed");
    s.counters["bytes/cmd"] = static_cast<double>(rig.platform.bytesWritten) / static_cast<double>(s.iterations());
}
BENCHMARK(BM_QueuedCommandToAcknowledge);

void BM_BuildAndFramePacket(benchmark::State& s) {
    upb::CommandPacket p{.isLink = true, .destination = 3, .command = upb::kGoTo, .level = 50, .networkId = 1};
    for (auto _ : s) {
        std::string frame = upb::FrameUpbMessage(upb::BuildCommandPacket(p));
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_BuildAndFramePacket);

void BM_SplitReceivedLines(benchmark::State& s) {
    upb::LineFramer framer;
    std::string line;
    const std::string chunk = "PA\rPK\rPU0800C2FF09863276\r";
    for (auto _ : s) {
        framer.append(chunk);
        while (framer.nextLine(line)) benchmark::DoNotOptimize(line);
    }
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * chunk.size()));
}
BENCHMARK(BM_SplitReceivedLines);

} // namespace

BENCHMARK_MAIN();
