// Fuzz target: whatever a PIM (or a broken bridge) sends back. The input is
// cut at 0xFF bytes into pieces; each frame the gateway writes is answered
// with the next piece, and the rest arrives unasked, 1 ms apart, in virtual
// time. Two records are queued; the queue must come to rest, every record
// must end within its attempts, and nothing may crash.
//
// Run: scripts/fuzz.sh (FUZZ_TARGETS="pim_lines").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "app/ProgramSettings.h"
#include "model/Network.h"
#include "sim/SimNet.h"
#include "sim/SimPlatform.h"
#include "upb/TransmitQueue.h"
#include "upb/UpbInterface.h"

namespace {

class NullLog : public tarvelo::LogSink {
public:
    void WriteLog(const std::string&, const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvelo;
    std::deque<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) pieces.emplace_back();
        else pieces.back() += static_cast<char>(data[i]);
    }

    sim::SimPlatform p;
    sim::SimNet net(p);
    NullLog log;
    app::ProgramSettings settings;
    settings.UPBCommPort = "3";
    settings.DebugLog = (size % 2) == 1;
    model::Network network;
    network.NetworkId = "1";
    size_t received = 0;
    upb::UpbInterface upb(p, log, settings, network, {.upbReceive = [&](const std::string&) { ++received; }});
    if (!upb.connection().OpenCommPort("3")) std::abort();

    net.pim.onFrame = [&](const std::string&) {
        if (pieces.empty()) return;
        net.pim.send(pieces.front(), 5);
        pieces.pop_front();
    };
    // Half of the input arrives unasked, before and between the transmissions.
    for (size_t i = 0; i < pieces.size() / 2; ++i) net.pim.send(pieces[pieces.size() - 1 - i], static_cast<int64_t>(i));

    upb.RequestStatus("5");
    upb.RequestStatus("12");
    const auto& c = upb.queue().counters();
    // Each record ends within its counted attempts and bounded free repeats.
    const uint64_t most = 2 * (upb::TransmitQueue::kAttempts + upb::TransmitQueue::kUncountedRepeats);
    if (upb.queue().size() != 0 || upb.queue().inFlight() || c.transmissions != 2 || c.writes > most) std::abort();
    p.advance(60000);
    return 0;
}
