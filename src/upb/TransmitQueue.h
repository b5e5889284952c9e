#pragma once
// The transmit queue: every transmission to the PIM goes through one FIFO and
// is sent one at a time. A transmission is written, the PIM's reply decides
// between success, another attempt (three are counted) and failure, and only
// then may the next one start. Nothing is sent while the transmit hold runs
// (2 s after received text, up to 15 s after a write).
//
// A transmission is driven by the PIM's reply lines and the reply-wait timer
// as they happen, not by whoever waits for it: handlers that run nested inside
// a wait (xAP commands, web requests, status polls) may queue more records or
// wait themselves without stalling or duplicating the one in flight. Records
// they queue are appended and sent by the loop that is already running.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "common/Guard.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "upb/PimConnection.h"
#include "upb/Trace.h"

namespace tarvelo::upb {

// One queued transmission.
struct UPBQueue {
    std::string UPBData;    // packet hex without checksum, PIM command hex, or a module id
    std::string Procedure;  // "SendUPBMessage", "SendPIMMessage" or "GetUPBState"
    std::shared_ptr<model::UPBStatus> Status;
};

class TransmitQueue {
public:
    static constexpr int kAttempts = 3;
    static constexpr int kReplyWaitMs = 5000;
    static constexpr int kReportWaitMs = 1000;
    // "PU" lines that keep arriving in the reply window repeat the write without
    // counting; past this many they count.
    static constexpr int kUncountedRepeats = 10;

    // What flows out of the queue; each may be empty.
    struct Callbacks {
        std::function<void(const std::string& packet)> upbReceive;  // "PU" in a reply window
        std::function<void(const std::shared_ptr<model::UPBLinkState>& state)> NotifyUPBState;
        std::function<void(const std::string& moduleId)> GetUPBState;  // "GetUPBState" records
    };

    // The connection's reply and replyTimeout callbacks must lead to
    // ReplyArrived and ReplyWaitExpired.
    TransmitQueue(platform::Platform& platform, LogSink& log, PimConnection& connection, Trace& trace,
                  model::Network& network, Callbacks callbacks);
    ~TransmitQueue();
    TransmitQueue(const TransmitQueue&) = delete;
    TransmitQueue& operator=(const TransmitQueue&) = delete;

    // Appends a record and runs the queue (unless it already runs further down
    // the call stack; that loop sends it in turn).
    void QueueTransmission(std::shared_ptr<model::UPBStatus> status, std::string payload, std::string procedure);
    void DoSendQueue();

    void SendUPBMessage(const std::shared_ptr<model::UPBStatus>& status, const std::string& packet);
    void SendPIMMessage(const std::string& command);
    // The attempt loop; the error text, empty on success.
    std::string TransmitAndWait(const std::shared_ptr<model::UPBStatus>& status, const std::string& frame);

    // Shut-down: the transmission in flight ends at once, queued records are
    // dropped and new ones refused, all without a log line.
    void Close();
    bool closed() const { return closed_; }

    size_t size() const { return records_.size(); }
    const std::deque<UPBQueue>& records() const { return records_; }
    // A queue loop runs further down the call stack.
    bool running() const { return loopDepth_ > 0; }
    bool inFlight() const { return current_ != nullptr; }

    // The reply wait of the transmission in flight ended with a line, or ran out.
    void ReplyArrived();
    void ReplyWaitExpired();

    struct Counters {
        uint64_t transmissions = 0;
        uint64_t writes = 0;
        uint64_t failures = 0;
        uint64_t uncountedRepeats = 0;
    };
    const Counters& counters() const { return counters_; }

private:
    struct Transmission;
    void Run(const UPBQueue& record);
    void BeginAttempt();
    void OnReply();
    void OnReplyTimeout();
    void CountFailure(std::string error);
    void Succeed(bool updateState);
    void Finish();
    void UpdateState(const model::UPBStatus& status);
    void PassOn(const std::string& line);

    platform::Platform& platform_;
    LogSink& log_;
    PimConnection& connection_;
    Trace& trace_;
    model::Network& network_;
    Callbacks callbacks_;

    std::deque<UPBQueue> records_;
    int loopDepth_ = 0;
    bool closed_ = false;
    Transmission* current_ = nullptr;
    Counters counters_;
};

} // namespace tarvelo::upb
