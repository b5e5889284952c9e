#include "PimModel.h"

#include <algorithm>
#include <cstdio>

namespace pimsim {

namespace {

constexpr double kSerialMs = 6;        // a short reply line at 4800 baud
constexpr double kDeviceAnswerMs = 20; // a device starts its report after the request
constexpr size_t kMaxFrame = 512;      // longer input without CR is thrown away

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Printable(const std::string& line) {
    std::string out;
    for (unsigned char c : line) {
        if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

const char* FaultName(Fault f) {
    switch (f) {
    case Fault::Busy: return "busy";
    case Fault::Error: return "error";
    case Fault::Silent: return "silent";
    case Fault::Garbage: return "garbage";
    case Fault::NoAck: return "noack";
    case Fault::Drop: return "drop";
    }
    return "?";
}

bool FaultFromName(const std::string& name, Fault& out) {
    for (Fault f : {Fault::Busy, Fault::Error, Fault::Silent, Fault::Garbage, Fault::NoAck, Fault::Drop})
        if (name == FaultName(f)) {
            out = f;
            return true;
        }
    return false;
}

PimModel::PimModel(Installation installation, Options options, Hooks hooks)
    : installation_(std::move(installation)), options_(options), hooks_(std::move(hooks)) {
    registers_[0x70] = options_.messageMode ? 0x03 : 0x00;
}

std::string PimModel::Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool PimModel::ParseHex(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

uint8_t PimModel::Checksum(const std::vector<uint8_t>& bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>((256 - (sum & 0xFF)) & 0xFF);
}

double PimModel::packetMs(size_t bytes) const {
    const double halfCycleMs = 1000.0 / (2.0 * options_.mainsHz);
    return (static_cast<double>(bytes + 1) * 4 + 1) * halfCycleMs;
}

void PimModel::receive(const std::string& bytes) {
    for (char c : bytes) {
        if (c == '\r') {
            std::string line;
            line.swap(input_);
            // A host that ends lines with CR LF leaves the LF in front of the next frame.
            line.erase(0, line.find_first_not_of('\n') == std::string::npos ? line.size()
                                                                             : line.find_first_not_of('\n'));
            if (!line.empty()) frame(line);
        } else if (input_.size() < kMaxFrame) {
            input_ += c;
        } else {
            input_.clear();
            hooks_.note("host overrun: frame without CR dropped");
        }
    }
}

void PimModel::frame(const std::string& line) {
    hooks_.note("host " + Printable(line));
    switch (line[0]) {
    case '\x14': return upbMessage(line.substr(1));
    case '\x17': return registerWrite(line.substr(1));
    case '\x12': return registerRead(line.substr(1));
    default: return reply("PE", scaled(kSerialMs));
    }
}

bool PimModel::faultDue(Fault f) {
    const int every = faults_[static_cast<size_t>(f)].every;
    return every > 0 && hostMessages_ % static_cast<uint64_t>(every) == 0;
}

void PimModel::setFault(Fault fault, int everyNth) { faults_[static_cast<size_t>(fault)].every = std::max(0, everyNth); }

void PimModel::upbMessage(const std::string& hex) {
    std::vector<uint8_t> p;
    // The length field counts every byte, checksum included.
    if (!ParseHex(hex, p) || p.size() < 7 || (p[0] & 0x1F) != p.size() || Checksum(p) != 0)
        return reply("PE", scaled(kSerialMs));
    ++hostMessages_;
    if (faultDue(Fault::Silent)) return hooks_.note("fault silent");
    if (faultDue(Fault::Garbage)) return reply("\x7F" "P?#~", scaled(kSerialMs));
    if (faultDue(Fault::Busy)) return reply("PB", scaled(kSerialMs));
    if (faultDue(Fault::Error)) return reply("PE", scaled(kSerialMs));
    if (hostPacketPending_) return reply("PB", scaled(kSerialMs));
    reply("PA", scaled(kSerialMs));
    if (faultDue(Fault::Drop)) {
        hooks_.after(scaled(kSerialMs) + 1, [this] {
            hooks_.note("fault drop");
            if (hooks_.dropHost) hooks_.dropHost();
        });
    }
    hostPacketPending_ = true;
    enqueue(Packet{p, true, faultDue(Fault::NoAck)});
}

void PimModel::registerWrite(const std::string& hex) {
    std::vector<uint8_t> p;
    if (!ParseHex(hex, p) || p.size() < 3 || Checksum(p) != 0) return reply("PE", scaled(kSerialMs));
    for (size_t i = 1; i + 1 < p.size(); ++i) {
        const size_t r = (p[0] + i - 1) & 0xFF;
        registers_[r] = p[i];
        char buf[40];
        std::snprintf(buf, sizeof buf, "register %02X = %02X", static_cast<unsigned>(r), p[i]);
        hooks_.note(buf);
    }
    // A register write is answered with "PA" alone.
    reply("PA", scaled(kSerialMs));
}

void PimModel::registerRead(const std::string& hex) {
    std::vector<uint8_t> p;
    if (!ParseHex(hex, p) || p.size() != 3 || Checksum(p) != 0) return reply("PE", scaled(kSerialMs));
    std::vector<uint8_t> values{p[0]};
    for (int i = 0; i < p[1]; ++i) values.push_back(registers_[(p[0] + i) & 0xFF]);
    reply("PA", scaled(kSerialMs));
    reply("PR" + Hex(values), 2 * scaled(kSerialMs));
}

void PimModel::reply(const std::string& line, double delayMs) {
    hooks_.after(delayMs, [this, line] {
        hooks_.note("pim " + Printable(line));
        hooks_.toHost(line + "\r");
    });
}

void PimModel::enqueue(Packet packet) {
    line_.push_back(std::move(packet));
    if (!transmitting_) transmitNext();
}

void PimModel::transmitNext() {
    if (line_.empty()) {
        transmitting_ = false;
        return;
    }
    transmitting_ = true;
    hooks_.after(scaled(packetMs(line_.front().bytes.size())), [this] {
        Packet done = std::move(line_.front());
        line_.pop_front();
        delivered(done);
        transmitNext();
    });
}

void PimModel::delivered(const Packet& packet) {
    const auto& p = packet.bytes;
    hooks_.note("line " + Hex(p));
    if (packet.fromHost) {
        hostPacketPending_ = false;
        const bool ack = !packet.noAck && (p[1] & 0x10) && acknowledged(p);
        reply(ack ? "PK" : "PN");
    } else if (messageMode()) {
        reply("PU" + Hex(p));
    }
    apply(p);
    // A state request is answered by the device it was sent to.
    if (packet.fromHost && p[5] == 0x30 && !(p[0] & 0x80)) {
        Device* d = installation_.find(p[3]);
        if (d && d->network == p[2]) {
            const std::vector<uint8_t> report = stateReport(*d, p[4]);
            hooks_.after(scaled(kDeviceAnswerMs), [this, report] { enqueue(Packet{report, false, false}); });
        }
    }
}

bool PimModel::acknowledged(const std::vector<uint8_t>& p) const {
    const int net = p[2], dest = p[3];
    for (const auto& d : installation_.devices) {
        if (d.network != net) continue;
        if (p[0] & 0x80) {
            if (d.holdsLink(dest)) return true;
        } else if (dest == 0 || d.id == dest) {
            return true;
        }
    }
    return false;
}

void PimModel::setChannel(Device& d, int channel, int level) {
    level = std::clamp(level, 0, 100);
    auto& slot = d.levels[static_cast<size_t>(channel)];
    if (slot == level) return;
    slot = level;
    hooks_.note("level " + std::to_string(d.id) + " " + std::to_string(channel + 1) + " " + std::to_string(level));
}

void PimModel::apply(const std::vector<uint8_t>& p) {
    const int net = p[2], dest = p[3], mdid = p[5];
    const std::vector<uint8_t> args(p.begin() + 6, p.end() - 1);
    // Goto and fade start carry the level; 0xFF (or none) means the preset level.
    const bool hasLevel = !args.empty() && args[0] != 0xFF;
    for (auto& d : installation_.devices) {
        if (d.network != net) continue;
        if (p[0] & 0x80) {
            for (const auto& preset : d.presets) {
                if (preset.link != dest) continue;
                if (mdid == 0x20) setChannel(d, preset.channel, hasLevel ? args[0] : preset.level);
                else if (mdid == 0x21) setChannel(d, preset.channel, 0);
                else if (mdid == 0x22 || mdid == 0x23) setChannel(d, preset.channel, hasLevel ? args[0] : preset.level);
            }
        } else if (d.id == dest) {
            int first = 0, last = d.channels - 1;
            if (args.size() >= 3 && args[2] >= 1 && args[2] <= d.channels) first = last = args[2] - 1;
            for (int ch = first; ch <= last; ++ch) {
                if (mdid == 0x20) setChannel(d, ch, 100);
                else if (mdid == 0x21) setChannel(d, ch, 0);
                else if ((mdid == 0x22 || mdid == 0x23) && !args.empty()) setChannel(d, ch, args[0]);
            }
        }
    }
}

std::vector<uint8_t> PimModel::stateReport(const Device& d, int to) const {
    std::vector<uint8_t> data;
    if (d.kind == 5) {
        // Relays as the high byte, inputs as the low byte of the status word.
        int relays = 0;
        for (size_t ch = 0; ch < d.levels.size() && ch < 8; ++ch)
            if (d.levels[ch] > 0) relays |= 1 << ch;
        data = {static_cast<uint8_t>(relays), static_cast<uint8_t>(d.inputs & 0xFF)};
    } else {
        for (int level : d.levels) data.push_back(static_cast<uint8_t>(level));
    }
    std::vector<uint8_t> p;
    p.reserve(7 + data.size());
    for (int b : {static_cast<int>(7 + data.size()), 0x00, d.network, to, d.id, 0x86}) p.push_back(static_cast<uint8_t>(b));
    for (uint8_t b : data) p.push_back(b);
    p.push_back(Checksum(p));
    return p;
}

bool PimModel::press(int device, int link, bool activate) {
    Device* d = installation_.find(device);
    if (!d || link < 1 || link > 255) return false;
    // Like a real switch: a 9-byte link packet sent twice, count 1 and sequence 0 then 1.
    for (uint8_t control : {0x04, 0x05}) {
        std::vector<uint8_t> p{0x89, control, static_cast<uint8_t>(d->network), static_cast<uint8_t>(link),
                               static_cast<uint8_t>(d->id), static_cast<uint8_t>(activate ? 0x20 : 0x21), 0xFF, 0xFF};
        p.push_back(Checksum(p));
        enqueue(Packet{p, false, false});
    }
    return true;
}

bool PimModel::report(int device) {
    Device* d = installation_.find(device);
    if (!d) return false;
    enqueue(Packet{stateReport(*d, 0xFF), false, false});
    return true;
}

bool PimModel::setLevel(int device, int channel, int level) {
    Device* d = installation_.find(device);
    if (!d || channel < 1 || channel > d->channels) return false;
    setChannel(*d, channel - 1, level);
    return true;
}

bool PimModel::setInputs(int device, int bits) {
    Device* d = installation_.find(device);
    if (!d) return false;
    d->inputs = bits & 0xFF;
    return true;
}

bool PimModel::transmitRaw(const std::string& hex) {
    std::vector<uint8_t> p;
    if (!ParseHex(hex, p) || p.size() < 6) return false;
    if (Checksum(p) != 0) p.push_back(Checksum(p));
    enqueue(Packet{p, false, false});
    return true;
}

std::string PimModel::levelsText() const {
    std::string out;
    for (const auto& d : installation_.devices) {
        out += "device " + std::to_string(d.id) + " (" + d.room + ", " + d.name + ", kind " + std::to_string(d.kind) +
               "):";
        for (size_t ch = 0; ch < d.levels.size(); ++ch)
            out += " ch" + std::to_string(ch + 1) + "=" + std::to_string(d.levels[ch]);
        if (d.kind == 5) out += " inputs=" + std::to_string(d.inputs);
        out += "\n";
    }
    return out;
}

} // namespace pimsim
