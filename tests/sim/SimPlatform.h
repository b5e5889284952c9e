#pragma once
// Deterministic virtual-time implementation of the platform port.
// pumpOnce() runs the next posted call, else advances virtual time to the
// next due timer or scheduled event and runs it. A wait that can never end
// (nothing posted, no timer enabled, nothing scheduled) throws SimStalled
// instead of hanging the test.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include <deque>

#include "platform/Platform.h"

namespace tarvelo::sim {

struct SimStalled : std::runtime_error {
    SimStalled() : std::runtime_error("simulation stalled: nothing can ever happen") {}
};

class SimPlatform;
class SimUdpSocket;
class SimStreamNet;
class SimPrograms;

// One datagram on the simulated LAN.
struct SimDatagram {
    std::string fromAddress;
    uint16_t fromPort = 0;
    std::string host;
    uint16_t port = 0;
    std::string bytes;
};

// The simulated UDP network: records what every simulated socket sends, and
// delivers datagrams to the sockets bound on the destination port (a
// broadcast address, one ending in ".255", reaches every address).
class SimUdpNet {
public:
    explicit SimUdpNet(SimPlatform& platform) : platform_(platform) {}

    std::vector<SimDatagram> sent;
    std::function<void(const SimDatagram&)> onSend;
    // Address and port pairs that other programs hold.
    std::vector<std::pair<std::string, uint16_t>> taken;

    // A peer sends a datagram to whatever is bound on `port`, after delayMs.
    void deliver(uint16_t port, const std::string& bytes, int64_t delayMs = 0, const std::string& host = "255.255.255.255");
    // The datagrams sent to `port` whose text contains `needle` (all when empty).
    std::vector<std::string> sentTo(uint16_t port, const std::string& needle = "") const;

    // Internal, for the sockets.
    // Loopback, the wildcard, or one of the platform's current addresses.
    bool available(const std::string& address) const;
    int bind(SimUdpSocket* socket, const std::string& address, uint16_t port);
    void unbind(SimUdpSocket* socket);
    void send(SimUdpSocket* from, const std::string& host, uint16_t port, const std::string& bytes);

private:
    SimPlatform& platform_;
    std::vector<SimUdpSocket*> sockets_;
};

class SimClock : public platform::Clock {
public:
    int64_t localMillis() const override { return now_; }
    int64_t now_ = 0;
};

class SimPlatform : public platform::Platform {
public:
    // Starts at 2026-12-06 07:00:00 local time unless told otherwise.
    explicit SimPlatform(int64_t startLocalMillis = kDefaultStart);
    ~SimPlatform() override;

    static constexpr int64_t kDefaultStart = 1796540400000LL;  // 2026-12-06 07:00:00

    std::unique_ptr<platform::Timer> createTimer() override;
    void pumpOnce() override;
    void post(std::function<void()> call) override;
    const platform::Clock& clock() const override { return clock_; }
    std::unique_ptr<platform::TcpSocket> createTcpSocket() override;
    std::unique_ptr<platform::SerialPort> createSerialPort() override;
    std::unique_ptr<platform::UdpSocket> createUdpSocket() override;
    std::unique_ptr<platform::TcpListener> createTcpListener() override;
    std::unique_ptr<platform::LocalListener> createLocalListener() override;
    std::unique_ptr<platform::StreamConnection> connectLocal(const std::string& path) override;
    std::unique_ptr<platform::Process> createProcess() override;
    // Virtual milliseconds since the simulation started.
    // With busyMsPerClockRead set, every read also moves time on by that much,
    // as a busy processor would (a script computing without pause reaches the
    // engine's time-out, which reads this clock).
    int64_t monotonicMillis() const override {
        clock_.now_ += busyMsPerClockRead;
        return clock_.now_ - start_;
    }
    int64_t busyMsPerClockRead = 0;
    std::string computerName() override { return computerName_; }
    std::vector<std::string> ipv4Addresses() override { return addresses; }
    std::string executablePath() override { return "/opt/tarvelo/bin/tarvelo"; }
    void run() override;
    void quit() override { quit_ = true; }

    // Test control.
    int64_t now() const { return clock_.now_; }
    // Runs an outside event (a device answering, a peer sending) at a virtual time.
    void at(int64_t delayMs, std::function<void()> call);
    // Runs the loop until virtual time reaches now + ms (events due then included).
    void advance(int64_t ms);
    // Pumps until the predicate holds; throws SimStalled, or std::runtime_error
    // after maxMs of virtual time.
    void runUntil(const std::function<bool()>& done, int64_t maxMs = 3600000);
    // Runs everything that is due now without advancing time.
    void drain();

    std::string computerName_ = "TESTBOX";
    std::vector<std::string> addresses{"192.168.1.20"};
    SimUdpNet udp{*this};
    // TCP and local listeners, and the simulated browsers' side (sim/SimStream.h).
    SimStreamNet& streams() { return *streams_; }
    // The programs a started process can run (sim/SimProcess.h).
    SimPrograms& programs() { return *programs_; }

    // Runs a handler behind the last-resort catch (see platform::HandlerGuard).
    // A stalled simulation still reaches the test.
    template <class Handler>
    void runHandler(const char* what, Handler&& handler) {
        try {
            handler();
        } catch (const SimStalled&) {
            throw;
        } catch (...) {
            handlerGuard().reportCurrentException(what);
        }
    }
    std::function<std::unique_ptr<platform::TcpSocket>()> tcpFactory;
    std::function<std::unique_ptr<platform::SerialPort>()> serialFactory;

    // Internal, for SimTimer.
    struct TimerState {
        int interval = 0;
        bool enabled = false;
        bool inHandler = false;
        int64_t due = 0;
        uint64_t order = 0;
        std::function<void()> handler;
        bool alive = true;
    };
    void schedule(TimerState& t);

private:
    friend class SimTimer;
    bool runOneDue(bool mayAdvance);

    mutable SimClock clock_;
    int64_t start_ = 0;
    std::unique_ptr<SimStreamNet> streams_;
    std::unique_ptr<SimPrograms> programs_;
    std::deque<std::function<void()>> posted_;
    struct Event {
        int64_t due;
        uint64_t order;
        std::function<void()> call;
    };
    std::vector<Event> events_;
    std::vector<std::shared_ptr<TimerState>> timers_;
    uint64_t order_ = 0;
    bool quit_ = false;
};

} // namespace tarvelo::sim
