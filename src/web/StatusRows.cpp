// The status page's row table: one row per listed component, sorted and
// filtered like a record set, and the texts of its state and change cells.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Text.h"
#include "web/StatusPage.h"

namespace tarvelo::web {

namespace {

StatusRow AddLinkInfo(const model::Network& network, const model::UPBModule& module, const model::UPBChannel& channel,
                      const model::UPBLinkState& s) {
    StatusRow r;
    r.LinkOn = s.OnLink;
    r.LinkOff = s.OffLink;
    r.ModuleID = module.ModuleID;
    r.Location = module.Room + " " + module.name;
    if (const model::LinkEntry* link = network.findLink(s.OnLink); link && link->Count() >= 2) r.Name = link->Item(2);
    r.X10 = s.X10;
    r.Delay = s.Delay;
    r.Tag = s.Tag;
    r.Event = s.EventNotification;
    r.Used = s.Used;
    r.Invert = s.Invert;
    r.Changed = s.LastChange;
    const double id = Val(module.ModuleID);
    r.DCSort = Hex2(id >= 0 && id <= 255 ? static_cast<int>(id) : -1) + Hex2(channel.Channel) + Hex2(s.Componentindex);
    r.Status = s.Value;
    r.UIDIndex = s.UIDindex;
    r.Kind = module.Kind;
    if (!s.Values.empty()) r.Buttons = -1;
    else if (s.Controllable) r.Buttons = module.Kind == model::KindKeypad ? 1 : 2;
    else r.Buttons = 0;
    r.Values = s.Values;
    r.LastCommand = s.LastCommand;
    return r;
}

enum class FieldType { Text, Number, Flag };

struct SortField {
    FieldType type;
    std::string (*text)(const StatusRow&);
    double (*number)(const StatusRow&);
};

bool FindField(const std::string& name, SortField& out) {
    struct Named {
        const char* name;
        SortField field;
    };
    static const Named fields[] = {
        {"LinkOn", {FieldType::Text, [](const StatusRow& r) { return r.LinkOn; }, nullptr}},
        {"LinkOff", {FieldType::Text, [](const StatusRow& r) { return r.LinkOff; }, nullptr}},
        {"ModuleID", {FieldType::Text, [](const StatusRow& r) { return r.ModuleID; }, nullptr}},
        {"Location", {FieldType::Text, [](const StatusRow& r) { return r.Location; }, nullptr}},
        {"Name", {FieldType::Text, [](const StatusRow& r) { return r.Name; }, nullptr}},
        {"X10", {FieldType::Text, [](const StatusRow& r) { return r.X10; }, nullptr}},
        {"Delay", {FieldType::Text, [](const StatusRow& r) { return r.Delay; }, nullptr}},
        {"Tag", {FieldType::Text, [](const StatusRow& r) { return r.Tag; }, nullptr}},
        {"DCSort", {FieldType::Text, [](const StatusRow& r) { return r.DCSort; }, nullptr}},
        {"Values", {FieldType::Text, [](const StatusRow& r) { return r.Values; }, nullptr}},
        {"Event", {FieldType::Flag, nullptr, [](const StatusRow& r) { return r.Event ? 1.0 : 0.0; }}},
        {"Used", {FieldType::Flag, nullptr, [](const StatusRow& r) { return r.Used ? 1.0 : 0.0; }}},
        {"Invert", {FieldType::Flag, nullptr, [](const StatusRow& r) { return r.Invert ? 1.0 : 0.0; }}},
        {"Changed", {FieldType::Number, nullptr, [](const StatusRow& r) { return r.Changed; }}},
        {"Status", {FieldType::Number, nullptr, [](const StatusRow& r) { return double(r.Status); }}},
        {"UIDIndex", {FieldType::Number, nullptr, [](const StatusRow& r) { return double(r.UIDIndex); }}},
        {"Kind", {FieldType::Number, nullptr, [](const StatusRow& r) { return double(r.Kind); }}},
        {"Buttons", {FieldType::Number, nullptr, [](const StatusRow& r) { return double(r.Buttons); }}},
    };
    for (const Named& f : fields)
        if (EqualsNoCase(name, f.name)) {
            out = f.field;
            return true;
        }
    return false;
}

// Text compares without regard to case, as a record set's sort does.
int CompareText(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(FoldCase(a[i]));
        const unsigned char y = static_cast<unsigned char>(FoldCase(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::string HourMinuteSecond(VbDate date) {
    const DateParts p = SplitDate(date);
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
    return text;
}

} // namespace

std::vector<StatusRow> BuildStatusRows(const model::Network& network, LogSink& log) {
    std::vector<StatusRow> rows;
    network.forEachState(
        [&](model::UPBModule& module, model::UPBChannel& channel, const std::shared_ptr<model::UPBLinkState>& s) {
            if (s->StatusMask == 0 && module.Kind != model::KindKeypad) return;
            Guard(&log, "AddLinkInfo", [&] { rows.push_back(AddLinkInfo(network, module, channel, *s)); });
        },
        /*includeUntracked=*/true);
    return rows;
}

bool SortStatusRows(std::vector<StatusRow>& rows, const std::string& sortSpec) {
    struct Key {
        SortField field;
        bool descending;
    };
    std::vector<Key> keys;
    for (const std::string& part : Split(sortSpec, ",")) {
        std::vector<std::string> words;
        for (const std::string& w : Split(TrimSpaces(part), " "))
            if (!w.empty()) words.push_back(w);
        if (words.empty()) continue;
        Key key{};
        if (!FindField(words[0], key.field)) return false;
        key.descending = words.size() > 1 && EqualsNoCase(words[1], "DESC");
        if (words.size() > 1 && !key.descending && !EqualsNoCase(words[1], "ASC")) return false;
        keys.push_back(key);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const StatusRow& a, const StatusRow& b) {
        for (const Key& k : keys) {
            int c = 0;
            if (k.field.type == FieldType::Text) {
                c = CompareText(k.field.text(a), k.field.text(b));
            } else {
                const double x = k.field.number(a), y = k.field.number(b);
                c = x < y ? -1 : x > y ? 1 : 0;
            }
            if (c != 0) return k.descending ? c > 0 : c < 0;
        }
        return false;
    });
    return true;
}

std::string StateText(int16_t value, int16_t kind, bool invert) {
    if (kind == model::KindSwitch && value != 0 && value != 100) return Dec(value);
    const bool on = value != 0;
    return on != invert ? "ON" : "OFF";
}

std::string ChangedText(VbDate changed, VbDate today) {
    if (changed == 0 || changed == MakeDate(2000, 1, 1)) return "";
    if (changed >= today) return "Today " + HourMinuteSecond(changed);
    if (changed >= today - 1) return "Yesterday " + HourMinuteSecond(changed);
    return FormatDateTime(changed);
}

} // namespace tarvelo::web
