#include "CommandLine.h"

#include <cctype>
#include <cstdlib>
#include <set>

#include "common/Text.h"

namespace tarvelo::xapcli {

const char* const kUsage =
    "Usage: tarvelo-xap COMMAND [options] [arguments]\n"
    "\n"
    "Watch, send and switch from a terminal on the local xAP network: a monitor,\n"
    "a sender, and shortcuts for BSC (Basic Status and Control) devices such as\n"
    "the Tarvelo gateway.\n"
    "\n"
    "Commands:\n"
    "  watch [--class PATTERN] [--source PATTERN] [--brief] [--hub N | --port N]\n"
    "      Print every message received: a block with a time stamp per message,\n"
    "      or with --brief one line (time, source, class, and the items State,\n"
    "      Level, Text and DisplayText, or X10 event, device and count, when\n"
    "      present). It joins the local hub on UDP port 3639 (--hub N: another)\n"
    "      with heartbeats that announce its own port; --port N listens on port N\n"
    "      itself instead, for a network without a hub (0: a free port, named on\n"
    "      standard error). Ctrl-C ends it; a hub is told with a stop heartbeat.\n"
    "        --class PATTERN   only classes matching PATTERN, any case; \"*\" stands\n"
    "                          for any text (e.g. 'xAPBSC.*')\n"
    "        --source PATTERN  only sources matching the address PATTERN\n"
    "                          (e.g. 'zantu.UPB.*:*porch*')\n"
    "\n"
    "  send [--target T] --class C [--source S] [--uid U] SECTION [KEY=VALUE ...] ...\n"
    "      Send one message. A word without \"=\" starts a section; each KEY=VALUE\n"
    "      is an item of the section before it. Without --target the message has\n"
    "      no target line. For example:\n"
    "        tarvelo-xap send --target 'zantu.UPB.*:>' --class xAPBSC.query request\n"
    "\n"
    "  bsc on|off|toggle TARGET\n"
    "  bsc level N TARGET\n"
    "      Send an xAPBSC.cmd to the components TARGET names (item ID=*).\n"
    "      level N dims to N percent (0-100), sent as Level=100+N, the gateway's\n"
    "      form of a percentage; a level written A/B (e.g. 12/25, an entry of\n"
    "      the component's values list) is sent as it is. toggle asks the\n"
    "      components' states first (as bsc query does) and sends each the\n"
    "      opposite one.\n"
    "  bsc query TARGET\n"
    "      Send an xAPBSC.query, wait for the answers (info, values and events)\n"
    "      until none has come for 5 seconds (--wait S), and print a table of\n"
    "      the components and their states.\n"
    "\n"
    "Addresses: vendor.device.instance, then optionally \":\" and a sub-address\n"
    "of dotted parts, e.g. zantu.UPB.host:tarvelo_porch_porch_light. In a TARGET\n"
    "\"*\" stands for one part and \">\" for all the parts that follow\n"
    "(zantu.UPB.*:> is every component of every gateway). A \"*\" inside a part\n"
    "(*porch*) matches any text there: the tool then asks for the states first\n"
    "and commands each component that matches by its full address.\n"
    "\n"
    "Options of send and bsc:\n"
    "  --port N      send to UDP port N, where the hub listens (default 3639)\n"
    "  --to ADDR     send to the IPv4 address ADDR (default: broadcast, as the\n"
    "                gateway does; 127.0.0.1 reaches only this machine's hub)\n"
    "  --source S    this tool's address (default tarvelo.xap.HOSTNAME)\n"
    "  --uid U       this tool's UID (default FF.nnnn:00 from the process id)\n"
    "  --wait S      bsc: seconds without an answer that end the wait (default 5)\n"
    "\n"
    "  --help        show this text and exit\n"
    "\n"
    "Exit status: 0 done, 1 the network failed or nothing answered, 2 a usage\n"
    "error.\n";

namespace {

bool IsHex(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Characters that would break the line-and-brace layout of a message, or
// that no xAP name may hold.
bool BadNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x21 || u == 0x7F || c == '{' || c == '}' || c == '=';
}

std::string CheckParts(const std::string& half, bool wildcards, const char* what) {
    if (half.empty()) return std::string(what) + " is empty";
    const std::vector<std::string> parts = Split(half, ".");
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty()) return std::string(what) + " has an empty part";
        for (char c : p)
            if (BadNameChar(c) || c == ':') return std::string(what) + " holds the character '" + std::string(1, c) + "'";
        if (p.find('>') != std::string::npos) {
            if (!wildcards) return std::string(what) + " holds a wildcard";
            if (p != ">" || i + 1 != parts.size()) return "'>' must be the whole last part of the " + std::string(what);
        }
        if (!wildcards && p.find('*') != std::string::npos) return std::string(what) + " holds a wildcard";
    }
    return "";
}

std::optional<uint16_t> ParsePort(const std::string& text) {
    if (!AllDigits(text) || text.size() > 5) return std::nullopt;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < 1 || v > 65535) return std::nullopt;
    return static_cast<uint16_t>(v);
}

bool IsIpv4(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ".");
    if (parts.size() != 4) return false;
    for (const std::string& p : parts)
        if (!AllDigits(p) || p.size() > 3 || std::strtol(p.c_str(), nullptr, 10) > 255) return false;
    return true;
}

std::string CommandName(Command c) {
    switch (c) {
    case Command::Watch: return "watch";
    case Command::Send: return "send";
    case Command::Bsc: return "bsc";
    case Command::Help: break;
    }
    return "";
}

ParseResult Fail(std::string message) { return {std::nullopt, std::move(message)}; }

} // namespace

std::string CheckAddress(const std::string& text, bool wildcards) {
    const size_t colon = text.find(':');
    if (std::string e = CheckParts(text.substr(0, colon), wildcards, "the address"); !e.empty())
        return "'" + text + "': " + e;
    if (colon != std::string::npos)
        if (std::string e = CheckParts(text.substr(colon + 1), wildcards, "the sub-address"); !e.empty())
            return "'" + text + "': " + e;
    return "";
}

std::string CheckClass(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ".");
    bool ok = parts.size() >= 2;
    for (const std::string& p : parts) {
        if (p.empty()) ok = false;
        for (char c : p)
            if (BadNameChar(c) || c == ':' || c == '*' || c == '>') ok = false;
    }
    return ok ? "" : "'" + text + "' is not a message class (schema.type, e.g. xAPBSC.cmd)";
}

std::string CheckUid(const std::string& text) {
    const size_t dot = text.find('.');
    const size_t colon = text.find(':');
    const bool ok = dot == 2 && colon != std::string::npos && colon > dot && IsHex(text.substr(0, 2)) &&
                    IsHex(text.substr(3, colon - 3)) && IsHex(text.substr(colon + 1));
    return ok ? "" : "'" + text + "' is not a UID (hex digits as FF.nnnn:nn, e.g. FF.0002:00)";
}

std::optional<std::string> LevelItem(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash != std::string::npos) {
        if (AllDigits(text.substr(0, slash)) && AllDigits(text.substr(slash + 1))) return text;
        return std::nullopt;
    }
    std::string number = text;
    if (!number.empty() && number.back() == '%') number.pop_back();
    if (!AllDigits(number) || number.size() > 3) return std::nullopt;
    const long v = std::strtol(number.c_str(), nullptr, 10);
    if (v > 100) return std::nullopt;
    return Dec(100 + v);
}

ParseResult ParseArgs(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") return {Invocation{}, ""};
    }
    if (!args.empty() && args[0] == "help") return {Invocation{}, ""};
    if (args.empty()) return Fail("no command given");

    Invocation inv;
    const std::string& word = args[0];
    if (word == "watch") inv.command = Command::Watch;
    else if (word == "send") inv.command = Command::Send;
    else if (word == "bsc") inv.command = Command::Bsc;
    else if (word.rfind("-", 0) == 0) return Fail("the command comes first: watch, send or bsc");
    else return Fail("unknown command '" + word + "' (watch, send or bsc)");
    const std::string name = CommandName(inv.command);

    // Which options each command takes, and whether they take a value.
    const std::set<std::string> valued = [&]() -> std::set<std::string> {
        switch (inv.command) {
        case Command::Watch: return {"--class", "--source", "--port", "--hub"};
        case Command::Send: return {"--target", "--class", "--source", "--uid", "--port", "--to"};
        case Command::Bsc: return {"--source", "--uid", "--port", "--to", "--wait"};
        case Command::Help: break;
        }
        return {};
    }();
    const std::set<std::string> flags = inv.command == Command::Watch ? std::set<std::string>{"--brief"}
                                                                      : std::set<std::string>{};

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' || AllDigits(a.substr(1))) {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> value;
        if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
        }
        if (flags.count(a)) {
            if (value) return Fail(a + " takes no value");
            inv.brief = true;
            continue;
        }
        if (!valued.count(a)) return Fail("unknown option '" + a + "' for " + name);
        if (!value) {
            if (i + 1 >= args.size()) return Fail(a + " needs a value");
            value = args[++i];
        }
        const std::string& v = *value;
        if (a == "--port" || a == "--hub") {
            // A watcher on a port of its own may let the system choose one (and says which).
            const bool zeroOk = a == "--port" && inv.command == Command::Watch && v == "0";
            const std::optional<uint16_t> port = zeroOk ? std::optional<uint16_t>(0) : ParsePort(v);
            if (!port) return Fail(a + " needs a port number from 1 to 65535, not '" + v + "'");
            if (a == "--hub") inv.hubPort = *port;
            else if (inv.command == Command::Watch) inv.ownPort = *port;
            else inv.port = *port;
        } else if (a == "--class") {
            if (inv.command == Command::Watch) {
                if (v.empty()) return Fail("--class needs a pattern");
                inv.classPattern = v;
            } else {
                if (std::string e = CheckClass(v); !e.empty()) return Fail("--class: " + e);
                inv.msgClass = v;
            }
        } else if (a == "--source") {
            if (inv.command == Command::Watch) {
                if (std::string e = CheckAddress(v, true); !e.empty()) return Fail("--source: " + e);
                inv.sourcePattern = v;
            } else {
                if (std::string e = CheckAddress(v, false); !e.empty()) return Fail("--source: " + e);
                inv.source = v;
            }
        } else if (a == "--target") {
            if (std::string e = CheckAddress(v, true); !e.empty()) return Fail("--target: " + e);
            inv.target = v;
        } else if (a == "--uid") {
            if (std::string e = CheckUid(v); !e.empty()) return Fail("--uid: " + e);
            inv.uid = v;
        } else if (a == "--to") {
            if (!IsIpv4(v)) return Fail("--to needs an IPv4 address such as 127.0.0.1, not '" + v + "'");
            inv.to = v;
        } else if (a == "--wait") {
            char* end = nullptr;
            const double s = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(s > 0 && s <= 600)) return Fail("--wait needs a number of seconds from 0 to 600, not '" + v + "'");
            inv.waitSeconds = s;
        }
    }
    if (inv.ownPort && inv.hubPort != kXapPort) return Fail("--port and --hub exclude each other: --port listens without a hub");

    switch (inv.command) {
    case Command::Watch:
        if (!positional.empty()) return Fail("watch takes no argument '" + positional[0] + "'");
        break;

    case Command::Send: {
        if (inv.msgClass.empty()) return Fail("send needs --class");
        std::set<std::string> sectionNames;
        std::set<std::string> keys;
        for (const std::string& p : positional) {
            const size_t eq = p.find('=');
            if (eq == std::string::npos) {
                for (char c : p)
                    if (BadNameChar(c)) return Fail("'" + p + "' is not a section name (no blanks, braces or '=')");
                if (!sectionNames.insert(LCase(p)).second) return Fail("section '" + p + "' is given twice");
                inv.sections.push_back({p, {}});
                keys.clear();
                continue;
            }
            if (inv.sections.empty()) return Fail("'" + p + "' comes before any SECTION name");
            const std::string key = TrimSpaces(p.substr(0, eq));
            const std::string value = p.substr(eq + 1);
            if (key.empty()) return Fail("'" + p + "' has no key before '='");
            for (char c : key)
                if (BadNameChar(c)) return Fail("the key of '" + p + "' holds the character '" + std::string(1, c) + "'");
            for (char c : value)
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    return Fail("the value of '" + key + "' holds a line break or control character");
            if (!keys.insert(LCase(key)).second)
                return Fail("key '" + key + "' is given twice in section '" + inv.sections.back().name + "'");
            inv.sections.back().items.emplace_back(key, value);
        }
        if (inv.sections.empty()) return Fail("send needs at least one SECTION");
        break;
    }

    case Command::Bsc: {
        if (positional.empty()) return Fail("bsc needs an action: on, off, toggle, level N or query");
        const std::string action = LCase(positional[0]);
        size_t want = 2;
        if (action == "on") inv.action = BscAction::On;
        else if (action == "off") inv.action = BscAction::Off;
        else if (action == "toggle") inv.action = BscAction::Toggle;
        else if (action == "query") inv.action = BscAction::Query;
        else if (action == "level") {
            inv.action = BscAction::Level;
            want = 3;
            if (positional.size() < 2) return Fail("bsc level needs a level and a TARGET");
            const std::optional<std::string> level = LevelItem(positional[1]);
            if (!level) return Fail("'" + positional[1] + "' is not a level (a percentage 0-100, or A/B)");
            inv.level = *level;
        } else {
            return Fail("unknown bsc action '" + positional[0] + "' (on, off, toggle, level N or query)");
        }
        if (positional.size() < want) return Fail("bsc " + action + " needs a TARGET");
        if (positional.size() > want) return Fail("bsc " + action + " takes one TARGET, not also '" + positional[want] + "'");
        inv.target = positional[want - 1];
        if (std::string e = CheckAddress(inv.target, true); !e.empty()) return Fail("TARGET " + e);
        if (inv.target.find(':') == std::string::npos)
            return Fail("TARGET '" + inv.target + "' names no component: add ':' and a sub-address (':>' is all of them)");
        break;
    }

    case Command::Help:
        break;
    }
    return {inv, ""};
}

} // namespace tarvelo::xapcli
