// What a post to the status page does: save the display options and the
// rows the page showed, reload the scripts, query every device, or carry
// out a row button.
#include <unordered_map>

#include "common/Text.h"
#include "web/StatusPage.h"

namespace tarvelo::web {

namespace {

// A checkbox counts as set when its field is present and not empty.
bool Ticked(const Request& request, const std::string& name) { return !request.Form(name).empty(); }

// ";" would split the state record that keeps these fields.
std::string RecordField(const std::string& text) { return Replace(text, ";", "_"); }

} // namespace

bool StatusPage::ClientRequest(const PageContext& page) {
    bool redraw = true;
    Guard(&log_, "Status ClientRequest ", [&] {
        const Request& request = page.request;
        if (!request.Form("UpdateButton").empty()) {
            SaveDisplayOptions(request);
            // Each section saves only when the posted page showed it.
            if (!request.Form("ShownSetup").empty()) SaveSettings(request);
            if (request.Form("ShownStatus") == "2") SaveRows(request);
            if (!request.Form("ShownEditMap").empty()) SaveLinkMap(request);
            if (!request.Form("ShownFilters").empty()) SaveFilterSettigs(request);
        } else if (!request.Form("script").empty()) {
            redraw = false;
            if (callbacks_.ReadScript) callbacks_.ReadScript();
            else log_.WriteLog("Tarvelo", "Read Script: no script host is running");
        } else if (!request.Form("query").empty()) {
            if (callbacks_.BSCQuery) callbacks_.BSCQuery(">:>");
        } else {
            const std::string input = request.Form("clientinput");
            if (input != "yes" && !input.empty()) RowCommand(request);
        }
    });
    return redraw;
}

void StatusPage::SaveDisplayOptions(const Request& request) {
    auto flag = [&](const char* key, bool& field) {
        field = Ticked(request, key);
        ini_.SaveIniSetting("UPB", key, BoolWord(field), kFile);
    };
    flag("ShowEditMap", state_.ShowEditMap);
    flag("ShowReceiveMessages", state_.ShowReceiveMessages);
    flag("ShowSetup", state_.ShowSetup);
    flag("ShowOnlyUsed", state_.ShowOnlyUsed);
    flag("ShowReceiveDetail", state_.ShowReceiveDetail);
    flag("ShowInputLinks", state_.ShowInputLinks);
    const double mode = Val(request.Form("ShowStatus"));
    state_.ShowStatus = mode >= 0 && mode <= 2 ? static_cast<int16_t>(mode) : 0;
    ini_.SaveIniSetting("UPB", "ShowStatus", Dec(state_.ShowStatus), kFile);
}

void StatusPage::SaveRows(const Request& request) {
    // The rows the posted page listed, by their component index: unique,
    // where two components may share a link.
    std::unordered_map<int32_t, std::shared_ptr<model::UPBLinkState>> byIndex;
    network_.forEachState(
        [&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
            byIndex.emplace(s->UIDindex, s);
        },
        /*includeUntracked=*/true);
    for (const std::string& item : Split(request.Form("ShownRows"), " ")) {
        if (item.empty() || !IsNumeric(item)) continue;
        const auto it = byIndex.find(static_cast<int32_t>(Val(item)));
        if (it == byIndex.end()) continue;
        model::UPBLinkState& s = *it->second;
        s.Used = Ticked(request, "Used" + item);
        s.Invert = Ticked(request, "Invert" + item);
        s.X10 = RecordField(request.Form("X10" + item));
        s.Delay = RecordField(request.Form("Delay" + item));
        s.Tag = TagText(request.Form("Tag" + item));
        s.EventNotification = Ticked(request, "Event" + item);
        if (s.EventNotification && !s.Tag.empty() && callbacks_.AddDeviceOfInterest)
            callbacks_.AddDeviceOfInterest(s.Tag, it->second);
    }
}

void StatusPage::Note(const std::string& text) {
    notes_.push_back(text);
    log_.WriteLog("Tarvelo", "Status ClientRequest " + text);
}

void StatusPage::RowCommand(const Request& request) {
    const std::string name = request.Form("clientinput");
    const char kind = name[0];
    if (kind != 'D' && kind != 'V' && kind != 'I' && kind != 'Q') return;
    std::string id = name.substr(1);
    bool device = kind == 'D';
    if (!id.empty() && id[0] == 'R') {
        id.erase(0, 1);
        device = true;
    }

    std::string value = UCase(request.Form("clientvalue"));
    if (kind == 'I') value = value == "ON" ? "OFF" : value == "OFF" ? "ON" : value;
    if (kind == 'D' || kind == 'V') {
        // The text box beside the button; a drop-down carries its choice itself.
        const std::string box = request.Form("Value" + name);
        if (!box.empty()) value = UCase(box);
    }

    if (kind == 'V') {
        if (auto state = GetUPBLinkObject(id)) ChooseFromList(state, value);
        return;
    }

    if (!IsNumeric(value)) {
        if (value == "ON") value = "100";
        else if (value == "OFF") value = "0";
        else if (value != "ACTIVATE") {
            log_.WriteLog("Tarvelo", "Status ClientRequest " + name + " has no command '" + value + "'");
            return;
        }
    }
    const bool activate = value == "ACTIVATE";
    const int16_t level = activate ? -1 : ToInt16(Val(value));

    auto status = std::make_shared<model::UPBStatus>();
    if (device) {
        const std::shared_ptr<model::UPBModule>* module = network_.UPBModules.find(id);
        if (!module || !*module) return;
        for (const auto& channel : (*module)->ChannelCollection())
            if (!status->Link && !channel->LinkCollection.empty()) status->Link = channel->LinkCollection.front();
        if (!status->Link) return;
    } else {
        status->Link = GetUPBLinkObject(id);
        if (!status->Link) return;
    }
    status->Value = level;
    if (callbacks_.SendUPBCommand)
        callbacks_.SendUPBCommand(status, !device, ToInt16(Val(id)), activate || level != 0, level, -1);
}

void StatusPage::ChooseFromList(const std::shared_ptr<model::UPBLinkState>& state, const std::string& choice) {
    const std::string wanted = Replace(choice, " ", "+");
    const std::vector<std::string> entries = Split(state->Values, "\x01");
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string name = entries[i].substr(0, entries[i].find('\x02'));
        if (name.empty() || !EqualsNoCase(Replace(name, " ", "+"), wanted)) continue;
        state->LastCommand = Dec(static_cast<long long>(i));
        if (callbacks_.ControlUPBLink) callbacks_.ControlUPBLink(state, state->LastCommand);
        return;
    }
}

} // namespace tarvelo::web
