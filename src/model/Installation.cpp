#include "model/Installation.h"

#include <chrono>

#include "model/Rain8.h"
#include "model/UpstartImport.h"

namespace tarvelo::model {

Installation::LoadTimes Installation::Load(const std::filesystem::path& exportFile, const std::string& rain8Modules,
                                           app::SettingsCache& ini) {
    // A measurement for the report, not program time: the platform clock of
    // the tests does not move while the import runs.
    using Steady = std::chrono::steady_clock;
    const auto millisSince = [](Steady::time_point t) {
        return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
    };
    LoadTimes times;
    auto start = Steady::now();
    Import(exportFile, rain8Modules);
    times.importMs = millisSince(start);
    start = Steady::now();
    Restore(ini);
    times.restoreMs = millisSince(start);
    return times;
}

void Installation::Import(const std::filesystem::path& exportFile, const std::string& rain8Modules) {
    UpstartImport(network_, log_).ReadUPS(exportFile);
    rain8Valves_ = Rain8(network_, log_).AddRain8(rain8Modules);
}

void Installation::Restore(app::SettingsCache& ini) {
    records_ = std::make_unique<StateRecords>(network_, log_, ini, tracker_, platform_.clock());
    records_->ReadLastChange();
    records_->ApplyLinkEditMap();
    records_->BuildX10Dictionary();
}

void Installation::Save() {
    if (records_) records_->SaveLinkStates();
}

X10Dictionary& Installation::x10Lookup() { return records_ ? records_->x10Lookup() : noX10_; }

} // namespace tarvelo::model
