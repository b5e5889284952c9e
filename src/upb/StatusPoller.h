#pragma once
// Device status polling. UPB devices do not always report what a link command
// did to them, so they are asked: ten seconds after a link command, once each
// at start-up, and on demand. The answer comes back as an ordinary received
// state report and updates the model on its own; a poll only sends the
// request and gives the answer a second to arrive.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Guard.h"
#include "common/VbDate.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "upb/TransmitQueue.h"

namespace tarvelo::upb {

// One scheduled poll.
struct UPBStatusRequest {
    std::string ModuleID;
    int64_t dueMillis = 0;  // local milliseconds
    VbDate TransmitTime() const { return DateFromLocalMillis(dueMillis); }
};

class StatusPoller {
public:
    static constexpr int kDelayMs = 10000;
    static constexpr int kTickMs = 1000;
    static constexpr int kQueueWaitMs = 15000;
    static constexpr int kAnswerWaitMs = 1000;

    StatusPoller(platform::Platform& platform, LogSink& log, model::Network& network, TransmitQueue& queue,
                 std::function<void(const std::string& moduleId)> requestStatus);

    // The polls that follow a command sent for a state of `module`.
    void ScheduleAfterCommand(const model::UPBModule& module, bool isLink, int destination);
    void Add(const std::string& moduleId, int64_t dueMillis);

    // Asks one device for its state and waits about a second for the answer.
    // Always -1: the answer updates the model, where the caller reads it.
    int16_t GetUPBState(const std::string& moduleId);
    void RemovePendingStatusRequests(const std::string& moduleId);
    // Start-up: every device once, in model order. `progress` hears the
    // number of devices polled so far, of all, after each one.
    void GetCurrentUPBStatus(const std::function<void(size_t done, size_t total)>& progress = {});

    const std::vector<UPBStatusRequest>& pending() const { return pending_; }
    platform::Timer& StatusRequestTimer() { return *requestTimer_; }
    void Stop();

private:
    void StatusRequestTimer_Timer();
    void EnableWhilePending() { requestTimer_->setEnabled(!pending_.empty()); }

    platform::Platform& platform_;
    LogSink& log_;
    model::Network& network_;
    TransmitQueue& queue_;
    std::function<void(const std::string&)> requestStatus_;
    std::unique_ptr<platform::Timer> requestTimer_;
    std::unique_ptr<platform::Timer> receiveTimer_;  // UPBReceiveTimer: the waits of GetUPBState
    std::vector<UPBStatusRequest> pending_;
};

} // namespace tarvelo::upb
