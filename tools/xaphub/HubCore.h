#pragma once
// The hub's bookkeeping, without sockets: which applications on this machine
// are alive, from the heartbeats they broadcast, and where each datagram must
// be forwarded. The client table can be written out and read back, so that a
// restarted hub goes on forwarding to the clients it knew.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvelo::hub {

struct Client {
    uint16_t port = 0;
    std::string source;
    int64_t lastSeenMs = 0;
    int64_t intervalMs = 60000;
};

class HubCore {
public:
    struct Options {
        // The port the hub itself listens on: never a client, or every
        // datagram would be forwarded back to the hub without end.
        uint16_t ownPort = 0;
        // Whether an address belongs to this machine. A heartbeat from any
        // other host (another hub, an application elsewhere on the LAN) is
        // forwarded like any datagram but registers nothing: its port is a port
        // on that host. Without it, only loopback addresses count.
        std::function<bool(const std::string& address)> isLocal;
    };

    // What one datagram changed among the clients.
    struct Change {
        // Refused: a heartbeat that may not register its port, reported once
        // per sender address and port.
        enum Kind { None, Joined, Refreshed, Left, Refused } kind = None;
        Client client;
        std::string fromAddress;
    };

    HubCore() = default;
    explicit HubCore(Options options) : options_(std::move(options)) {}

    // Learns from a heartbeat sent from `fromAddress` ("port=" announces a
    // client; "xap-hbeat.stopped" or "xap-hbeat.stop" ends it) and returns the
    // ports to forward the datagram to: every live client's.
    std::vector<uint16_t> Receive(std::string_view datagram, const std::string& fromAddress, int64_t nowMs,
                                  Change* change = nullptr);
    // Drops clients silent for two heartbeat intervals; returns them.
    std::vector<Client> Expire(int64_t nowMs);

    // The client table as text: one client a line, its last heartbeat as
    // wall-clock milliseconds (`nowMs` on the hub's clock is `wallMs`).
    std::string SaveState(int64_t nowMs, int64_t wallMs) const;
    // Adds the clients of a saved table, except those already silent for two
    // intervals at `wallMs`, the hub's own port and lines it cannot read.
    // Returns the clients added.
    std::vector<Client> LoadState(std::string_view text, int64_t nowMs, int64_t wallMs);

    const std::map<uint16_t, Client>& clients() const { return clients_; }
    bool isLocal(const std::string& address) const;

private:
    static constexpr size_t kMaxRefused = 1000;

    Options options_;
    std::map<uint16_t, Client> clients_;
    std::set<std::pair<std::string, uint16_t>> refused_;
};

// Where the client table is kept unless --state names a file: the folder
// systemd gives the service ($STATE_DIRECTORY), else $XDG_STATE_HOME/tarvelo-hub,
// else ~/.local/state/tarvelo-hub, else /var/lib/tarvelo-hub; the file is
// "clients-" and the hub's port. `env` reads an environment variable (null when unset).
std::string DefaultStateFile(uint16_t port, const std::function<const char*(const char*)>& env);
// Reads a whole file; an absent file is empty text. False, with the reason, when it cannot be read.
bool ReadStateFile(const std::string& path, std::string& text, std::string& error);
// Writes the file whole or not at all (a temporary file beside it, renamed over
// it), creating its folder. False, with the reason, on failure.
bool WriteStateFile(const std::string& path, const std::string& text, std::string& error);

// The value of a header key of a heartbeat ("" when absent); keys compare
// without regard to case, blanks around "=" are ignored, CR LF is accepted.
std::string HeartbeatField(std::string_view datagram, std::string_view key);

} // namespace tarvelo::hub
