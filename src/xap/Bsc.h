#pragma once
// The BSC face of a link state: its three-part name (xapName, ComponentUID,
// type), its link UID, and the content items of its events and info replies.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Guard.h"
#include "model/Network.h"

namespace tarvelo::xap {

using BscName = std::array<std::string, 3>;

// "relay", "light", "switch" or "index" for a module kind.
const char* BscTypeName(int kind, bool controllable);
BscName BscNameOf(const model::Network& network, const model::UPBLinkState& state, LogSink* log);
std::string JoinName(const BscName& name);

// The configured UID without its last two characters, then the index as four
// upper-case hex digits (a two-digit group outside 0..255 reads "00").
std::string LinkUID(const std::string& configuredUID, int32_t index);

// "state", and for a state with a command-name list "DisplayText" and "level",
// as a MsgData item list.
std::string IncludeContent(const model::UPBLinkState& state, int kind);

// Up to four hex digits; -1 for an empty or longer text. 8000 and above do
// not fit: an error (logged as "FromHex") and 0.
int16_t FromHex(std::string_view text, LogSink* log);

// The sub-address pattern of a BSC target: nullopt without ":", else three
// lower-case parts where "*" matches anything.
std::optional<BscName> SubAddressPattern(std::string_view target);
bool PatternMatches(const BscName& pattern, const BscName& name);

} // namespace tarvelo::xap
