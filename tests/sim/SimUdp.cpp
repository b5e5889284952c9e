#include <algorithm>

#include "sim/SimPlatform.h"

namespace tarvelo::sim {

class SimUdpSocket : public platform::UdpSocket {
public:
    explicit SimUdpSocket(SimUdpNet& net) : net_(net) {}
    ~SimUdpSocket() override { net_.unbind(this); }

    int bind(const std::string& address, uint16_t port) override { return net_.bind(this, address, port); }
    int sendTo(const std::string& host, uint16_t port, const std::string& bytes) override {
        if (port_ == 0) return 10022;
        if (!net_.available(address_)) return 10049;  // the interface lost the address
        net_.send(this, host, port, bytes);
        return 0;
    }
    void close() override { net_.unbind(this); }

    std::string address_;
    uint16_t port_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

private:
    SimUdpNet& net_;
};

namespace {
bool Reaches(const std::string& host, const std::string& bound) {
    if (bound == "0.0.0.0" || host == bound) return true;
    return host.size() > 4 && host.compare(host.size() - 4, 4, ".255") == 0;
}
} // namespace

std::unique_ptr<platform::UdpSocket> SimPlatform::createUdpSocket() { return std::make_unique<SimUdpSocket>(udp); }

bool SimUdpNet::available(const std::string& address) const {
    return address == "127.0.0.1" || address == "0.0.0.0" ||
           std::find(platform_.addresses.begin(), platform_.addresses.end(), address) != platform_.addresses.end();
}

int SimUdpNet::bind(SimUdpSocket* socket, const std::string& address, uint16_t port) {
    if (!available(address)) return 10049;
    for (const auto& [a, p] : taken)
        if (a == address && p == port) return 10048;
    for (SimUdpSocket* other : sockets_)
        if (other->port_ == port && other->address_ == address) return 10048;
    socket->address_ = address;
    socket->port_ = port;
    if (std::find(sockets_.begin(), sockets_.end(), socket) == sockets_.end()) sockets_.push_back(socket);
    return 0;
}

void SimUdpNet::unbind(SimUdpSocket* socket) {
    *socket->alive_ = false;
    socket->alive_ = std::make_shared<bool>(true);
    socket->port_ = 0;
    sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), socket), sockets_.end());
}

void SimUdpNet::send(SimUdpSocket* from, const std::string& host, uint16_t port, const std::string& bytes) {
    SimDatagram d{from->address_, from->port_, host, port, bytes};
    sent.push_back(d);
    if (onSend) onSend(d);
    for (SimUdpSocket* s : sockets_) {
        if (s == from || s->port_ != port || !Reaches(host, s->address_)) continue;
        platform_.post([s, alive = s->alive_, bytes] {
            if (*alive && s->onDatagram) s->onDatagram(bytes);
        });
    }
}

void SimUdpNet::deliver(uint16_t port, const std::string& bytes, int64_t delayMs, const std::string& host) {
    platform_.at(delayMs, [this, port, bytes, host] {
        for (SimUdpSocket* s : std::vector<SimUdpSocket*>(sockets_)) {
            if (s->port_ != port || !Reaches(host, s->address_)) continue;
            // One copy per port: a broadcast reaches the loopback and the LAN
            // socket of one program, but a real hub forwards to one of them.
            if (s->onDatagram) s->onDatagram(bytes);
            break;
        }
    });
}

std::vector<std::string> SimUdpNet::sentTo(uint16_t port, const std::string& needle) const {
    std::vector<std::string> out;
    for (const SimDatagram& d : sent)
        if (d.port == port && (needle.empty() || d.bytes.find(needle) != std::string::npos)) out.push_back(d.bytes);
    return out;
}

} // namespace tarvelo::sim
