#include "model/Network.h"

#include <cmath>
#include <limits>

#include "common/Text.h"

namespace tarvelo::model {

std::shared_ptr<UPBModule> UPBLinkState::module() const {
    auto ch = Parent.lock();
    return ch ? ch->Parent.lock() : nullptr;
}

void UPBChannel::add(const std::shared_ptr<UPBChannel>& self, std::shared_ptr<UPBLinkState> state) {
    state->Parent = self;
    LinkCollection.push_back(std::move(state));
}

std::shared_ptr<UPBChannel> UPBModule::Channel(size_t position) const {
    if (position < 1 || position > ChannelCollection_.size()) throw VbError("Subscript out of range");
    return ChannelCollection_[position - 1];
}

const std::string& LinkEntry::Item(size_t position) const {
    if (position < 1 || position > items.size()) throw VbError("Subscript out of range");
    return items[position - 1];
}

void Network::forEachState(
    const std::function<void(UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>&)>& f,
    bool includeUntracked) const {
    for (const auto& [key, module] : UPBModules) {
        if (!module) continue;
        // Copies: a handler may add channels or states while we walk.
        auto channels = module->ChannelCollection();
        for (const auto& channel : channels) {
            auto states = channel->LinkCollection;
            for (const auto& state : states)
                if (includeUntracked || state->StatusMask != 0) f(*module, *channel, state);
        }
    }
}

void StampNow(UPBLinkState& state, const platform::Clock& clock) {
    state.Milliseconds = static_cast<int32_t>(std::llround(clock.secondsSinceMidnight()));
    state.LastChange = DateFromLocalMillis(clock.localMillis());
}

int32_t Network::NextSequence() {
    if (StateSequence == std::numeric_limits<int32_t>::max()) throw VbError("Overflow");
    return ++StateSequence;
}

const char* KindName(int kind) {
    static const char* names[] = {"Link", "Keypad", "Switch", "Input", "Module", "IO", "VPM", "VHC", "Other"};
    return kind >= 0 && kind <= 8 ? names[kind] : "";
}

int16_t StatusMaskFor(int kind, int component) {
    if (kind < 0 || kind > 7 || component < 0 || component > 7) throw VbError("Subscript out of range");
    if (kind == 2 || kind == 3) return 255;
    if (kind == 5) {
        static const int16_t io[8] = {1, 256, 512, 1024, 2, 0, 0, 0};
        return io[component];
    }
    return 0;
}

namespace {
int HexField(const std::string& decimalText) {
    double v = Val(decimalText);
    return v >= 0 && v <= 255 ? static_cast<int>(v) : -1;
}
} // namespace

std::string ComponentUID(const UPBLinkState& state) {
    auto channel = state.channel();
    auto module = state.module();
    if (!channel || !module) throw VbError("Object variable or With block variable not set");
    return "UPB" + Hex2(HexField(module->NetId)) + "_M" + Hex2(HexField(module->ModuleID)) + "_C" +
           Hex2(channel->Channel + 1) + "_" + Hex2(state.Componentindex + 1);
}

std::string xapName(const Network& network, const UPBLinkState& state, LogSink* log) {
    std::string result;
    bool ok = Guard(log, "xapName", [&] {
        auto module = state.module();
        if (!module) throw VbError("Object variable or With block variable not set");
        std::string name = "Tarvelo_" + module->Room + "_" + module->name;
        if (const LinkEntry* link = network.findLink(state.OnLink)) name += "_" + link->Item(2);
        result = Replace(name, " ", "_");
    });
    return ok ? result : "Unknown.Unknown.Unknown";
}

} // namespace tarvelo::model
