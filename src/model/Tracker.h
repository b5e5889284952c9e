#pragma once
// Link-state tracking: turns received UPB packets (link activate 0x20,
// deactivate 0x21, device state report 0x86) into changes of the model's
// link states, applies the delay-off timers, and hands every announced
// change to the outbound event builder.
//
//   UPBReceive(packet hex) -> SetLinkStateValue(state, value) -> NotifyUPBState(state)
//   delay-off timer tick   ------------------------------------> NotifyUPBState(state)
//
// (An acknowledged transmission updates its state in the transmit queue,
// which the gateway wires to the same NotifyUPBState.)
//
// The event builder and the pending status requests belong to other
// subsystems; the gateway hands them in at construction (Callbacks).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Guard.h"
#include "model/Network.h"
#include "platform/Platform.h"

namespace tarvelo::model {

class Tracker {
public:
    // What flows out of the tracker; each may be empty.
    struct Callbacks {
        // The outbound event builder, called with each announced change.
        std::function<void(const std::shared_ptr<UPBLinkState>&)> NotifyUPBState;
        // Removes the pending status requests of one module (decimal id).
        std::function<void(const std::string& moduleId)> RemovePendingStatusRequests;
        // True once start-up has finished; while false, off changes of
        // timer-bearing states go through.
        std::function<bool()> initialised;
    };

    Tracker(Network& network, LogSink& log, platform::Platform& platform, Callbacks callbacks = {});
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // One received packet as hex text, control word first ("PU" removed).
    // Failures are logged as "UPBReceive"; nothing is thrown.
    void UPBReceive(const std::string& packet);

    // The one routine through which a received change becomes an event.
    // Throws on an unexpected failure (sequence overflow); UPBReceive logs it.
    void SetLinkStateValue(const std::shared_ptr<UPBLinkState>& state, int16_t newValue);

    // Delay-off timers: one per timer-bearing state, numbered from 1.
    // Clears every timer and the Timerindex of the states that had one.
    void ClearDelayTimers();
    // Gives the state the next timer; returns its number (its Timerindex).
    int16_t AddDelayTimer(const std::shared_ptr<UPBLinkState>& state);
    size_t delayTimerCount() const { return timers_.size(); }
    // Test and page view of timer t (1-based).
    bool delayTimerRunning(int t) const;
    int delayTimerInterval(int t) const;
    int32_t delayMinutes(int t) const;

private:
    struct DelayTimer {
        std::unique_ptr<platform::Timer> timer;
        int32_t minutes = 0;  // whole minutes still to run after the current interval
        std::shared_ptr<UPBLinkState> state;
    };

    void LinkCommand(const std::string& packet, const std::string& mdid);
    void StateReport(const std::string& packet);
    // False when the delay rule suppresses the change.
    bool ApplyDelayRule(UPBLinkState& state, int16_t newValue);
    void DelayOffTimerTick(size_t t);
    void Notify(const std::shared_ptr<UPBLinkState>& state);
    bool started() const { return callbacks_.initialised && callbacks_.initialised(); }

    Network& network_;
    LogSink& log_;
    platform::Platform& platform_;
    Callbacks callbacks_;
    std::vector<DelayTimer> timers_;
};

} // namespace tarvelo::model
