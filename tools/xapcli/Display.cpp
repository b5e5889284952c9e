#include "Display.h"

#include <algorithm>
#include <cstdio>

#include "HubCore.h"
#include "Messages.h"
#include "common/Guard.h"
#include "common/Text.h"
#include "xap/XapMessage.h"

namespace tarvelo::xapcli {

namespace {

// Keeps what the codec reports when it stops reading a message.
class ProblemSink : public LogSink {
public:
    void WriteLog(const std::string&, const std::string& data) override {
        if (!problem.empty()) return;
        // The entry reads "<procedure> Line <n> <description>"; a user needs the description.
        const size_t line = data.find(" Line ");
        size_t start = 0;
        if (line != std::string::npos) {
            const size_t blank = data.find(' ', line + 6);
            start = blank == std::string::npos ? data.size() : blank + 1;
        }
        problem = data.substr(start);
    }
    std::string problem;
};

bool IsStatusKey(const std::string& key) {
    const std::string k = LCase(key);
    return k == "state" || k == "level" || k == "text" || k == "displaytext" || k == "event" || k == "device" ||
           k == "count";
}

std::string Quoted(const std::string& value) {
    return value.find_first_of(" \t") == std::string::npos && !value.empty() ? value : "\"" + value + "\"";
}

const Section* FindSection(const Received& m, std::string_view name) {
    for (const Section& s : m.sections)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

const std::string* FindItem(const Section& s, std::string_view key) {
    for (const auto& [k, v] : s.items)
        if (EqualsNoCase(k, key)) return &v;
    return nullptr;
}

} // namespace

Received ParseDatagram(std::string_view datagram) {
    Received r;
    std::string text(datagram);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    r.text = Replace(text, "\r\n", "\n");

    std::string parse = r.text;
    const size_t firstEnd = parse.find('\n');
    const std::string first = LCase(TrimSpaces(parse.substr(0, firstEnd)));
    if (first == "xap-hbeat") {
        // The codec reads message headers only; a heartbeat has the same layout.
        r.heartbeat = true;
        parse = "xap-header" + (firstEnd == std::string::npos ? std::string() : parse.substr(firstEnd));
        r.interval = hub::HeartbeatField(r.text, "interval");
        r.port = hub::HeartbeatField(r.text, "port");
    } else if (first != "xap-header") {
        return r;
    }
    // Without a final LF the codec would not count the last section.
    if (!parse.empty() && parse.back() != '\n') parse += '\n';

    ProblemSink sink;
    xap::XapMessage message(&sink);
    message.FromXap(parse);
    r.xap = true;
    r.problem = sink.problem;
    r.msgClass = message.MsgClass();
    r.source = message.MsgSource();
    r.target = message.MsgTarget() == xap::kUnknown ? "" : message.MsgTarget();
    r.uid = message.MsgUID();
    if (r.heartbeat) return r;
    const std::vector<std::string> names = message.MsgSection();
    for (size_t i = 0; i < names.size(); ++i) {
        const xap::MsgCollection* items = message.msgCollection(static_cast<int16_t>(i));
        if (!items) break;
        Section section{names[i], {}};
        for (const auto& item : items->items()) {
            const size_t eq = item.line.find('=');
            section.items.emplace_back(TrimSpaces(item.line.substr(0, eq)), TrimSpaces(item.line.substr(eq + 1)));
        }
        r.sections.push_back(std::move(section));
    }
    return r;
}

bool PassesFilters(const Received& message, const std::string& classPattern, const std::string& sourcePattern) {
    if (!classPattern.empty() && !(message.xap && GlobMatch(classPattern, message.msgClass))) return false;
    if (!sourcePattern.empty() && !(message.xap && MatchAddress(sourcePattern, message.source))) return false;
    return true;
}

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n' && c != '\t') || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatBlock(const std::string& time, const Received& message) {
    std::string out = "--- " + time;
    if (!message.xap) out += "  (not an xAP message, " + Dec(static_cast<long long>(message.text.size())) + " bytes)";
    else if (!message.problem.empty()) out += "  (malformed: " + Printable(message.problem) + ")";
    out += "\n" + Printable(message.text);
    if (out.back() != '\n') out += '\n';
    return out + "\n";
}

std::string FormatBrief(const std::string& time, const Received& message) {
    if (!message.xap) {
        std::string first = message.text.substr(0, message.text.find('\n'));
        if (first.size() > 40) first = first.substr(0, 40) + "...";
        return time + "  (not an xAP message, " + Dec(static_cast<long long>(message.text.size())) + " bytes: " +
               Printable(first) + ")\n";
    }
    std::string line = time + "  " + message.source + "  " + message.msgClass;
    if (message.heartbeat) {
        if (!message.interval.empty()) line += "  interval=" + message.interval;
        if (!message.port.empty()) line += " port=" + message.port;
    }
    for (size_t i = 0; i < message.sections.size(); ++i) {
        const Section& s = message.sections[i];
        std::string items;
        for (const auto& [key, value] : s.items)
            if (IsStatusKey(key)) items += (items.empty() ? "" : " ") + key + "=" + Quoted(value);
        if (items.empty()) continue;
        line += "  " + items;
        if (message.sections.size() > 1) line += " (section " + Dec(static_cast<long long>(i + 1)) + " of " +
                                                 Dec(static_cast<long long>(message.sections.size())) + ")";
        break;
    }
    if (!message.problem.empty()) line += "  (malformed)";
    return Printable(line) + "\n";
}

bool IsQueryAnswer(const Received& message, const std::string& wireTarget) {
    const std::string cls = LCase(message.msgClass);
    return message.xap && (cls == "xapbsc.info" || cls == "xapbsc.values") && MatchAddress(wireTarget, message.source);
}

BscRow& AnswerTable::row(const std::string& source) {
    for (BscRow& r : rows_)
        if (EqualsNoCase(r.source, source)) return r;
    rows_.push_back(BscRow{source, "", "", "", "", "", 0});
    return rows_.back();
}

bool AnswerTable::Add(const Received& message) {
    if (!message.xap || message.heartbeat || !MatchAddress(target_, message.source)) return false;
    const std::string cls = LCase(message.msgClass);
    if (cls == "xapbsc.values") {
        BscRow& r = row(message.source);
        r.uid = message.uid;
        r.values = static_cast<int>(std::count_if(message.sections.begin(), message.sections.end(), [](const Section& s) {
            return LCase(s.name).rfind("values.", 0) == 0;
        }));
        return true;
    }
    if (cls != "xapbsc.info" && cls != "xapbsc.event") return false;
    const Section* section = FindSection(message, "output.state");
    if (!section) section = FindSection(message, "input.state");
    if (!section) return false;
    if (cls == "xapbsc.event") {
        // Only a component the query listed; events come for every change.
        const bool listed = std::any_of(rows_.begin(), rows_.end(),
                                        [&](const BscRow& r) { return EqualsNoCase(r.source, message.source); });
        if (!listed) return false;
    }
    BscRow& r = row(message.source);
    r.uid = message.uid;
    r.io = EqualsNoCase(section->name, "input.state") ? "in" : "out";
    if (const std::string* v = FindItem(*section, "state")) r.state = *v;
    if (const std::string* v = FindItem(*section, "level")) r.level = *v;
    if (const std::string* v = FindItem(*section, "text")) r.text = *v;
    else if (const std::string* d = FindItem(*section, "displaytext")) r.text = *d;
    return true;
}

std::string AnswerTable::Format() const {
    if (rows_.empty()) return "";
    std::vector<std::vector<std::string>> cells{{"SOURCE", "UID", "IO", "STATE", "LEVEL", "VALUES", "TEXT"}};
    for (const BscRow& r : rows_)
        cells.push_back({r.source, r.uid, r.io, r.state, r.level, r.values ? Dec(r.values) : "", r.text});
    std::vector<size_t> width(cells[0].size(), 0);
    for (auto& line : cells)
        for (size_t c = 0; c < line.size(); ++c) {
            line[c] = Printable(Replace(line[c], "\n", " "));
            width[c] = std::max(width[c], line[c].size());
        }
    std::string out;
    for (const auto& line : cells) {
        std::string text;
        for (size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text += std::string(width[c] - line[c].size() + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    }
    return out;
}

std::vector<PlannedCommand> PlanCommands(const std::vector<BscRow>& rows, BscAction action, const std::string& level,
                                         std::vector<std::string>* skipped) {
    std::vector<PlannedCommand> commands;
    for (const BscRow& r : rows) {
        std::string state;
        if (r.io == "in") {
            // A BSC input reports; it cannot be switched.
        } else if (action == BscAction::On || action == BscAction::Level) {
            state = "on";
        } else if (action == BscAction::Off) {
            state = "off";
        } else if (action == BscAction::Toggle) {
            const std::string now = LCase(r.state);
            state = now == "on" ? "off" : now == "off" ? "on" : "";
        }
        if (state.empty()) {
            if (skipped) skipped->push_back(r.source);
            continue;
        }
        commands.push_back({r.source, state, action == BscAction::Level ? level : ""});
    }
    return commands;
}

} // namespace tarvelo::xapcli
