#pragma once
// tarvelo-xap's command line: the words a user types, checked and turned into
// one Invocation. Nothing here touches a socket, so every usage error is a
// plain return value (printed by main with exit status 2).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvelo::xapcli {

inline constexpr uint16_t kXapPort = 3639;

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> items;
};

enum class Command { Help, Watch, Send, Bsc };
enum class BscAction { On, Off, Level, Toggle, Query };

struct Invocation {
    Command command = Command::Help;

    // watch
    std::string classPattern;         // --class (watch: a filter)
    std::string sourcePattern;        // --source (watch: a filter)
    bool brief = false;
    std::optional<uint16_t> ownPort;  // --port: listen there instead of joining the hub
    uint16_t hubPort = kXapPort;      // --hub

    // send and bsc
    std::string target;
    std::string msgClass;
    std::string source;               // "" = the tool's default address
    std::string uid;                  // "" = the tool's default UID
    std::vector<Section> sections;
    uint16_t port = kXapPort;         // where messages go (and the local hub listens)
    std::string to;                   // destination address; "" = broadcast

    // bsc
    BscAction action = BscAction::Query;
    std::string level;                // the Level item as sent
    double waitSeconds = 5;
};

struct ParseResult {
    std::optional<Invocation> invocation;
    std::string error;  // set when invocation is empty
};

// args excludes the program name.
ParseResult ParseArgs(const std::vector<std::string>& args);

extern const char* const kUsage;

// Checks of single arguments; each gives "" or what is wrong with the text.
// An xAP address: dotted parts, optionally ":" and a dotted sub-address; "*"
// and ">" only when wildcards are allowed (">" as a whole, last part).
std::string CheckAddress(const std::string& text, bool wildcards);
std::string CheckClass(const std::string& text);
std::string CheckUid(const std::string& text);

// The Level item for "bsc level N": N percent (0-100, "%" allowed) becomes
// 100 + N, which the gateway reads as "go to N percent"; "A/B" is kept as it
// is. nullopt for anything else.
std::optional<std::string> LevelItem(const std::string& text);

} // namespace tarvelo::xapcli
