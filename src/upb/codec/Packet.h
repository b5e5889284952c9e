#pragma once
// The UPB packet codec and the command tables. Pure functions over text: no
// platform, no model, no queue. A packet is hex text, two upper-case digits a
// byte; the checksum is added when it is framed for the PIM.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/SharedText.h"

namespace tarvelo::upb {

// Message data ids the gateway sends.
enum Mdid : int {
    kActivate = 0x20,
    kDeactivate = 0x21,
    kGoTo = 0x22,
    kFadeStart = 0x23,
    kFadeStop = 0x24,
    kBlink = 0x25,
    kStateRequest = 0x30,
    kStateReport = 0x86,
};

// Two's complement of the byte sum of the hex text, as two hex digits.
// Digits past the last whole pair are ignored.
std::string Checksum(std::string_view hex);

// Whether all bytes of a packet including its checksum add up to 0.
bool ChecksumValid(std::string_view hexWithChecksum);

struct CommandPacket {
    bool isLink = false;
    int destination = 0;    // link id or device id, 0..255
    int command = kActivate;
    int level = -1;         // the argument of GoTo, FadeStart and Blink
    bool ackRequest = true; // acknowledge-pulse request in the control word
    int networkId = 0;      // 0..255
};

// Whether the command carries a level byte (packet length 8 instead of 7).
bool CommandTakesLevel(int command);

// The packet text without checksum. An id outside 0..255 is an error (VbError):
// its low byte would address some other device or link.
std::string BuildCommandPacket(const CommandPacket& packet);

// State report request to one device: 07 10 net dev FF 30.
std::string BuildStatusRequest(int networkId, int deviceId);

// The options write of the PIM: register 0x70, value 0x03 (message mode).
inline constexpr const char* kPimOptionsWrite = "7003";

// What the PIM is given: 0x14 packet checksum CR, or 0x17 register text checksum CR.
inline constexpr char kUpbMessageLead = '\x14';
inline constexpr char kPimRegisterWriteLead = '\x17';
inline constexpr char kPimRegisterReadLead = '\x12';
std::string FrameUpbMessage(std::string_view packet);
std::string FramePimMessage(std::string_view command);

// The core command names with their MDIDs, index 0..5.
const std::vector<std::string>& CoreCommandNames();
int CoreCommandMdid(size_t index);
// MDID of the core command with exactly this name; 0x20 when none matches.
int CommandLookup(std::string_view name);

// The 26 action names of keypads and switches, and the short list of kind 8.
const std::vector<std::string>& ActionNames();
const std::vector<std::string>& OffOnNames();

// The command-name list of a module kind: name 0x02 number, entries joined by 0x01.
SharedText CommandList(int kind);
// The action name for a numeric value of kind 2 or 8; else the value itself.
std::string CommandName(int kind, std::string_view value);

// Reply code of a PIM line: its first two characters, upper-cased.
std::string ReplyCode(std::string_view line);

} // namespace tarvelo::upb
