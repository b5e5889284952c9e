#include "scripting/ScriptTriggers.h"

namespace tarvelo::scripting {

ScriptTriggers::ScriptTriggers(platform::Platform& platform, LogSink& log,
                               std::function<void(const std::string& tag)> runMain)
    : log_(log),
      runMain_(std::move(runMain)),
      queueTimer_(platform.createTimer()),
      periodicTimer_(platform.createTimer()) {
    queueTimer_->setHandler([this] { ScriptQueueTimerTick(); });
    periodicTimer_->setHandler([this] { PeriodicScriptTimerTick(); });
}

void ScriptTriggers::QueueScriptEvent(std::shared_ptr<xap::DeviceClass> event) {
    queue_.push_back(std::move(event));
    if (!queueTimer_->enabled()) {
        queueTimer_->setInterval(5);
        queueTimer_->setEnabled(true);
    }
}

void ScriptTriggers::ScriptQueueTimerTick() {
    // An error leaves the timer running at 60 s: the rest waits for the next tick.
    Guard(&log_, "ScriptQueueTimer_Timer", [&] {
        while (!queue_.empty()) {
            // A long script run must not cause a new tick at once.
            queueTimer_->setInterval(60000);
            current_ = std::move(queue_.front());
            queue_.pop_front();
            const std::string tag = current_ ? current_->Tag : "";
            // Cleared however "Main" ends: a later Request("LastEvent") must
            // not see an event that is no longer being handled.
            struct Clear {
                std::shared_ptr<xap::DeviceClass>& event;
                ~Clear() { event.reset(); }
            } clear{current_};
            if (runMain_) runMain_(tag);
        }
        queueTimer_->setEnabled(false);
    });
}

void ScriptTriggers::ArmPeriodic(const std::string& intervalSetting) {
    intervalSetting_ = intervalSetting;
    schedule_ = app::PeriodicScriptSchedule(intervalSetting);
    periodicTimer_->setEnabled(false);
    if (!schedule_.enabled) return;
    counter_ = static_cast<int32_t>(schedule_.wholeMinutes);
    periodicTimer_->setInterval(schedule_.intervalMs);
    periodicTimer_->setEnabled(true);
}

void ScriptTriggers::PeriodicScriptTimerTick() {
    --counter_;
    if (counter_ >= 0) {
        periodicTimer_->setInterval(60000);
        return;
    }
    QueueScriptEvent(nullptr);
    const app::PeriodicSchedule s = app::PeriodicScriptSchedule(intervalSetting_);
    if (!s.enabled) {
        periodicTimer_->setEnabled(false);
        return;
    }
    counter_ = static_cast<int32_t>(s.wholeMinutes);
    periodicTimer_->setInterval(s.intervalMs);
}

void ScriptTriggers::Stop() {
    queueTimer_->setEnabled(false);
    periodicTimer_->setEnabled(false);
    queue_.clear();
}

} // namespace tarvelo::scripting
