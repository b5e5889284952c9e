#pragma once
// The model subsystem as the gateway (and `tarvelo --check`) drives it: the
// network picture, its tracking, and the start-up and shut-down steps that
// build, decorate and save it.
//
//   start-up:  Import (export file, then Rain8 valves)
//              Restore (state records, link map, X10 lookup)
//   running:   tracker().UPBReceive, delay-off timers
//   shut-down: Save (state records into the settings cache)

#include <filesystem>
#include <memory>
#include <string>

#include "app/SettingsCache.h"
#include "common/Guard.h"
#include "model/Network.h"
#include "model/StateRecords.h"
#include "model/Tracker.h"
#include "platform/Platform.h"

namespace tarvelo::model {

class Installation {
public:
    Installation(Network& network, LogSink& log, platform::Platform& platform, Tracker::Callbacks callbacks = {})
        : network_(network), log_(log), platform_(platform), tracker_(network, log, platform, std::move(callbacks)) {}

    // How long the two halves of Load took, for the --check report.
    struct LoadTimes {
        double importMs = 0;
        double restoreMs = 0;
    };
    // What start-up and --check both do: Import, then Restore.
    LoadTimes Load(const std::filesystem::path& exportFile, const std::string& rain8Modules, app::SettingsCache& ini);

    // The UPStart import, then the valves named by the Rain8Modules setting.
    void Import(const std::filesystem::path& exportFile, const std::string& rain8Modules);
    // ReadLastChange, ApplyLinkEditMap, BuildX10Dictionary, in that order.
    void Restore(app::SettingsCache& ini);
    // SaveLinkStates; nothing before Restore has run.
    void Save();

    Network& network() { return network_; }
    Tracker& tracker() { return tracker_; }
    // Empty until Restore has run.
    X10Dictionary& x10Lookup();
    StateRecords* records() { return records_.get(); }
    int rain8Valves() const { return rain8Valves_; }
    size_t delayTimerCount() const { return tracker_.delayTimerCount(); }

private:
    Network& network_;
    LogSink& log_;
    platform::Platform& platform_;
    Tracker tracker_;
    std::unique_ptr<StateRecords> records_;
    X10Dictionary noX10_;
    int rain8Valves_ = 0;
};

} // namespace tarvelo::model
