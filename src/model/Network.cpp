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

namespace {
// The key of a link id in UPBLinks, folded: the id and "~".
std::string LinkKey(std::string_view linkId) {
    std::string key;
    key.reserve(linkId.size() + 1);
    for (char c : linkId) key.push_back(FoldCase(c));
    key.push_back('~');
    return key;
}
} // namespace

const LinkEntry* Network::findLink(std::string_view linkId) const { return UPBLinks.findFolded(LinkKey(linkId)); }
LinkEntry* Network::findLink(std::string_view linkId) { return UPBLinks.findFolded(LinkKey(linkId)); }

void Network::forEachState(
    const std::function<void(UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>&)>& f,
    bool includeUntracked) const {
    for (const auto& [key, module] : UPBModules) {
        if (!module) continue;
        // A handler may add channels or states while we walk: the walk covers
        // what was there when it reached each collection, and holds the
        // channel and state it is on (an append may move the vectors' items).
        // No copies of the collections: at start-up this walk runs over
        // thousands of states several times.
        const auto& channels = module->ChannelCollection();
        const size_t channelCount = channels.size();
        for (size_t c = 0; c < channelCount && c < channels.size(); ++c) {
            const std::shared_ptr<UPBChannel> channel = channels[c];
            const auto& states = channel->LinkCollection;
            const size_t stateCount = states.size();
            for (size_t i = 0; i < stateCount && i < states.size(); ++i) {
                if (!includeUntracked && states[i]->StatusMask == 0) continue;
                const std::shared_ptr<UPBLinkState> state = states[i];
                f(*module, *channel, state);
            }
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
    if (!channel) throw VbError("Object variable or With block variable not set");
    auto module = channel->Parent.lock();
    if (!module) throw VbError("Object variable or With block variable not set");
    // Start-up builds one per tracked state: one string, no temporaries.
    std::string out;
    out.reserve(17);
    out += "UPB";
    out += Hex2(HexField(module->NetId));
    out += "_M";
    out += Hex2(HexField(module->ModuleID));
    out += "_C";
    out += Hex2(channel->Channel + 1);
    out += '_';
    out += Hex2(state.Componentindex + 1);
    return out;
}

std::string xapName(const Network& network, const UPBLinkState& state, LogSink* log) {
    std::string result;
    bool ok = Guard(log, "xapName", [&] {
        auto module = state.module();
        if (!module) throw VbError("Object variable or With block variable not set");
        const LinkEntry* link = network.findLink(state.OnLink);
        result.reserve(10 + module->Room.size() + module->name.size() + (link ? 1 + link->Item(2).size() : 0));
        result += "Tarvelo_";
        result += module->Room;
        result += '_';
        result += module->name;
        if (link) {
            result += '_';
            result += link->Item(2);
        }
        for (char& c : result)
            if (c == ' ') c = '_';
    });
    return ok ? result : "Unknown.Unknown.Unknown";
}

} // namespace tarvelo::model
