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
    std::string computerName() override { return computerName_; }
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

    SimClock clock_;
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
