#include "model/StateRecords.h"

#include "common/Text.h"
#include "common/VbDate.h"
#include "upb/codec/Packet.h"

namespace tarvelo::model {

namespace {

std::string Field(const std::string& text) { return Replace(text, ";", "_"); }

} // namespace

std::string FormatStateRecord(const UPBLinkState& s) {
    return Join({FormatDateTime(s.LastChange), Dec(s.Value), BoolWord(s.Invert), BoolWord(s.Used), Field(s.Delay),
                 Field(s.Tag), BoolWord(s.EventNotification), Field(s.X10), Field(s.LastCommand)},
                ";");
}

std::optional<StateRecord> ParseStateRecord(const std::string& text, VbDate now) {
    if (text.empty()) return std::nullopt;
    std::vector<std::string> f = Split(text, ";");
    if (f.size() != 9) return std::nullopt;
    StateRecord r;
    r.LastChange = ParseDate(f[0]).value_or(now);
    r.Value = ToInt16(Val(f[1]));
    r.Invert = BoolText(f[2]);
    r.Used = BoolText(f[3]);
    r.Delay = f[4];
    r.Tag = f[5];
    r.EventNotification = BoolText(f[6]);
    r.X10 = f[7];
    r.LastCommand = f[8];
    return r;
}

std::string LinkMapName(const Network& network, const UPBLinkState& state, LogSink* log) {
    return Replace(xapName(network, state, log), "Tarvelo_", "");
}

StateRecords::StateRecords(Network& network, LogSink& log, app::SettingsCache& ini, Tracker& tracker,
                           const platform::Clock& clock)
    : network_(network), log_(log), ini_(ini), tracker_(tracker), clock_(clock) {}

void StateRecords::ReadLastChange() {
    recordsRestored_ = 0;
    Guard(&log_, "ReadLastChange", [&] {
        tracker_.ClearDelayTimers();
        network_.forEachState([&](UPBModule& module, UPBChannel&, const std::shared_ptr<UPBLinkState>& state) {
            // A corrupt record costs only its own component.
            Guard(&log_, "ReadLastChange", [&] {
                const std::string text = ini_.GetIniSetting("UPB", ComponentUID(*state), "", kFile);
                if (text.empty()) return;  // no record: nothing to parse, no clock to read
                const std::optional<StateRecord> r =
                    ParseStateRecord(text, DateFromLocalMillis(clock_.localMillis()));
                if (!r) return;
                state->LastChange = r->LastChange;
                state->Value = r->Value;
                state->Invert = r->Invert;
                state->Used = r->Used;
                state->Delay = r->Delay;
                state->Tag = r->Tag;
                state->EventNotification = r->EventNotification;
                state->X10 = r->X10;
                state->LastCommand = r->LastCommand;
                ++recordsRestored_;
                if (module.Kind == 5) tracker_.AddDelayTimer(state);
            });
        });
    });
}

void StateRecords::ApplyLinkEditMap() {
    linkMapApplied_ = 0;
    Guard(&log_, "ApplyLinkEditMap", [&] {
        if (network_.UPBModules.empty()) return;
        network_.forEachState([&](UPBModule& module, UPBChannel&, const std::shared_ptr<UPBLinkState>& state) {
            if (module.Kind == 8) {
                // Rain8 valves are switched by a device GoTo to their own id.
                state->OnCommand = state->OffCommand = upb::kGoTo;
                state->OnLink = state->OffLink = "R" + module.ModuleID;
                return;
            }
            Guard(&log_, "ApplyLinkEditMap", [&] {
                const std::string entry = ini_.GetIniSetting("Link Map", LinkMapName(network_, *state, &log_), "", kFile);
                if (entry.empty()) return;
                std::vector<std::string> f = Split(entry, ";");
                f.resize(4);
                bool changed = false;
                auto apply = [&](const std::string& choice, const std::string& command, std::string& link,
                                 int16_t& mdid) {
                    const std::string trimmed = TrimSpaces(choice);
                    if (trimmed.empty()) return;
                    const std::string id = Split(trimmed, ":")[0];
                    if (!IsNumeric(id)) return;
                    link = id;
                    mdid = static_cast<int16_t>(upb::CommandLookup(command));
                    changed = true;
                };
                apply(f[0], f[1], state->OnLink, state->OnCommand);
                apply(f[2], f[3], state->OffLink, state->OffCommand);
                if (changed) ++linkMapApplied_;
            });
        });
    });
}

void StateRecords::BuildX10Dictionary() {
    Guard(&log_, "BuildX10Dictionary", [&] {
        x10_.clear();
        if (network_.UPBModules.empty()) return;
        network_.forEachState(
            [&](UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>& state) {
                if (!state->X10.empty() && !x10_.exists(state->X10)) x10_.add(state->X10, state);
            },
            /*includeUntracked=*/true);
    });
}

void StateRecords::SaveLinkStates() {
    Guard(&log_, "SaveLinkStates", [&] {
        network_.forEachState([&](UPBModule&, UPBChannel&, const std::shared_ptr<UPBLinkState>& state) {
            ini_.SaveIniSetting("UPB", ComponentUID(*state), FormatStateRecord(*state), kFile);
        });
    });
}

} // namespace tarvelo::model
