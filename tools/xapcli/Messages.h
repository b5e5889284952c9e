#pragma once
// The messages tarvelo-xap sends, written with the gateway's own codec, and
// the address matching it applies to what it receives. Text in, text out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

namespace tarvelo::xapcli {

// An xAP message is at most this long; longer ones are refused before sending.
inline constexpr size_t kMaxMessageBytes = 1500;
inline constexpr int kHeartbeatSeconds = 60;

struct Identity {
    std::string source;
    std::string uid;
};

// Header (v=13, hop=1, uid, class, source, target unless empty), then the sections.
std::string BuildMessage(const Identity& me, const std::string& msgClass, const std::string& target,
                         const std::vector<Section>& sections);
// xAPBSC.cmd, section output.state.1: ID=*, State=state, and Level when not empty.
std::string BuildBscCommand(const Identity& me, const std::string& target, const std::string& state,
                            const std::string& level);
// xAPBSC.query with its empty "request" section.
std::string BuildBscQuery(const Identity& me, const std::string& target);
// xap-hbeat.alive, or xap-hbeat.stopped when !alive, announcing `port`.
std::string BuildHeartbeat(const Identity& me, uint16_t port, bool alive);

// "*" in the pattern stands for any text (none included); letter case is ignored.
bool GlobMatch(std::string_view pattern, std::string_view text);
// An xAP address against a pattern. Before ":" the xAP rules: "*" one part,
// ">" one or more remaining parts, otherwise as many parts on both sides. A
// pattern without a sub-address accepts any; one with a sub-address needs
// one, and parts it leaves out accept anything (as the gateway reads a BSC
// sub-address). Any part may also hold "*" among other text.
bool MatchAddress(std::string_view pattern, std::string_view address);
// Whether some part of the target holds "*" among other text (an xAP device
// would read it literally).
bool HasPartGlob(std::string_view target);
// The target as sent on the wire: each part holding "*" becomes "*".
std::string WireTarget(std::string_view target);

// The default identity of this tool on a host.
std::string DefaultSource(std::string_view hostName);
std::string DefaultUid(long processId);

} // namespace tarvelo::xapcli
