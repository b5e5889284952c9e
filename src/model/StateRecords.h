#pragma once
// What the user chose for each tracked component, kept in Tarvelo.ini:
// section "UPB" holds one state record per component (its last state and
// its user settings), section "Link Map" redirects a component's on and off
// actions to other links and commands. Applied right after the import, in
// this order: ReadLastChange, ApplyLinkEditMap, BuildX10Dictionary; the
// records are written back by SaveLinkStates at shut-down.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsCache.h"
#include "common/Dictionary.h"
#include "common/Guard.h"
#include "model/Network.h"
#include "model/Tracker.h"
#include "platform/Platform.h"

namespace tarvelo::model {

// A state record: nine fields joined by ";".
struct StateRecord {
    VbDate LastChange = 0;
    int16_t Value = 0;
    bool Invert = false;
    bool Used = false;
    std::string Delay;
    std::string Tag;
    bool EventNotification = false;
    std::string X10;
    std::string LastCommand;
};

// The record text of a state (";" inside a text field becomes "_" so that
// the record always splits back into nine fields).
std::string FormatStateRecord(const UPBLinkState& state);
// nullopt when the text is not nine fields; a date that is not a date gives
// `now`; a value that does not fit 16 bits is an error (thrown).
std::optional<StateRecord> ParseStateRecord(const std::string& text, VbDate now);

// The link-map name of a state: its default name without "Tarvelo_".
std::string LinkMapName(const Network& network, const UPBLinkState& state, LogSink* log);
// The key of a state's "Link Map" entry: its link-map name with the on link
// it was imported with. The name holds the on link's name, and the map
// itself moves the on link; the key must stay where start-up looks for it.
std::string LinkMapKey(const Network& network, const UPBLinkState& state, LogSink* log);

// X10 address -> the first state that carries it (keys without regard to case).
using X10Dictionary = OrderedDict<std::shared_ptr<UPBLinkState>, /*CaseInsensitive=*/true>;

class StateRecords {
public:
    StateRecords(Network& network, LogSink& log, app::SettingsCache& ini, Tracker& tracker,
                 const platform::Clock& clock);

    void ReadLastChange();
    void ApplyLinkEditMap();
    void BuildX10Dictionary();
    void SaveLinkStates();

    X10Dictionary& x10Lookup() { return x10_; }
    // Link-map entries that changed a link at the last ApplyLinkEditMap.
    int linkMapApplied() const { return linkMapApplied_; }
    // State records restored at the last ReadLastChange.
    int recordsRestored() const { return recordsRestored_; }

    static constexpr const char* kFile = "Tarvelo.ini";

private:
    Network& network_;
    LogSink& log_;
    app::SettingsCache& ini_;
    Tracker& tracker_;
    const platform::Clock& clock_;
    X10Dictionary x10_;
    int linkMapApplied_ = 0;
    int recordsRestored_ = 0;
};

} // namespace tarvelo::model
