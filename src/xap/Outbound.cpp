// Outbound BSC and X10 events, and the pacing of query replies.

#include "common/Text.h"
#include "xap/XapService.h"

namespace tarvelo::xap {

namespace {
constexpr int kPaceMs = 200;
}

void XapService::NotifyUPBState(const std::shared_ptr<model::UPBLinkState>& state) {
    Guard(&log_, "NotifyUPBState", [&] {
        const std::string section = state->Controllable ? "output.state" : "input.state";
        if (!state->X10.empty()) {
            const char* event = state->Value == 0 ? "OFF" : state->Value == 100 ? "ON" : "DIM";
            SendXapMessage("", "xap-x10.event", "xap-x10.event",
                           MsgData().add("event", event).add("device", state->X10).add("count", Dec(state->Value)).str(),
                           "", "");
        } else {
            // Events are not paced: they may overtake queued query replies.
            SendXapMessage("", "xapbsc.event", section, IncludeContent(*state, moduleKind(*state)),
                           JoinName(bscName(*state)), LinkUID(configuredUID(), state->UIDindex));
        }
        if (state->EventNotification) {
            auto device = std::make_shared<DeviceClass>();
            device->MessageList.add("value", Dec(state->Value));
            device->MessageList.add("lastchange", FormatDateTime(state->LastChange));
            device->Tag = state->Tag;
            if (callbacks_.QueueScriptEvent) callbacks_.QueueScriptEvent(device);
        }
    });
}

void XapService::PacedSend(xapQueuedMessage message) {
    if (bscTimer_->enabled()) {
        bscQueue_.push_back(std::move(message));
        return;
    }
    bscTimer_->setInterval(kPaceMs);
    bscTimer_->setEnabled(true);
    SendXapMessage(message.MsgTarget, message.MsgClass, message.MsgSection, message.MsgData, message.MsgSubAddress,
                   message.MsgUID);
}

void XapService::BSCTimerTick() {
    if (bscQueue_.empty()) {
        bscTimer_->setEnabled(false);
        return;
    }
    bscTimer_->setInterval(kPaceMs);
    bscTimer_->setEnabled(true);
    xapQueuedMessage m = std::move(bscQueue_.front());
    bscQueue_.pop_front();
    Guard(&log_, "BSCTimer", [&] {
        SendXapMessage(m.MsgTarget, m.MsgClass, m.MsgSection, m.MsgData, m.MsgSubAddress, m.MsgUID, "");
    });
}

} // namespace tarvelo::xap
