#include "xap/Bsc.h"

#include <cmath>
#include <charconv>

#include "common/Text.h"
#include "upb/codec/Packet.h"
#include "xap/XapMessage.h"

namespace tarvelo::xap {

namespace {
std::string Digits2(int32_t v) { return v < 0 || v > 255 ? "00" : Hex2(v); }

std::string NumberText(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15) return Dec(static_cast<long long>(v));
    char buf[32];
    // Locale-free: the decimal separator is always ".".
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

const std::vector<std::string>* NamesOfKind(int kind) {
    if (kind == 2 || kind == 3) return &upb::ActionNames();
    if (kind == 8) return &upb::OffOnNames();
    return nullptr;
}
} // namespace

const char* BscTypeName(int kind, bool controllable) {
    switch (kind) {
    case 1: case 3: case 4: case 5: return controllable ? "relay" : "switch";
    case 2: return controllable ? "light" : "switch";
    default: return "index";
    }
}

BscName BscNameOf(const model::Network& network, const model::UPBLinkState& state, LogSink* log) {
    auto module = state.module();
    return {model::xapName(network, state, log), model::ComponentUID(state),
            BscTypeName(module ? module->Kind : 0, state.Controllable)};
}

std::string JoinName(const BscName& name) { return name[0] + "." + name[1] + "." + name[2]; }

std::string LinkUID(const std::string& configuredUID, int32_t index) {
    std::string base = configuredUID.size() >= 2 ? configuredUID.substr(0, configuredUID.size() - 2) : "";
    if (index < 256) return base + "00" + Digits2(index);
    return base + Digits2(index / 256) + Digits2(index % 256);
}

std::string IncludeContent(const model::UPBLinkState& state, int kind) {
    MsgData data;
    data.add("state", (state.Value != 0) != state.Invert ? "ON" : "OFF");
    if (!state.Values.empty()) {
        const size_t entries = Split(state.Values, "\x01").size();
        const double command = Val(state.LastCommand);
        std::string name = "Unknown_" + state.LastCommand;
        if (const auto* names = NamesOfKind(kind)) {
            const double n = std::nearbyint(command);
            if (n >= 0 && n < static_cast<double>(names->size())) name = (*names)[static_cast<size_t>(n)];
        }
        data.add("DisplayText", Dec(state.Value) + " / " + name);
        data.add("level", NumberText(command) + "/" + Dec(static_cast<long long>(entries) - 1));
    }
    return data.str();
}

int16_t FromHex(std::string_view text, LogSink* log) {
    if (text.empty() || text.size() > 4) return -1;
    int16_t result = 0;
    Guard(log, "FromHex", [&] {
        std::string padded = std::string(4 - text.size(), '0') + std::string(text);
        int32_t value = 0;
        for (char c : padded) {
            const unsigned char u = static_cast<unsigned char>(c);
            const int digit = (u >= '0' && u <= '9') ? u - '0' : static_cast<unsigned char>(UCase(std::string(1, c))[0]) - 'A' + 10;
            value = value * 16 + digit;
            if (value > 32767 || value < -32768) throw VbError("Overflow");
        }
        result = static_cast<int16_t>(value);
    });
    return result;
}

std::optional<BscName> SubAddressPattern(std::string_view target) {
    size_t colon = target.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    BscName pattern{"*", "*", "*"};
    std::string_view sub = target.substr(colon + 1);
    if (!sub.empty() && sub != ">") {
        std::vector<std::string> parts = Split(sub, ".");
        for (size_t i = 0; i < parts.size() && i < 3; ++i) {
            if (parts[i] == ">") break;
            pattern[i] = LCase(parts[i]);
        }
    }
    return pattern;
}

bool PatternMatches(const BscName& pattern, const BscName& name) {
    for (size_t i = 0; i < 3; ++i)
        if (pattern[i] != "*" && pattern[i] != LCase(name[i])) return false;
    return true;
}

} // namespace tarvelo::xap
