#include "HubCore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

bool HubCore::isLocal(const std::string& address) const {
    if (address.rfind("127.", 0) == 0 || address == "::1" || address == "::ffff:127.0.0.1") return true;
    return options_.isLocal && options_.isLocal(address);
}

std::vector<uint16_t> HubCore::Receive(std::string_view datagram, const std::string& fromAddress, int64_t nowMs,
                                       Change* change) {
    if (change) *change = Change{};
    if (Lower(Trim(datagram.substr(0, datagram.find('\n')))) == "xap-hbeat") {
        const std::string cls = Lower(HeartbeatField(datagram, "class"));
        const std::string portText = HeartbeatField(datagram, "port");
        char* end = nullptr;
        const long port = std::strtol(portText.c_str(), &end, 10);
        if (!portText.empty() && *end == '\0' && port > 0 && port < 65536) {
            const uint16_t p = static_cast<uint16_t>(port);
            if (p == options_.ownPort || !isLocal(fromAddress)) {
                // Reported once: a remote hub heartbeats every minute.
                if (refused_.size() >= kMaxRefused) refused_.clear();
                if (refused_.emplace(fromAddress, p).second && change) {
                    *change = {Change::Refused, Client{p, HeartbeatField(datagram, "source"), nowMs}, fromAddress};
                }
            } else if (cls == "xap-hbeat.stopped" || cls == "xap-hbeat.stop") {
                auto it = clients_.find(p);
                if (it != clients_.end()) {
                    if (change) *change = {Change::Left, it->second, fromAddress};
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
                if (change) *change = {added ? Change::Joined : Change::Refreshed, c, fromAddress};
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

namespace {
constexpr std::string_view kStateHeader = "tarvelo-hub clients 1";
}

std::string HubCore::SaveState(int64_t nowMs, int64_t wallMs) const {
    std::string out(kStateHeader);
    out += '\n';
    for (const auto& [port, c] : clients_) {
        out += std::to_string(port) + ' ' + std::to_string(c.intervalMs) + ' ' +
               std::to_string(wallMs - (nowMs - c.lastSeenMs)) + ' ' + c.source + '\n';
    }
    return out;
}

std::vector<Client> HubCore::LoadState(std::string_view text, int64_t nowMs, int64_t wallMs) {
    std::vector<Client> added;
    size_t pos = text.find('\n');
    if (pos == std::string_view::npos || Trim(text.substr(0, pos)) != kStateHeader) return added;
    for (++pos; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string line(Trim(text.substr(pos, end - pos)));
        pos = end + 1;
        // port, interval in ms, last heartbeat in wall-clock ms, source
        char* p = nullptr;
        const char* s = line.c_str();
        const long port = std::strtol(s, &p, 10);
        if (p == s || *p != ' ' || port <= 0 || port > 65535) continue;
        s = p;
        const long long interval = std::strtoll(s, &p, 10);
        if (p == s || *p != ' ' || interval <= 0) continue;
        s = p;
        const long long seenWall = std::strtoll(s, &p, 10);
        if (p == s || (*p != ' ' && *p != '\0')) continue;
        // A clock set back since the save counts as no time passed.
        const int64_t age = std::max<int64_t>(0, wallMs - seenWall);
        const auto p16 = static_cast<uint16_t>(port);
        if (age > 2 * interval || p16 == options_.ownPort || clients_.count(p16)) continue;
        Client c{p16, std::string(Trim(*p ? p + 1 : p)), nowMs - age, interval};
        clients_.emplace(p16, c);
        added.push_back(std::move(c));
    }
    return added;
}

std::string DefaultStateFile(uint16_t port, const std::function<const char*(const char*)>& env) {
    namespace fs = std::filesystem;
    auto var = [&](const char* name) {
        const char* v = env ? env(name) : nullptr;
        return std::string(v ? v : "");
    };
    fs::path folder;
    if (std::string dirs = var("STATE_DIRECTORY"); !dirs.empty()) folder = dirs.substr(0, dirs.find(':'));
    else if (std::string xdg = var("XDG_STATE_HOME"); !xdg.empty() && xdg[0] == '/') folder = fs::path(xdg) / "tarvelo-hub";
    else if (std::string home = var("HOME"); !home.empty()) folder = fs::path(home) / ".local" / "state" / "tarvelo-hub";
    else folder = "/var/lib/tarvelo-hub";
    return (folder / ("clients-" + std::to_string(port))).string();
}

bool ReadStateFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path, std::ios::binary);
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteStateFile(const std::string& path, const std::string& text, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = std::strerror(errno);
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        error = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace tarvelo::hub
