// The script host's local socket takes frames from other processes: any bytes
// must be read as whole calls or answers, or refused, never crash; a call
// that was read encodes back to the same body.
#include <cstdint>
#include <string>

#include "scripting/BridgeCodec.h"

using namespace tarvelo::scripting;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    bridge::FrameReader reader;
    // In two pieces, as a stream may bring them.
    reader.Feed(std::string_view(bytes).substr(0, size / 2));
    reader.Feed(std::string_view(bytes).substr(size / 2));
    std::string body;
    while (reader.Next(body)) {
        bridge::Call call;
        if (bridge::DecodeCall(body, call)) {
            tarvelo::vbs::CallArgs args(call.args.data(), call.args.size());
            // Keyed collections merge keys that differ in case only: such a body may not come back equal.
            const std::string again = bridge::EncodeCall(call.member, args);
            bridge::Call second;
            if (!bridge::DecodeCall(again, second) || second.member != call.member ||
                second.args.size() != call.args.size())
                __builtin_trap();
        }
        bridge::Answer answer;
        bridge::DecodeAnswer(body, answer);
    }
    return 0;
}
