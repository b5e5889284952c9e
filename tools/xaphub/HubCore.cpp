#include "HubCore.h"

#include <cctype>
#include <cstdlib>

namespace tarvelo::hub {

namespace {
std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
} // namespace

std::string HeartbeatField(std::string_view datagram, std::string_view key) {
    const std::string wanted = Lower(key);
    size_t pos = 0;
    while (pos < datagram.size()) {
        size_t end = datagram.find('\n', pos);
        if (end == std::string_view::npos) end = datagram.size();
        std::string_view line = Trim(datagram.substr(pos, end - pos));
        if (line == "}") break;  // only the header block counts
        size_t eq = line.find('=');
        if (eq != std::string_view::npos && Lower(Trim(line.substr(0, eq))) == wanted)
            return std::string(Trim(line.substr(eq + 1)));
        pos = end + 1;
    }
    return "";
}

std::vector<uint16_t> HubCore::Receive(std::string_view datagram, int64_t nowMs, Change* change) {
    if (change) *change = Change{};
    if (Lower(Trim(datagram.substr(0, datagram.find('\n')))) == "xap-hbeat") {
        const std::string cls = Lower(HeartbeatField(datagram, "class"));
        const std::string portText = HeartbeatField(datagram, "port");
        char* end = nullptr;
        const long port = std::strtol(portText.c_str(), &end, 10);
        if (!portText.empty() && *end == '\0' && port > 0 && port < 65536) {
            const uint16_t p = static_cast<uint16_t>(port);
            if (cls == "xap-hbeat.stopped" || cls == "xap-hbeat.stop") {
                auto it = clients_.find(p);
                if (it != clients_.end()) {
                    if (change) *change = {Change::Left, it->second};
                    clients_.erase(it);
                }
            } else if (cls == "xap-hbeat.alive") {
                const long seconds = std::strtol(HeartbeatField(datagram, "interval").c_str(), nullptr, 10);
                auto [it, added] = clients_.try_emplace(p);
                Client& c = it->second;
                c.port = p;
                c.source = HeartbeatField(datagram, "source");
                c.lastSeenMs = nowMs;
                c.intervalMs = seconds > 0 ? seconds * 1000 : 60000;
                if (added && change) *change = {Change::Joined, c};
            }
        }
    }
    std::vector<uint16_t> ports;
    ports.reserve(clients_.size());
    for (const auto& [port, client] : clients_) ports.push_back(port);
    return ports;
}

std::vector<Client> HubCore::Expire(int64_t nowMs) {
    std::vector<Client> gone;
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (nowMs - it->second.lastSeenMs > 2 * it->second.intervalMs) {
            gone.push_back(it->second);
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

} // namespace tarvelo::hub
