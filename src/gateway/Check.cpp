#include "gateway/Check.h"

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "common/Text.h"
#include "model/Installation.h"

namespace tarvelo {

namespace {

struct CollectingLog : LogSink {
    std::vector<std::pair<std::string, std::string>> entries;
    void WriteLog(const std::string& type, const std::string& data) override { entries.emplace_back(type, data); }
};

std::string Millis(double ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", ms);
    return buf;
}

std::string KindLabel(int kind) {
    const char* name = model::KindName(kind);
    return *name ? std::string(name) + " (" + Dec(kind) + ")" : "kind " + Dec(kind);
}

} // namespace

int RunCheck(platform::Platform& platform, const app::Paths& paths, std::ostream& out) {
    CollectingLog log;
    app::SettingsCache ini(paths.config(), &log, &platform);
    app::ProgramSettings settings;
    settings.InitIniKeys(ini, &log);

    model::Network network;
    model::Installation installation(network, log, platform);
    const model::Installation::LoadTimes times = installation.Load(paths.exportFile(), settings.Rain8Modules, ini);

    std::map<int, int> byKind;
    size_t channels = 0, states = 0, tracked = 0, scene = 0;
    for (const auto& [key, module] : network.UPBModules) {
        if (!module) continue;
        ++byKind[module->Kind];
        channels += module->ChannelCollection().size();
        for (const auto& channel : module->ChannelCollection()) {
            states += channel->LinkCollection.size();
            for (const auto& state : channel->LinkCollection) tracked += state->StatusMask != 0;
            if (key == "0") scene += channel->LinkCollection.size();
        }
    }
    size_t shared = 0, single = 0, unused = 0;
    network.UPBLinks.forEach([&](const model::LinkEntry& e) {
        if (e.Count() > 4) ++shared;
        else if (e.Count() == 4) ++single;
        else ++unused;
    });

    out << "Installation: " << paths.base.string() << "\n";
    out << "Export file: " << paths.exportFile().string() << "\n";
    out << "Network id: " << (network.NetworkId.empty() ? "-" : network.NetworkId) << "\n";
    out << "Modules: " << network.UPBModules.size() << "\n";
    for (const auto& [kind, count] : byKind) out << "  " << KindLabel(kind) << ": " << count << "\n";
    out << "Channels: " << channels << "\n";
    out << "Components: " << states << " (tracked " << tracked << ")\n";
    out << "Links: " << network.UPBLinks.count() << " (shared " << shared << ", one module " << single
        << ", unused " << unused << ")\n";
    out << "Scene states: " << scene << "\n";
    out << "Rain8 valves: " << installation.rain8Valves() << "\n";
    const model::StateRecords* records = installation.records();
    out << "State records restored: " << (records ? records->recordsRestored() : 0) << "\n";
    out << "Delay-off timers: " << installation.tracker().delayTimerCount() << "\n";
    out << "Link-map entries applied: " << (records ? records->linkMapApplied() : 0) << "\n";
    out << "X10 addresses: " << installation.x10Lookup().size() << "\n";
    out << "Import time: " << Millis(times.importMs) << "; records and link map: " << Millis(times.restoreMs) << "\n";
    out << "Problems: " << log.entries.size() << "\n";
    for (const auto& [type, data] : log.entries) out << "  " << type << ": " << data << "\n";
    return log.entries.empty() ? 0 : 1;
}

} // namespace tarvelo
