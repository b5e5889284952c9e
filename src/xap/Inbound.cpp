// Received xAP messages: the filter capture, the target gate, and the classes
// the gateway serves.

#include <cmath>
#include <set>

#include "common/Text.h"
#include "upb/codec/Packet.h"
#include "xap/XapService.h"

namespace tarvelo::xap {

namespace {
int16_t LinkId(const std::string& text) { return ToInt16(Val(text)); }

int16_t Clamp100(int v) { return static_cast<int16_t>(v < 0 ? 0 : v > 100 ? 100 : v); }
} // namespace

void XapService::Readmessage(const std::string& text) {
    Guard(&log_, "Readmessage", [&] {
        // Several senders end lines with CR LF, and some pad datagrams with NULs.
        std::string clean = text;
        while (!clean.empty() && clean.back() == '\0') clean.pop_back();
        clean = Replace(clean, "\r\n", "\n");

        XapMessage message(&log_);
        message.Init();
        message.FromXap(clean);
        devices_.Capture(message);

        const std::string& source = transport_.XapSource();
        if (!message.CompareTarget(source) && !message.CompareTarget(kUnknown)) return;

        if (message.CompareClass("xAPBSC.query")) {
            if (message.CompareTarget(source)) BSCQuery(message.MsgTarget());
        } else if (message.CompareClass("xAPBSC.cmd")) {
            if (message.CompareTarget(source)) BscCommandSections(message);
        } else if (message.CompareClass("xAP-X10.request")) {
            X10Request(message);
        } else if (message.CompareClass("ZIZ.Echo")) {
            std::string query = message.GetItem("Echo.Query", "Query");
            if (query != kUnknown)
                SendXapMessage(message.MsgSource(), "ZIZ.Echo", "Echo.Response", MsgData().add("Response", LCase(query)).str(),
                               "", "");
        } else if (message.CompareClass("Time.Today")) {
            sunrise_ = message.GetItem("Time.Today", "Sunrise");
            sunset_ = message.GetItem("Time.Today", "Sunset");
        } else if (message.CompareClass("Homeseer.Role")) {
            std::string role = LCase(message.GetItem("Role.Query", "Role"));
            if (role == "application" || role == "any")
                SendXapMessage("", "Homeseer.Role", "Role.Notification",
                               MsgData().add("Role", "UPB").add("Path", platform_.executablePath()).add("Form", "EchoWindow").str(),
                               "", "");
        }
    });
}

void XapService::BscCommandSections(const XapMessage& message) {
    // Item values keep the blanks around "=" that some senders write; a blank
    // must not turn "ID = 0A01" into no match, or "State = on" into off.
    auto item = [&](const std::string& section, const char* key) { return TrimSpaces(message.GetItem(section, key)); };
    std::string id = item("output.state", "ID");
    if (id != kUnknown) {
        BSCCmd(message.MsgTarget(), id, item("output.state", "State"), item("output.state", "Level"));
        return;
    }
    for (int n = 1; n <= 5; ++n) {
        const std::string section = "output.state." + Dec(n);
        id = item(section, "ID");
        if (id == kUnknown) return;
        BSCCmd(message.MsgTarget(), id, item(section, "State"), item(section, "Level"));
    }
}

void XapService::BSCCmd(const std::string& target, const std::string& id, const std::string& state,
                        const std::string& level) {
    Guard(&log_, "BSCCmd", [&] {
        std::optional<BscName> pattern = SubAddressPattern(target);
        if (!pattern) return;
        if (id == "*") {
            std::vector<std::shared_ptr<model::UPBLinkState>> chosen;
            network_.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
                if (PatternMatches(*pattern, bscName(*s))) chosen.push_back(s);
            });
            for (const auto& s : chosen) ActOn(s, state, level);
            return;
        }
        const int16_t index = FromHex(id, &log_);
        std::shared_ptr<model::UPBLinkState> found;
        network_.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
            if (!found && s->UIDindex == index) found = s;
        });
        if (found) ActOn(found, state, level);
    });
}

void XapService::ActOn(const std::shared_ptr<model::UPBLinkState>& state, const std::string& stateText,
                       const std::string& level) {
    if (level != kUnknown) {
        state->LastCommand = level;
        ControlUPBLink(state, level);
    } else {
        state->LastCommand = LCase(stateText) == "on" ? "1" : "0";
        ControlUPBLink(state, stateText);
    }
}

void XapService::ControlUPBLink(const std::shared_ptr<model::UPBLinkState>& state, const std::string& value) {
    Guard(&log_, "ControlUPBLink", [&] {
        std::string v = LCase(value.substr(0, value.find('/')));
        if (state->Invert) {
            if (v == "on") v = "off";
            else if (v == "off") v = "on";
        }
        auto module = state->module();
        if (!module) throw VbError("Object variable or With block variable not set");
        auto status = std::make_shared<model::UPBStatus>();
        status->Link = state;
        const int16_t moduleId = ToInt16(Val(module->ModuleID));
        auto send = [&](int16_t expected, bool isLink, int16_t destination, bool on, int16_t lvl, int16_t command) {
            status->Value = expected;
            if (callbacks_.SendUPBCommand) callbacks_.SendUPBCommand(status, isLink, destination, on, lvl, command);
        };
        auto direct = [&](int16_t expected, int16_t lvl, int16_t command) { send(expected, false, moduleId, false, lvl, command); };

        const int kind = module->Kind;
        if (kind == 1) return send(-1, true, LinkId(state->OnLink), true, -1, -1);
        if (kind != 2 && kind != 3) {
            if (v == "on") return send(100, true, LinkId(state->OnLink), true, -1, -1);
            return send(0, true, LinkId(state->OffLink), false, -1, -1);
        }
        if (v == "0" || v == "off") {
            if (LinkId(state->OffLink) > 0) return send(0, true, LinkId(state->OffLink), false, -1, -1);
            return direct(0, 0, upb::kGoTo);
        }
        if (v == "1" || v == "on") {
            if (LinkId(state->OnLink) > 0) return send(state->DefaultOnLevel, true, LinkId(state->OnLink), true, -1, -1);
            return direct(state->DefaultOnLevel, state->DefaultOnLevel, upb::kGoTo);
        }
        if (v == "2") return direct(0, 0, upb::kGoTo);
        if (v == "3") return direct(100, 100, upb::kGoTo);
        if (v == "4" || v == "5" || v == "6") {
            const int16_t rate = v == "4" ? 212 : v == "5" ? 127 : 40;
            return direct(state->Value, rate, upb::kBlink);
        }
        // "7".."25": the fade rows of the command-name list.
        if (!v.empty() && v.size() <= 2 && v[0] != '0' && v.find_first_not_of("0123456789") == std::string::npos) {
            const int n = std::stoi(v);
            if (n >= 7 && n <= 17) {
                const int16_t lvl = static_cast<int16_t>((n - 7) * 10);
                return direct(lvl, lvl, upb::kFadeStart);
            }
            static const int steps[] = {5, 10, 25, 50};
            if (n >= 18 && n <= 21) {
                const int16_t lvl = Clamp100(state->Value - steps[n - 18]);
                return direct(lvl, lvl, upb::kFadeStart);
            }
            if (n >= 22 && n <= 25) {
                const int16_t lvl = Clamp100(state->Value + steps[n - 22]);
                return direct(lvl, lvl, upb::kFadeStart);
            }
        }
        const double whole = Val(value);
        if (whole >= 100) {
            const int16_t lvl = ToInt16(whole - 100);
            return direct(lvl, lvl, upb::kFadeStart);
        }
        send(0, true, LinkId(state->OffLink), false, -1, -1);
    });
}

void XapService::BSCQuery(const std::string& target) {
    Guard(&log_, "BSCQuery", [&] {
        std::optional<BscName> pattern = SubAddressPattern(target);
        if (!pattern) return;
        std::set<std::string> asked;
        std::vector<std::shared_ptr<model::UPBLinkState>> chosen;
        network_.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
            if (s->Used && PatternMatches(*pattern, bscName(*s))) chosen.push_back(s);
        });
        for (const auto& state : chosen) {
            auto module = state->module();
            if (!module) continue;
            const BscName name = bscName(*state);
            const std::string sub = LCase(JoinName(name));
            const std::string uid = LinkUID(configuredUID(), state->UIDindex);

            // Pass 1: the value list, one section per entry.
            if (state->Controllable && state->Values.find('\x01') != std::string::npos) {
                const std::vector<std::string> entries = Split(state->Values, "\x01");
                const std::string last = Dec(static_cast<long long>(entries.size()) - 1);
                MsgData data;
                int written = 0;
                for (const std::string& entry : entries) {
                    size_t sep = entry.find('\x02');
                    const std::string entryName = entry.substr(0, sep);
                    const std::string index = sep == std::string::npos ? "" : entry.substr(sep + 1);
                    if (!IsNumeric(index)) continue;
                    if (written == 0) {
                        data.add("Text", entryName).add("Level", index + "/" + last);
                    } else {
                        data.raw("\n}\nvalues." + Dec(written + 1) + "\n{\nText=" + entryName + "\nLevel=" + index + "/" + last);
                    }
                    ++written;
                }
                if (written > 0) PacedSend({"", uid, "xAPBSC.Values", "values.1", data.str(), sub, ""});
            }

            // Pass 2: the info message, with one status request per module.
            if (asked.insert(module->ModuleID).second && callbacks_.GetUPBState) callbacks_.GetUPBState(module->ModuleID);
            PacedSend({"", uid, "xAPBSC.Info", state->Controllable ? "output.state" : "input.state",
                       IncludeContent(*state, module->Kind), sub, ""});
        }
    });
}

void XapService::X10Request(const XapMessage& message) {
    const std::string section = "xAP-X10.request";
    const std::string device = message.GetItem(section, "device");
    if (device == kUnknown) return;
    const std::string command = LCase(message.GetItem(section, "command"));
    const double count = Val(message.GetItem(section, "count"));
    int level = 0;
    bool dimming = false;
    if (command == "bright") { level = ToInt16(count); dimming = true; }
    else if (command == "extended") { level = ToInt16(std::nearbyint(count * 100.0 / 63.0)); dimming = true; }
    else if (command == "dim") { level = ToInt16(count); dimming = true; }
    else if (command == "on") level = 100;

    model::X10Dictionary* lookup = callbacks_.x10Lookup ? callbacks_.x10Lookup() : nullptr;
    if (!lookup) return;
    for (const std::string& address : Split(device, ",")) {
        std::shared_ptr<model::UPBLinkState>* hit = lookup->find(address);
        if (!hit || !*hit) continue;
        const std::shared_ptr<model::UPBLinkState>& state = *hit;
        auto status = std::make_shared<model::UPBStatus>();
        status->Link = state;
        int lvl = level;
        if (dimming) {
            auto module = state->module();
            if (!module) continue;
            if (command == "dim") lvl = Clamp100(state->Value - level);
            status->Value = static_cast<int16_t>(lvl);
            if (callbacks_.SendUPBCommand)
                callbacks_.SendUPBCommand(status, false, ToInt16(Val(module->ModuleID)), lvl != 0, static_cast<int16_t>(lvl), -1);
        } else {
            status->Value = static_cast<int16_t>(lvl);
            const int16_t link = LinkId(lvl >= 1 ? state->OnLink : state->OffLink);
            if (callbacks_.SendUPBCommand) callbacks_.SendUPBCommand(status, true, link, lvl != 0, -1, -1);
        }
    }
}

} // namespace tarvelo::xap
