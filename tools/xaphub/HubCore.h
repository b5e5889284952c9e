#pragma once
// The hub's bookkeeping, without sockets: which local clients are alive, from
// the heartbeats they broadcast, and where each datagram must be forwarded.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
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
    // What one datagram changed among the clients.
    struct Change {
        enum Kind { None, Joined, Left } kind = None;
        Client client;
    };

    // Learns from a heartbeat ("port=" announces a client; "xap-hbeat.stopped"
    // or "xap-hbeat.stop" ends it) and returns the ports to forward the
    // datagram to: every live client's.
    std::vector<uint16_t> Receive(std::string_view datagram, int64_t nowMs, Change* change = nullptr);
    // Drops clients silent for two heartbeat intervals; returns them.
    std::vector<Client> Expire(int64_t nowMs);

    const std::map<uint16_t, Client>& clients() const { return clients_; }

private:
    std::map<uint16_t, Client> clients_;
};

// The value of a header key of a heartbeat ("" when absent); keys compare
// without regard to case, blanks around "=" are ignored, CR LF is accepted.
std::string HeartbeatField(std::string_view datagram, std::string_view key);

} // namespace tarvelo::hub
