#pragma once
// Stream connections on the simulation platform, in virtual time: TCP
// listeners that simulated browsers connect to, and local listeners reached
// through connectLocal. A connection is a pair of ends; what one end sends
// reaches the other `latencyMs` later, and every event runs through the loop
// with the same rules as the Qt adapters (see platform::StreamConnection).

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/Platform.h"
#include "sim/SimPlatform.h"

namespace tarvelo::sim {

class SimStreamEnd;
class SimTcpListener;
class SimLocalListener;

class SimStreamNet {
public:
    explicit SimStreamNet(SimPlatform& platform) : platform(platform) {}

    SimPlatform& platform;
    int64_t latencyMs = 1;
    // TCP ports other programs hold: listening there fails with 10048.
    std::set<uint16_t> takenPorts;

    // A client connected to whatever listens on the TCP port / the local
    // path; null when nothing does (refused).
    std::unique_ptr<platform::StreamConnection> connectTcp(uint16_t port, const std::string& fromAddress);
    std::unique_ptr<platform::StreamConnection> connectLocal(const std::string& path);

    // Internal, for the listeners.
    int listenTcp(SimTcpListener* listener, const std::string& address, uint16_t& port);
    bool listenLocal(SimLocalListener* listener, const std::string& path);
    void forget(const void* listener);

private:
    std::map<uint16_t, SimTcpListener*> tcp_;
    std::map<std::string, SimLocalListener*> local_;
    uint16_t nextFreePort_ = 49152;
};

// A browser on the simulated LAN (or any TCP client a test plays): connects
// to a listening port, sends, and collects what it receives.
class SimBrowser {
public:
    explicit SimBrowser(SimPlatform& platform, std::string address = "192.168.1.77");

    // false when nothing listens on the port.
    bool connect(uint16_t port);
    bool send(const std::string& bytes);
    void close();
    // Connected and not closed by either side.
    bool connected() const;

    std::string received;  // everything the server sent, in order
    bool closedByServer = false;

private:
    SimPlatform& platform_;
    std::string address_;
    std::unique_ptr<platform::StreamConnection> link_;
};

} // namespace tarvelo::sim
