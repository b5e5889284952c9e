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
//        |          and calls notifyUPBState
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
// Out of this subsystem go two hooks, wired by the gateway: upbReceive (a
// packet heard on the line, without "PU", for the model's UPBReceive) and
// notifyUPBState (a link state changed by an acknowledged transmission, for
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

class UpbInterface {
public:
    UpbInterface(platform::Platform& platform, LogSink& log, const app::ProgramSettings& settings,
                 model::Network& network);
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
    void GetCurrentUPBStatus() { poller_.GetCurrentUPBStatus(); }
    // A PIM register write, sent at once (not queued).
    void SendPIMMessage(const std::string& command) { queue_.SendPIMMessage(command); }

    // Start-up: opens the port when one is set and it is not open yet.
    // Whether it is open afterwards.
    bool OpenAtStart();
    // Shut-down: nothing is reported or reconnected, the transmission in flight
    // and the waits end, the queue refuses new records, the port closes.
    void Close();

    // Hooks, set by the gateway.
    std::function<void(const std::string& packet)> upbReceive;
    std::function<void(const std::shared_ptr<model::UPBLinkState>& state)> notifyUPBState;

    Trace& trace() { return trace_; }
    PimConnection& connection() { return connection_; }
    TransmitQueue& queue() { return queue_; }
    StatusPoller& poller() { return poller_; }

private:
    platform::Platform& platform_;
    LogSink& log_;
    const app::ProgramSettings& settings_;
    model::Network& network_;
    Trace trace_;
    PimConnection connection_;
    TransmitQueue queue_;
    StatusPoller poller_;
};

} // namespace tarvelo::upb
