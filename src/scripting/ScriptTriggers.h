#pragma once
// The script trigger queue: device events and notifying link-state changes
// wait here until the queue timer runs the main script once per event, with
// the event's tag. The periodic timer adds an empty event every period.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/ProgramSettings.h"
#include "common/Guard.h"
#include "platform/Platform.h"
#include "xap/Devices.h"

namespace tarvelo::scripting {

class ScriptTriggers {
public:
    // `runMain` runs "Main" with an event's tag.
    ScriptTriggers(platform::Platform& platform, LogSink& log, std::function<void(const std::string& tag)> runMain);

    // Appends an event (nullptr: "Main" runs with the empty tag).
    void QueueScriptEvent(std::shared_ptr<xap::DeviceClass> event);
    // Arms the periodic timer from the interval setting (seconds).
    void ArmPeriodic(const std::string& intervalSetting);
    void Stop();

    const std::shared_ptr<xap::DeviceClass>& currentEvent() const { return current_; }
    size_t queued() const { return queue_.size(); }
    platform::Timer& ScriptQueueTimer() { return *queueTimer_; }
    platform::Timer& PeriodicScriptTimer() { return *periodicTimer_; }
    const app::PeriodicSchedule& periodicSchedule() const { return schedule_; }

private:
    void ScriptQueueTimerTick();
    void PeriodicScriptTimerTick();

    LogSink& log_;
    std::function<void(const std::string& tag)> runMain_;
    std::unique_ptr<platform::Timer> queueTimer_;
    std::unique_ptr<platform::Timer> periodicTimer_;
    std::deque<std::shared_ptr<xap::DeviceClass>> queue_;
    std::shared_ptr<xap::DeviceClass> current_;
    std::string intervalSetting_;
    app::PeriodicSchedule schedule_;
    int32_t counter_ = 0;
};

} // namespace tarvelo::scripting
