#include "upb/TransmitQueue.h"

#include "common/Text.h"
#include "common/VbDate.h"
#include "upb/codec/Packet.h"

namespace tarvelo::upb {

struct TransmitQueue::Transmission {
    enum class Phase { Reply, Report, Done };
    std::shared_ptr<model::UPBStatus> status;
    std::string frame;
    bool ackExpected = false;
    bool registerWrite = false;
    int attempts = 0;  // counted attempts that failed
    int repeats = 0;   // uncounted "PU" repeats
    Phase phase = Phase::Reply;
    std::string error;
};

TransmitQueue::TransmitQueue(platform::Platform& platform, LogSink& log, PimConnection& connection, Trace& trace,
                             model::Network& network, Callbacks callbacks)
    : platform_(platform),
      log_(log),
      connection_(connection),
      trace_(trace),
      network_(network),
      callbacks_(std::move(callbacks)) {}

TransmitQueue::~TransmitQueue() = default;

void TransmitQueue::ReplyArrived() { Guard(&log_, "TransmitAndWait", [&] { OnReply(); }); }
void TransmitQueue::ReplyWaitExpired() { Guard(&log_, "TransmitAndWait", [&] { OnReplyTimeout(); }); }

void TransmitQueue::QueueTransmission(std::shared_ptr<model::UPBStatus> status, std::string payload,
                                      std::string procedure) {
    if (closed_) return;
    records_.push_back(UPBQueue{std::move(payload), std::move(procedure), std::move(status)});
    DoSendQueue();
}

void TransmitQueue::DoSendQueue() {
    // A loop further down the stack sends the new record in its turn; a second
    // loop here would block the first one's wait and send out of order.
    if (loopDepth_ > 0) return;
    ++loopDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{loopDepth_};
    while (!records_.empty()) {
        if (!connection_.UPBQueueTimer().enabled() && !current_) {
            UPBQueue record = std::move(records_.front());
            records_.pop_front();
            Run(record);
        } else {
            platform_.pumpOnce();
        }
    }
}

void TransmitQueue::Close() {
    closed_ = true;
    records_.clear();
    if (current_) {
        current_->error.clear();
        Finish();
    }
}

void TransmitQueue::Run(const UPBQueue& record) {
    Guard(&log_, "DoSendQueue", [&] {
        if (record.Procedure == "SendUPBMessage") SendUPBMessage(record.Status, record.UPBData);
        else if (record.Procedure == "SendPIMMessage") SendPIMMessage(record.UPBData);
        else if (record.Procedure == "GetUPBState") {
            if (callbacks_.GetUPBState) callbacks_.GetUPBState(record.UPBData);
        }
        // Any other procedure name drops the record.
    });
}

void TransmitQueue::SendUPBMessage(const std::shared_ptr<model::UPBStatus>& status, const std::string& packet) {
    const std::string error = TransmitAndWait(status, FrameUpbMessage(packet));
    if (!error.empty()) log_.WriteLog("Tarvelo", "Unable to Send UPB Message " + packet + " because " + error);
}

void TransmitQueue::SendPIMMessage(const std::string& command) {
    const std::string error = TransmitAndWait(nullptr, FramePimMessage(command));
    if (!error.empty()) log_.WriteLog("Tarvelo", "Unable to Send PIM Message " + command + " because " + error);
}

std::string TransmitQueue::TransmitAndWait(const std::shared_ptr<model::UPBStatus>& status, const std::string& frame) {
    // A direct call (the options write at start-up) never overlaps the one in flight.
    while (current_) platform_.pumpOnce();
    if (closed_) return {};

    Transmission t;
    t.status = status;
    t.frame = frame;
    // The first digit of the control word's low byte: the acknowledge request.
    t.ackExpected = frame.size() >= 4 && frame[3] != '0';
    t.registerWrite = !frame.empty() && frame[0] == kPimRegisterWriteLead;
    current_ = &t;
    struct Leave {
        TransmitQueue& q;
        Transmission& t;
        ~Leave() {
            if (q.current_ == &t) {
                q.current_ = nullptr;
                q.connection_.StopReplyWait();
            }
        }
    } leave{*this, t};

    ++counters_.transmissions;
    BeginAttempt();
    while (t.phase != Transmission::Phase::Done) platform_.pumpOnce();
    return t.error;
}

void TransmitQueue::BeginAttempt() {
    Transmission& t = *current_;
    t.phase = Transmission::Phase::Reply;
    trace_.MarkAttempt(t.attempts + 1);
    ++counters_.writes;
    // A write that fails is logged by the connection; the reply wait then runs out.
    Guard(&log_, "SendRaw", [&] { connection_.SendRaw(t.frame); });
    if (current_ == &t) connection_.AwaitReply(kReplyWaitMs);
}

void TransmitQueue::OnReply() {
    if (!current_) return;
    Transmission& t = *current_;
    const std::string line = connection_.TakePendingReply();
    const std::string code = ReplyCode(line);

    if (t.phase == Transmission::Phase::Reply) {
        if (code == "PA") {
            // A PIM answers a register write with "PA" alone.
            if (t.registerWrite) return Succeed(true);
            t.phase = Transmission::Phase::Report;
            connection_.AwaitReply(kReportWaitMs);
            return;
        }
        if (code == "PK" || code == "PR") return Succeed(false);
        if (code == "PB") return CountFailure("UPB Busy");
        if (code == "PE") return CountFailure("UPB PIM Error");
        if (code == "PN") return CountFailure("UPB No Acknowledge");
        if (code == "PU") {
            PassOn(line);
            if (t.repeats < kUncountedRepeats) {
                ++t.repeats;
                ++counters_.uncountedRepeats;
                BeginAttempt();
                return;
            }
        }
        return CountFailure("UPB Response of " + line + " is not recognized");
    }

    if (t.phase == Transmission::Phase::Report) {
        // A packet heard on the line is not the report; taking it as one would
        // lose the packet and send the command again.
        if (code == "PU") {
            PassOn(line);
            if (t.repeats < kUncountedRepeats) {
                ++t.repeats;
                connection_.AwaitReply(kReportWaitMs);
                return;
            }
        }
        if ((t.ackExpected && code == "PK") || (!t.ackExpected && code == "PN")) return Succeed(true);
        CountFailure("UPB no PK or PN received from PIM");
    }
}

void TransmitQueue::OnReplyTimeout() {
    if (!current_) return;
    if (current_->phase == Transmission::Phase::Reply) CountFailure("UPB Response of  is not recognized");
    else if (current_->phase == Transmission::Phase::Report) CountFailure("UPB no PK or PN received from PIM");
}

void TransmitQueue::CountFailure(std::string error) {
    Transmission& t = *current_;
    ++t.attempts;
    t.error = std::move(error);
    if (t.attempts < kAttempts) {
        BeginAttempt();
    } else {
        ++counters_.failures;
        Finish();
    }
}

void TransmitQueue::Succeed(bool updateState) {
    Transmission& t = *current_;
    t.error.clear();
    if (updateState && t.status) Guard(&log_, "TransmitAndWait", [&] { UpdateState(*t.status); });
    Finish();
}

void TransmitQueue::Finish() {
    current_->phase = Transmission::Phase::Done;
    current_ = nullptr;
    connection_.StopReplyWait();
    // The queue may go on at once.
    connection_.UPBQueueTimer().setEnabled(false);
}

void TransmitQueue::UpdateState(const model::UPBStatus& status) {
    const auto& link = status.Link;
    if (!link || link->Value == status.Value) return;
    link->Value = status.Value;
    model::StampNow(*link, platform_.clock());
    link->Sequence = network_.NextSequence();
    if (callbacks_.NotifyUPBState) callbacks_.NotifyUPBState(link);
}

void TransmitQueue::PassOn(const std::string& line) {
    Guard(&log_, "UPBReceive", [&] {
        if (callbacks_.upbReceive) callbacks_.upbReceive(line.substr(2));
    });
}

} // namespace tarvelo::upb
