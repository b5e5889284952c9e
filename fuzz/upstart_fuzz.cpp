// UPStart exports come from another program and from users' copies: any
// bytes must import without a fault, and whatever the import keeps must be a
// well-formed model (every state under its channel, every channel under its
// module, names and identifiers computable).
#include <cstdint>
#include <string_view>

#include "model/UpstartImport.h"

namespace {
struct NullLog : tarvelo::LogSink {
    void WriteLog(const std::string&, const std::string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvelo::model;
    NullLog log;
    Network net;
    UpstartImport(net, log).ReadUPSText(std::string_view(reinterpret_cast<const char*>(data), size));
    net.forEachState(
        [&](UPBModule& m, UPBChannel& c, const std::shared_ptr<UPBLinkState>& s) {
            if (s->channel().get() != &c || s->module().get() != &m) __builtin_trap();
            ComponentUID(*s);
            xapName(net, *s, &log);
        },
        true);
    net.UPBLinks.forEach([](const LinkEntry& e) {
        if (e.Count() < 3) __builtin_trap();
    });
    return 0;
}
