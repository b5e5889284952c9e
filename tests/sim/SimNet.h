#pragma once
// The PIM's side of the line on the simulation platform: a TCP serial bridge
// and a serial line, both ending in one SimPimEnd that collects the frames the
// gateway writes and sends scripted PIM lines back, in virtual time.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "sim/SimPlatform.h"

namespace tarvelo::sim {

class SimNet;

// What the PIM sees and says.
class SimPimEnd {
public:
    explicit SimPimEnd(SimNet& net) : net_(net) {}

    // Every complete frame the gateway wrote (CR included), in order.
    std::vector<std::string> frames;
    // Called for each complete frame as it arrives.
    std::function<void(const std::string& frame)> onFrame;

    // Sends text to the gateway after delayMs of virtual time.
    void send(const std::string& text, int64_t delayMs = 0);
    // Answers like a PIM: "PA" after paMs, then (UPB messages) "PK" or "PN"
    // after reportMs more, by the frame's acknowledge request; register writes
    // get "PA" alone.
    void answerLikeAPim(int64_t paMs = 10, int64_t reportMs = 275);

    // Called by the transports.
    void received(const std::string& bytes);

private:
    SimNet& net_;
    std::string partial_;
};

class SimNet {
public:
    // Installs the TCP and serial factories into the platform.
    explicit SimNet(SimPlatform& platform);
    ~SimNet();

    SimPlatform& platform;
    SimPimEnd pim{*this};

    // The TCP bridge.
    std::string bridgeHost = "192.168.1.50";
    uint16_t bridgePort = 2101;
    bool bridgeUp = true;  // accepts connections; a refused one errors
    int64_t connectDelayMs = 5;
    int64_t latencyMs = 1;
    int connectCalls = 0;
    // The bridge closes the live connection / reports an error on it.
    void dropConnection();
    void connectionError(int number, const std::string& text);
    bool connected() const;

    // The serial line: port names that open.
    std::set<std::string> serialDevices = {"3"};
    // The device goes away: the port closes and reports a line event.
    void unplugSerial(int eventCode = 1011);
    // A line event without data (e.g. a modem-line change).
    void serialEvent(int eventCode);

    // Internal: the live endpoint the PIM talks to.
    struct Endpoint;
    void attach(Endpoint* e) { live_ = e; }
    void detach(Endpoint* e) {
        if (live_ == e) live_ = nullptr;
    }
    void toGateway(const std::string& text, int64_t delayMs);

private:
    Endpoint* live_ = nullptr;
};

} // namespace tarvelo::sim
