#pragma once
// The UPB interface: everything between the gateway and the PIM.
//
//   callers (xAP commands, status page, scripts, start-up)
//        | SendUPBCommand, RequestStatus, GetUPBState, SendPIMMessage
//        v
//   UpbInterface ---- Packet (pure: packets, checksum, frames, command tables)
//        |
//        +-> StatusPoller   polls 10 s after link commands, at start-up, on demand
//        |        | RequestStatus
//        v        v
//   TransmitQueue   one transmission at a time, in order; PIM reply codes,
//        |          three counted attempts; on success updates the link state
//        |          and calls NotifyUPBState
//        | SendRaw, reply wait                ^ reply lines
//        v                                    |
//   PimConnection   serial port or TCP bridge; LineFramer splits lines;
//        |          HandlePIMLine routes each line: to the transmission
//        |          awaiting a reply, else a "PU" packet to upbReceive
//        v
//   platform::SerialPort / platform::TcpSocket
//
// Trace records both directions as the trace window's text.
//
// Out of this subsystem go two callbacks, given at construction: upbReceive
// (a packet heard on the line, without "PU", for the model's UPBReceive) and
// NotifyUPBState (a link state changed by an acknowledged transmission, for
// the outbound xAP event). Everything runs on the one event-loop thread; the
// waits pump the loop, so handlers run nested inside them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/ProgramSettings.h"
#include "common/Guard.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "upb/PimConnection.h"
#include "upb/StatusPoller.h"
#include "upb/Trace.h"
#include "upb/TransmitQueue.h"

namespace tarvelo::upb {

// A read-only picture of the subsystem for the status page and the desktop.
struct UpbStatus {
    bool portOpen = false;
    bool tcpMode = false;
    int connectAttempts = 0;
    PimConnection::Counters lines;
    uint64_t receivedCharactersDropped = 0;  // a full receive buffer without a line end
    size_t queueLength = 0;
    bool transmitting = false;
    TransmitQueue::Counters transmissions;
    size_t pendingPolls = 0;
};

class UpbInterface {
public:
    // What flows out of the subsystem; each may be empty.
    struct Callbacks {
        std::function<void(const std::string& packet)> upbReceive;
        std::function<void(const std::shared_ptr<model::UPBLinkState>& state)> NotifyUPBState;
        // The trace text or the connection state changed (see Trace::Callbacks).
        std::function<void(bool scroll)> traceChanged;
    };

    UpbInterface(platform::Platform& platform, LogSink& log, const app::ProgramSettings& settings,
                 model::Network& network, Callbacks callbacks = {});
    UpbInterface(const UpbInterface&) = delete;
    UpbInterface& operator=(const UpbInterface&) = delete;

    // Builds the packet for a link state's command, queues it with its status,
    // then schedules the follow-up polls. A level of -1 or a command of -1
    // means none: the state's OnCommand (on) or OffCommand (off) is used.
    void SendUPBCommand(const std::shared_ptr<model::UPBStatus>& status, bool isLink, int16_t destination, bool on,
                        int16_t level, int16_t command);
    // Queues a state report request to one device (module id in decimal).
    void RequestStatus(const std::string& moduleId);
    int16_t GetUPBState(const std::string& moduleId) { return poller_.GetUPBState(moduleId); }
    void RemovePendingStatusRequests(const std::string& moduleId) { poller_.RemovePendingStatusRequests(moduleId); }
    void GetCurrentUPBStatus(const std::function<void(size_t done, size_t total)>& progress = {}) {
        poller_.GetCurrentUPBStatus(progress);
    }
    // A PIM register write, sent at once (not queued).
    void SendPIMMessage(const std::string& command) { queue_.SendPIMMessage(command); }

    // Start-up: opens the port when one is set and it is not open yet.
    // Whether it is open afterwards.
    bool OpenAtStart();
    // The port setting changed: the connection on `oldPort` closes and the
    // one the settings name now opens (none when the port is empty).
    bool Reopen(const std::string& oldPort);
    // Start-up: while held, received PIM text is buffered but not split into lines.
    void Hold() { connection_.SetHold(true); }
    void ReleaseHold() { connection_.SetHold(false); }
    // Empties the receive buffer and the count of open attempts.
    void ResetReceiveBuffer() { connection_.ResetReceiveBuffer(); }
    // Lets the transmit queue go on at once instead of after the hold time.
    void EndTransmitHold() { connection_.UPBQueueTimer().setEnabled(false); }
    // The program is ending: closing the connection is neither reported nor
    // answered with a reconnect.
    void BeginClosing() { connection_.SetClosing(true); }
    // Shut-down: nothing is reported or reconnected, the transmission in flight
    // and the waits end, the queue refuses new records, the port closes.
    void Close();

    UpbStatus status() const;

    Trace& trace() { return trace_; }
    PimConnection& connection() { return connection_; }
    TransmitQueue& queue() { return queue_; }
    StatusPoller& poller() { return poller_; }

private:
    platform::Platform& platform_;
    LogSink& log_;
    const app::ProgramSettings& settings_;
    model::Network& network_;
    Callbacks callbacks_;
    Trace trace_;
    PimConnection connection_;
    TransmitQueue queue_;
    StatusPoller poller_;
};

} // namespace tarvelo::upb
