#pragma once
// The in-memory picture of the UPB installation: modules, their channels, and
// one tracked link state per controllable or reportable component.
//
// Ownership: a module owns its channels and a channel its link states
// (shared_ptr); back-pointers are weak_ptr, so a state or channel that outlives
// a replaced model answers "no parent" instead of dangling.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Dictionary.h"
#include "common/Guard.h"
#include "common/SharedText.h"
#include "common/VbDate.h"
#include "platform/Platform.h"

namespace tarvelo::model {

struct UPBModule;
struct UPBChannel;

struct UPBLinkState {
    std::weak_ptr<UPBChannel> Parent;
    SharedText Values;  // command names: name 0x02 index, joined by 0x01; shared by a kind's states
    std::string LastCommand;
    int16_t DefaultOnCommand = 0;
    int16_t DefaultOnLevel = 0;
    int16_t DefaultOffCommand = 0;
    std::string DefaultOnLink;
    std::string DefaultOffLink;
    int16_t OnCommand = 0;
    int16_t OffCommand = 0;
    std::string OnLink;
    std::string OffLink;
    std::string X10;
    std::string Tag;
    std::string Delay;
    bool Controllable = false;
    bool EventNotification = false;
    int16_t Componentindex = 0;
    int16_t Timerindex = 0;
    int16_t StatusMask = 0;
    // Module id x 256 + counter: ids above 127 do not fit 16 bits, so 32 bits.
    int32_t UIDindex = 0;
    VbDate LastChange = 0;
    int16_t Value = 0;
    bool Used = false;
    bool Invert = false;
    int32_t Sequence = 0;
    int32_t Milliseconds = 0;  // whole seconds since local midnight

    std::shared_ptr<UPBChannel> channel() const { return Parent.lock(); }
    std::shared_ptr<UPBModule> module() const;
};

struct UPBChannel {
    std::weak_ptr<UPBModule> Parent;
    std::vector<std::shared_ptr<UPBLinkState>> LinkCollection;
    int16_t Channel = 0;

    // Appends a state and makes this channel its parent.
    void add(const std::shared_ptr<UPBChannel>& self, std::shared_ptr<UPBLinkState> state);
};

struct UPBModule {
    std::string ModuleID;
    std::string NetId;
    int16_t Kind = 0;
    int16_t index = 0;
    int16_t Inputs = 0;
    int16_t Outputs = 0;
    int16_t Channels = 0;
    int16_t Components = 0;
    std::string name;
    std::string Room;

    // Appends the channel (no key) and hands it back.
    std::shared_ptr<UPBChannel> AddChannel(std::shared_ptr<UPBChannel> channel) {
        ChannelCollection_.push_back(channel);
        return channel;
    }
    // 1-based position; out of range is an error.
    std::shared_ptr<UPBChannel> Channel(size_t position) const;
    std::vector<std::shared_ptr<UPBChannel>>& ChannelCollection() { return ChannelCollection_; }
    const std::vector<std::shared_ptr<UPBChannel>>& ChannelCollection() const { return ChannelCollection_; }

private:
    std::vector<std::shared_ptr<UPBChannel>> ChannelCollection_;
};

// Expected result of a transmission: the state it changes and its new value.
struct UPBStatus {
    std::shared_ptr<UPBLinkState> Link;
    int16_t Value = 0;
};

// The PIM's own identity and signal figures.
struct UPBPIM {
    int16_t ModuleID = 0;
    int16_t NetId = 0;
    int32_t NetPassword = 0;
    int16_t SignalStrength = 0;
    int16_t NoiseFloor = 0;
    int32_t NoiseCounts = 0;
};

// A link entry: item 1 link id, 2 link name, 3 link UID, 4.. module ids.
struct LinkEntry {
    std::vector<std::string> items;
    size_t Count() const { return items.size(); }
    // 1-based; out of range is an error.
    const std::string& Item(size_t position) const;
};

using ModuleMap = OrderedDict<std::shared_ptr<UPBModule>, /*CaseInsensitive=*/false>;

// The shared containers, replaced as a whole by each import.
struct Network {
    ModuleMap UPBModules;
    KeyedCollection<LinkEntry> UPBLinks;  // key: link id + "~"
    std::string NetworkId;
    int32_t StateSequence = 0;
    int16_t UIDCounter = 0;

    const LinkEntry* findLink(std::string_view linkId) const;
    LinkEntry* findLink(std::string_view linkId);

    // The walk used everywhere: module keys in order, channels, states;
    // states with StatusMask 0 are skipped unless includeUntracked.
    void forEachState(const std::function<void(UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>&)>& f,
                      bool includeUntracked = false) const;

    // Adds 1 to StateSequence and returns it; overflow is an error.
    int32_t NextSequence();
};

// Stamps a change with the present local time: LastChange, and Milliseconds
// as whole seconds since midnight.
void StampNow(UPBLinkState& state, const platform::Clock& clock);

// Kind codes and their names.
enum Kind : int16_t { KindLink = 0, KindKeypad = 1, KindSwitch = 2, KindInput = 3, KindModule = 4, KindIO = 5,
                      KindVPM = 6, KindVHC = 7, KindOther = 8 };
const char* KindName(int kind);  // "Link" .. "Other"; "" outside 0..8

// The status-mask table entry for (kind, component); outside 0..7 is an error.
int16_t StatusMaskFor(int kind, int component);

// "UPB" + net + "_M" + module + "_C" + (channel + 1) + "_" + (component + 1), two hex digits each.
std::string ComponentUID(const UPBLinkState& state);
// "Tarvelo_" + room + "_" + name [+ "_" + link name], blanks as "_";
// "Unknown.Unknown.Unknown" (and a "xapName" log entry) for an orphan state.
std::string xapName(const Network& network, const UPBLinkState& state, LogSink* log);

} // namespace tarvelo::model
