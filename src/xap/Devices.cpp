#include "xap/Devices.h"

#include "common/Text.h"

namespace tarvelo::xap {

namespace {
// A section read as one text: entries separated by character 0, quotes removed.
std::vector<std::string> SectionEntries(app::SettingsCache& ini, const std::string& section) {
    std::vector<std::string> out;
    for (std::string& entry : Split(RemoveQuotes(ini.GetINISection(section, DevicesOfInterest::kFile)), std::string(1, '\0')))
        if (!entry.empty()) out.push_back(std::move(entry));
    return out;
}

// The piece after the first "=", up to any further "=".
std::string SecondPiece(const std::string& entry, size_t eq) {
    size_t next = entry.find('=', eq + 1);
    return entry.substr(eq + 1, next == std::string::npos ? std::string::npos : next - eq - 1);
}
} // namespace

void DevicesOfInterest::InitFilterDictionary() {
    filters_.clear();
    Guard(&log_, "InitFilterDictionary", [&] {
        for (const std::string& entry : SectionEntries(ini_, "Received")) {
            size_t eq = entry.find('=');
            std::string key = entry.substr(0, eq);
            if (key.empty() || filters_.exists(key)) continue;
            filters_.add(key, eq == std::string::npos ? std::string() : SecondPiece(entry, eq));
        }
    });
}

void DevicesOfInterest::InitDeviceDictionary() {
    devices_.clear();
    std::vector<std::string> entries;
    if (!Guard(&log_, "InitDeviceDictionary", [&] { entries = SectionEntries(ini_, "Devices"); })) return;
    for (const std::string& entry : entries) {
        // One faulty entry is logged and skipped: stopping here would drop
        // every later device from the file at the next save.
        Guard(&log_, "InitDeviceDictionary", [&] {
            size_t eq = entry.find('=');
            if (eq == std::string::npos) throw VbError("Invalid procedure call or argument");
            std::string tag = entry.substr(0, eq);
            if (tag.empty() || devices_.exists(tag)) return;
            auto device = std::make_shared<DeviceClass>();
            device->Tag = tag;
            std::vector<std::string> pieces = Split(SecondPiece(entry, eq), ";");
            device->LastChange = ParseDate(pieces[0]).value_or(MakeDate(2000, 1, 1));
            for (size_t i = 1; i < pieces.size(); ++i) {
                // Values are kept under the item name, as a capture keeps them;
                // only the settings key carries the tag.
                const std::string& name = pieces[i];
                if (device->MessageList.exists(name)) continue;  // a repeated name keeps its first value
                device->MessageKeyList.push_back(name);
                device->MessageList.add(name, ini_.GetIniSetting("Device Messages", LCase(tag + "." + name), "", kFile));
            }
            devices_.add(tag, std::move(device));
        });
    }
}

void DevicesOfInterest::SaveDeviceDictionary() {
    Guard(&log_, "SaveDeviceDictionary", [&] {
        ini_.ClearINISection("Devices", kFile);
        ini_.ClearINISection("Device Messages", kFile);
        for (const auto& [tag, device] : devices_) {
            std::string value = FormatDateTime(device->LastChange);
            for (const std::string& name : device->MessageKeyList) value += ";" + name;
            ini_.SaveIniSetting("Devices", tag, value, kFile);
            size_t i = 0;
            for (const auto& [key, captured] : device->MessageList) {
                if (i >= device->MessageKeyList.size()) break;
                ini_.SaveIniSetting("Device Messages", tag + "." + device->MessageKeyList[i], captured, kFile);
                ++i;
            }
        }
    });
}

void DevicesOfInterest::LinkDevicesToModules() {
    network_.forEachState(
        [&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& state) {
            if (state->Tag.empty()) return;
            if (auto* device = devices_.find(state->Tag)) {
                (*device)->Link = state;
                return;
            }
            auto device = std::make_shared<DeviceClass>();
            device->Tag = state->Tag;
            device->Link = state;
            devices_.add(state->Tag, std::move(device));
        },
        /*includeUntracked=*/true);
}

void DevicesOfInterest::Capture(const XapMessage& message) {
    if (filters_.empty()) return;
    const std::string* filter = filters_.find(message.MsgSource() + "~" + message.MsgClass());
    if (!filter) return;

    OrderedDict<std::string, true> values;
    std::vector<std::string> names;
    const std::vector<std::string> sections = message.MsgSection();
    for (size_t s = 0; s < sections.size(); ++s) {
        const MsgCollection* items = message.msgCollection(static_cast<int16_t>(s));
        if (!items) continue;
        for (const MsgCollection::Item& item : items->items()) {
            size_t eq = item.line.find('=');
            if (eq == std::string::npos) continue;
            std::string name = sections[s] + ".";
            name.append(item.line.substr(0, eq));
            if (values.exists(name)) continue;
            values.add(name, std::string(item.line.substr(eq + 1)));
            names.push_back(std::move(name));
        }
    }

    std::vector<std::string> pieces = Split(*filter, ";");
    const std::string& tag = pieces[0];
    const std::string trigger = pieces.size() > 1 ? pieces[1] : "";
    std::shared_ptr<DeviceClass>* found = devices_.find(tag);
    if (!found) return;
    DeviceClass& device = **found;
    device.MessageList = std::move(values);
    device.MessageKeyList = std::move(names);
    device.LastChange = DateFromLocalMillis(clock_.localMillis());
    device.Sequence = network_.NextSequence();
    if (!trigger.empty() && queueScriptEvent_) queueScriptEvent_(*found);
}

} // namespace tarvelo::xap
