#pragma once
// A simulated PIM on a simulated powerline. Pure: the host's bytes come in
// through receive(), everything the PIM says goes out through the hooks, and
// time passes only through the `after` hook, so the same model runs on a real
// event loop or in a test.
//
//   host bytes -> frames (0x14 message, 0x17 register write, 0x12 register
//   read, CR) -> "PA"/"PE"/"PB" -> powerline queue -> "PK"/"PN" -> devices
//   devices (state reports, wall-switch presses) -> powerline -> "PU" lines

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Export.h"

namespace pimsim {

enum class Fault { Busy, Error, Silent, Garbage, NoAck, Drop };
const char* FaultName(Fault f);
bool FaultFromName(const std::string& name, Fault& out);

struct Options {
    int mainsHz = 60;
    double timeScale = 1.0;   // 0.05 with --fast
    bool messageMode = false; // register 0x70 bit 1 at power-up
};

struct Hooks {
    // Runs the call after `ms` milliseconds.
    std::function<void(double ms, std::function<void()>)> after;
    // Bytes for the host.
    std::function<void(const std::string&)> toHost;
    // One line of the event log (frames, replies, level changes).
    std::function<void(const std::string&)> note;
    // Drops the host connection (a fault).
    std::function<void()> dropHost;
};

class PimModel {
public:
    PimModel(Installation installation, Options options, Hooks hooks);

    // Bytes from the host.
    void receive(const std::string& bytes);

    // A device transmits: a link activation (press) or deactivation (release)
    // from its rocker, sent twice like a real switch. False for an unknown device.
    bool press(int device, int link, bool activate);
    // A device reports its state unasked.
    bool report(int device);
    // Local change at the device (no transmission).
    bool setLevel(int device, int channel, int level);
    bool setInputs(int device, int bits);
    // Puts any packet on the line (hex, checksum added when missing).
    bool transmitRaw(const std::string& hex);

    // Every n-th UPB message from the host meets the fault; 0 turns it off.
    void setFault(Fault fault, int everyNth);

    uint8_t reg(int n) const { return registers_[static_cast<size_t>(n & 0xFF)]; }
    bool messageMode() const { return (reg(0x70) & 0x02) != 0; }
    Installation& installation() { return installation_; }
    std::string levelsText() const;

    // Powerline time of a packet of n bytes: (n + 1 preamble) x 4 half-cycles + 1.
    double packetMs(size_t bytes) const;

    // Hex helpers, shared with the command line.
    static std::string Hex(const std::vector<uint8_t>& bytes);
    static bool ParseHex(const std::string& text, std::vector<uint8_t>& out);
    static uint8_t Checksum(const std::vector<uint8_t>& bytes);

private:
    struct Packet {
        std::vector<uint8_t> bytes;  // checksum included
        bool fromHost = false;
        bool noAck = false;          // fault: report PN whatever happens
    };

    void frame(const std::string& line);
    void upbMessage(const std::string& hex);
    void registerWrite(const std::string& hex);
    void registerRead(const std::string& hex);
    void reply(const std::string& line, double delayMs = 0);  // a line for the host
    void enqueue(Packet packet);
    void transmitNext();
    void delivered(const Packet& packet);
    bool acknowledged(const std::vector<uint8_t>& p) const;
    void apply(const std::vector<uint8_t>& p);
    void setChannel(Device& d, int channel, int level);
    std::vector<uint8_t> stateReport(const Device& d, int to) const;
    double scaled(double ms) const { return ms * options_.timeScale; }
    bool faultDue(Fault f);

    Installation installation_;
    Options options_;
    Hooks hooks_;
    std::string input_;
    std::array<uint8_t, 256> registers_{};
    std::deque<Packet> line_;     // waiting for the powerline
    bool transmitting_ = false;
    bool hostPacketPending_ = false;  // the PIM's one transmit buffer is in use
    uint64_t hostMessages_ = 0;
    struct FaultRule {
        int every = 0;
    };
    std::array<FaultRule, 6> faults_{};
};

} // namespace pimsim
