#include "upb/UpbInterface.h"

#include "common/Text.h"
#include "upb/codec/Packet.h"

namespace tarvelo::upb {

UpbInterface::UpbInterface(platform::Platform& platform, LogSink& log, const app::ProgramSettings& settings,
                           model::Network& network, Callbacks callbacks)
    : platform_(platform),
      log_(log),
      settings_(settings),
      network_(network),
      callbacks_(std::move(callbacks)),
      trace_(platform.clock(), {.changed = callbacks_.traceChanged}),
      connection_(platform, log, settings, trace_,
                  {.reply = [this] { queue_.ReplyArrived(); },
                   .replyTimeout = [this] { queue_.ReplyWaitExpired(); },
                   .upbReceive = callbacks_.upbReceive}),
      queue_(platform, log, connection_, trace_, network,
             {.upbReceive = callbacks_.upbReceive,
              .NotifyUPBState = callbacks_.NotifyUPBState,
              .GetUPBState = [this](const std::string& id) { poller_.GetUPBState(id); }}),
      poller_(platform, log, network, queue_, [this](const std::string& id) { RequestStatus(id); }) {}

void UpbInterface::SendUPBCommand(const std::shared_ptr<model::UPBStatus>& status, bool isLink, int16_t destination,
                                  bool on, int16_t level, int16_t command) {
    Guard(&log_, "SendUPBCommand", [&] {
        if (queue_.closed()) return;  // shutting down: no command, no polls
        if (!status || !status->Link) throw VbError("Object variable or With block variable not set");
        const auto& state = *status->Link;
        CommandPacket p;
        p.command = command != -1 ? command : on ? state.OnCommand : state.OffCommand;
        p.isLink = isLink;
        auto module = state.module();
        if (!module) throw VbError("Object variable or With block variable not set");
        p.ackRequest = !(module->Kind == model::KindOther || status->Value == -1);
        p.networkId = ToInt16(Val(network_.NetworkId));
        p.destination = destination;
        p.level = level;
        queue_.QueueTransmission(status, BuildCommandPacket(p), "SendUPBMessage");
        poller_.ScheduleAfterCommand(*module, isLink, destination);
    });
}

void UpbInterface::RequestStatus(const std::string& moduleId) {
    Guard(&log_, "RequestStatus", [&] {
        const std::string packet = BuildStatusRequest(ToInt16(Val(network_.NetworkId)), ToInt16(Val(moduleId)));
        queue_.QueueTransmission(nullptr, packet, "SendUPBMessage");
    });
}

UpbStatus UpbInterface::status() const {
    UpbStatus s;
    s.portOpen = connection_.IsOpen();
    s.tcpMode = connection_.tcpMode();
    s.connectAttempts = connection_.connectAttempts();
    s.lines = connection_.counters();
    s.receivedCharactersDropped = connection_.framer().droppedCharacters();
    s.queueLength = queue_.size();
    s.transmitting = queue_.inFlight();
    s.transmissions = queue_.counters();
    s.pendingPolls = poller_.pending().size();
    return s;
}

bool UpbInterface::OpenAtStart() {
    if (settings_.UPBCommPort.empty() || connection_.IsOpen()) return connection_.IsOpen();
    return connection_.OpenCommPort(settings_.UPBCommPort);
}

bool UpbInterface::Reopen(const std::string& oldPort) {
    connection_.ClosePort(oldPort);
    connection_.ResetReceiveBuffer();
    if (settings_.UPBCommPort.empty()) return false;
    return connection_.OpenCommPort(settings_.UPBCommPort);
}

void UpbInterface::Close() {
    connection_.SetClosing(true);
    queue_.Close();
    poller_.Stop();
    connection_.ClosePort(settings_.UPBCommPort);
}

} // namespace tarvelo::upb
