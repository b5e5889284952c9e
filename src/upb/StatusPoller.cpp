#include "upb/StatusPoller.h"

#include "common/Text.h"

namespace tarvelo::upb {

StatusPoller::StatusPoller(platform::Platform& platform, LogSink& log, model::Network& network, TransmitQueue& queue,
                           std::function<void(const std::string& moduleId)> requestStatus)
    : platform_(platform), log_(log), network_(network), queue_(queue), requestStatus_(std::move(requestStatus)) {
    requestTimer_ = platform_.createTimer();
    requestTimer_->setInterval(kTickMs);
    requestTimer_->setHandler([this] { Guard(&log_, "StatusRequestTimer_Timer", [&] { StatusRequestTimer_Timer(); }); });
    receiveTimer_ = platform_.createTimer();
    receiveTimer_->setHandler([this] { receiveTimer_->setEnabled(false); });
}

void StatusPoller::Add(const std::string& moduleId, int64_t dueMillis) {
    pending_.push_back(UPBStatusRequest{moduleId, dueMillis});
}

void StatusPoller::ScheduleAfterCommand(const model::UPBModule& module, bool isLink, int destination) {
    const int64_t due = platform_.clock().localMillis() + kDelayMs;
    if (module.ModuleID != "0") {
        if (isLink && module.Kind == model::KindSwitch) Add(module.ModuleID, due);
    } else {
        // The scene module: every device that has a component on the link.
        const std::string link = std::to_string(destination);
        network_.UPBLinks.forEach([&](const model::LinkEntry& entry) {
            if (entry.Count() >= 1 && entry.Item(1) == link)
                for (size_t i = 4; i <= entry.Count(); ++i) Add(entry.Item(i), due);
        });
    }
    EnableWhilePending();
}

void StatusPoller::StatusRequestTimer_Timer() {
    bool ranOne = true;
    while (ranOne) {
        ranOne = false;
        const int64_t now = platform_.clock().localMillis();
        for (size_t i = 0; i < pending_.size(); ++i) {
            if (pending_[i].dueMillis > now) continue;
            // Removed before the call: a poll that runs inside this one's wait
            // must not find it again.
            const std::string id = pending_[i].ModuleID;
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
            GetUPBState(id);
            ranOne = true;
            break;
        }
    }
    EnableWhilePending();
}

int16_t StatusPoller::GetUPBState(const std::string& moduleId) {
    Guard(&log_, "GetUPBState", [&] {
        if (queue_.closed()) return;
        // Called from inside the queue's own loop (a handler nested in a
        // transmission, or a queued "GetUPBState" record), the request can only
        // go out once this call returns: waiting here would hold the queue.
        if (queue_.running()) {
            requestStatus_(moduleId);
            return;
        }
        receiveTimer_->start(kQueueWaitMs);
        while (queue_.size() > 0 && receiveTimer_->enabled()) platform_.pumpOnce();
        receiveTimer_->setEnabled(false);

        requestStatus_(moduleId);

        // The state report arrives during this wait and is applied on its own.
        receiveTimer_->start(kAnswerWaitMs);
        while (receiveTimer_->enabled()) platform_.pumpOnce();
    });
    return -1;
}

void StatusPoller::RemovePendingStatusRequests(const std::string& moduleId) {
    std::erase_if(pending_, [&](const UPBStatusRequest& r) { return r.ModuleID == moduleId; });
    EnableWhilePending();
}

void StatusPoller::GetCurrentUPBStatus(const std::function<void(size_t done, size_t total)>& progress) {
    // The scene module ("0") is no device: a state request to device 0 would
    // be a broadcast that no single device answers.
    std::vector<std::string> ids;
    for (const auto& [key, module] : network_.UPBModules)
        if (module && module->ModuleID != "0") ids.push_back(module->ModuleID);
    size_t done = 0;
    for (const auto& id : ids) {
        if (queue_.closed()) break;
        GetUPBState(id);
        if (progress) progress(++done, ids.size());
    }
}

void StatusPoller::Stop() {
    requestTimer_->setEnabled(false);
    receiveTimer_->setEnabled(false);
}

} // namespace tarvelo::upb
