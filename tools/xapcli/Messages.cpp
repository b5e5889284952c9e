#include "Messages.h"

#include <cctype>
#include <cstdio>

#include "common/Text.h"
#include "xap/XapMessage.h"

namespace tarvelo::xapcli {

namespace {

std::vector<std::string_view> Parts(std::string_view s) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = s.find('.', start);
        parts.push_back(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

bool MatchParts(const std::vector<std::string_view>& pattern, const std::vector<std::string_view>& address,
                bool shorterPatternAccepts) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == ">") return i < address.size();
        if (i >= address.size() || !GlobMatch(pattern[i], address[i])) return false;
    }
    return shorterPatternAccepts || pattern.size() == address.size();
}

} // namespace

std::string BuildMessage(const Identity& me, const std::string& msgClass, const std::string& target,
                         const std::vector<Section>& sections) {
    xap::XapMessage message;
    message.MsgClass(msgClass);
    message.MsgSource(me.source);
    message.MsgTarget(target);
    message.MsgUID(me.uid);
    message.AddHeader();
    for (const Section& section : sections) {
        message.AddSection(section.name);
        for (const auto& [key, value] : section.items) message.AddItem(section.name, key, value);
    }
    return message.ToXap();
}

std::string BuildBscCommand(const Identity& me, const std::string& target, const std::string& state,
                            const std::string& level) {
    Section section{"output.state.1", {{"ID", "*"}, {"State", state}}};
    if (!level.empty()) section.items.emplace_back("Level", level);
    return BuildMessage(me, "xAPBSC.cmd", target, {section});
}

std::string BuildBscQuery(const Identity& me, const std::string& target) {
    return BuildMessage(me, "xAPBSC.query", target, {Section{"request", {}}});
}

std::string BuildHeartbeat(const Identity& me, uint16_t port, bool alive) {
    return "xap-hbeat\n{\nv=13\nhop=1\nuid=" + me.uid + "\nclass=xap-hbeat." + (alive ? "alive" : "stopped") +
           "\nsource=" + me.source + "\ninterval=" + Dec(kHeartbeatSeconds) + "\nport=" + Dec(port) + "\n}\n";
}

bool GlobMatch(std::string_view pattern, std::string_view text) {
    // Greedy with one back-track point: enough for "*" as the only wildcard.
    size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && FoldCase(pattern[p]) == FoldCase(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool MatchAddress(std::string_view pattern, std::string_view address) {
    const size_t pc = pattern.find(':');
    const size_t ac = address.find(':');
    if (!MatchParts(Parts(pattern.substr(0, pc)), Parts(address.substr(0, ac)), false)) return false;
    if (pc == std::string_view::npos) return true;
    if (ac == std::string_view::npos) return false;
    return MatchParts(Parts(pattern.substr(pc + 1)), Parts(address.substr(ac + 1)), true);
}

bool HasPartGlob(std::string_view target) { return WireTarget(target) != target; }

std::string WireTarget(std::string_view target) {
    std::string out;
    std::string part;
    auto flush = [&] {
        out += part.find('*') != std::string::npos ? "*" : part;
        part.clear();
    };
    for (char c : target) {
        if (c == '.' || c == ':') {
            flush();
            out += c;
        } else {
            part += c;
        }
    }
    flush();
    return out;
}

std::string DefaultSource(std::string_view hostName) {
    // The instance part is the host name, reduced to what an address part may hold.
    std::string instance;
    for (char c : hostName.substr(0, hostName.find('.'))) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        instance += ok ? c : '-';
    }
    return "tarvelo.xap." + (instance.empty() ? std::string("host") : instance);
}

std::string DefaultUid(long processId) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "FF.%04lX:00", static_cast<unsigned long>(processId) & 0xFFFFul);
    return buf;
}

} // namespace tarvelo::xapcli
