#include "upb/codec/Packet.h"

#include <cmath>

#include "common/Guard.h"
#include "common/Text.h"

namespace tarvelo::upb {

namespace {

int ByteSum(std::string_view hex) {
    int sum = 0;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) sum += HexValue(hex.substr(i, 2));
    return sum;
}

std::string ByteHex(int value, const char* field) {
    if (value < 0 || value > 255) throw VbError(std::string("Invalid procedure call or argument: ") + field);
    return Hex2(value);
}

std::vector<std::string> Names(const char* list) { return Split(list, ","); }

} // namespace

std::string Checksum(std::string_view hex) { return Hex2((256 - (ByteSum(hex) & 0xFF)) & 0xFF); }

bool ChecksumValid(std::string_view hex) {
    if (hex.size() < 2 || hex.size() % 2 != 0) return false;
    for (char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    return (ByteSum(hex) & 0xFF) == 0;
}

bool CommandTakesLevel(int command) { return command == kGoTo || command == kFadeStart || command == kBlink; }

std::string BuildCommandPacket(const CommandPacket& p) {
    const bool withLevel = CommandTakesLevel(p.command);
    const int length = withLevel ? 8 : 7;
    std::string text;
    text.reserve(14);
    text += Hex2(length + (p.isLink ? 0x80 : 0));
    text += p.ackRequest ? "10" : "00";
    text += ByteHex(p.networkId, "network id");
    text += ByteHex(p.destination, "destination");
    text += "FF";
    text += ByteHex(p.command, "command");
    if (withLevel) text += Hex2(p.level > 255 ? 255 : p.level < 0 ? 0 : p.level);
    return text;
}

std::string BuildStatusRequest(int networkId, int deviceId) {
    return "0710" + ByteHex(networkId, "network id") + ByteHex(deviceId, "device id") + "FF30";
}

namespace {
// Lead character, the hex text, its checksum, CR.
std::string Frame(char lead, std::string_view text) {
    std::string frame;
    frame.reserve(text.size() + 4);
    frame += lead;
    frame += text;
    frame += Checksum(text);
    frame += '\r';
    return frame;
}
} // namespace

std::string FrameUpbMessage(std::string_view packet) { return Frame(kUpbMessageLead, packet); }
std::string FramePimMessage(std::string_view command) { return Frame(kPimRegisterWriteLead, command); }

const std::vector<std::string>& CoreCommandNames() {
    static const std::vector<std::string> names = Names("Activate,Deactivate,GoTo,FadeStart,FadeStop,Blink");
    return names;
}

int CoreCommandMdid(size_t index) { return index < CoreCommandNames().size() ? kActivate + static_cast<int>(index) : -1; }

int CommandLookup(std::string_view name) {
    const auto& names = CoreCommandNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return CoreCommandMdid(i);
    return kActivate;
}

const std::vector<std::string>& ActionNames() {
    static const std::vector<std::string> names = Names(
        "Deactivate,Activate,Off,On,Slow_Blink,Mid_Blink,Fast_Blink,Dim_0,Dim_10,Dim_20,Dim_30,Dim_40,Dim_50,"
        "Dim_60,Dim_70,Dim_80,Dim_90,Dim_100,Dim-5,Dim-10,Dim-25,Dim-50,Bright+5,Bright+10,Bright+25,Bright+50");
    return names;
}

const std::vector<std::string>& OffOnNames() {
    static const std::vector<std::string> names = Names("Off,On");
    return names;
}

namespace {
std::string JoinCommandList(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out += '\x01';
        out += names[i];
        out += '\x02';
        out += std::to_string(i);
    }
    return out;
}
} // namespace

SharedText CommandList(int kind) {
    // Built once: the import gives every state of a device its kind's list,
    // and they all share it.
    static const SharedText actions = JoinCommandList(ActionNames());
    static const SharedText offOn = JoinCommandList(OffOnNames());
    if (kind == 2 || kind == 3) return actions;
    if (kind == 8) return offOn;
    return {};
}

std::string CommandName(int kind, std::string_view value) {
    const std::vector<std::string>* names = kind == 2 ? &ActionNames() : kind == 8 ? &OffOnNames() : nullptr;
    if (!names || !IsNumeric(value)) return std::string(value);
    // An index rounds half to even, as an array subscript does.
    const double n = std::nearbyint(Val(value));
    if (n >= 0 && n < static_cast<double>(names->size())) return (*names)[static_cast<size_t>(n)];
    return "Unknown_" + std::string(value);
}

std::string ReplyCode(std::string_view line) { return UCase(line.substr(0, 2)); }

} // namespace tarvelo::upb
