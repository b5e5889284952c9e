// Import time and memory of generated installations, and the time of the
// state records and the link map that start-up applies after the import.
//
// Heap figures come from counting operator new/delete in this process:
// "heap_peak" is the most memory live at once during one import (text,
// working state and model), "model" what the finished model keeps.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <random>

#include "app/SettingsCache.h"
#include "BenchPlatform.h"
#include "ExportGenerator.h"
#include "model/Installation.h"
#include "model/StateRecords.h"
#include "model/UpstartImport.h"

namespace {

// Counting is switched on only around the import whose heap is reported:
// the timed rounds run on plain malloc, so the figures time the import, not
// the counting. A block records whether it was counted.
bool gCounting = false;
long long gLive = 0, gPeak = 0;

void* Allocate(std::size_t n) {
    auto* p = static_cast<std::size_t*>(std::malloc(n + 16));
    if (!p) throw std::bad_alloc();
    *p = gCounting ? n : 0;
    if (gCounting) {
        gLive += static_cast<long long>(n);
        if (gLive > gPeak) gPeak = gLive;
    }
    return reinterpret_cast<char*>(p) + 16;
}
void Release(void* q) noexcept {
    if (!q) return;
    auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(q) - 16);
    gLive -= static_cast<long long>(*p);
    std::free(p);
}

} // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using namespace tarvelo;
namespace fs = std::filesystem;

// Timers that never tick, no loop: nothing here waits.
class BenchPlatform : public bench::NoIoPlatform {
public:
    std::unique_ptr<platform::Timer> createTimer() override { return std::make_unique<bench::InertTimer>(); }
    void pumpOnce() override {}
    void post(std::function<void()>) override {}
};

struct NullLog : LogSink {
    long long entries = 0;
    void WriteLog(const std::string&, const std::string&) override { ++entries; }
};

// An installation folder with a generated export, the gateway's own [UPB]
// settings and, when `records`, a state record for every tracked component;
// every tenth component has a link-map entry.
struct Site {
    fs::path base;
    explicit Site(int devices, bool records = true) {
        std::random_device rd;
        base = fs::temp_directory_path() / ("tarvelo-bench-" + std::to_string(devices) + "-" + std::to_string(rd()));
        fs::create_directories(base / "Data" / "Tarvelo");
        fs::create_directories(base / "Config");
        std::ofstream(base / "Data" / "Tarvelo" / "Tarvelo.upe", std::ios::binary) << testing::GenerateExport(devices);

        BenchPlatform platform;
        NullLog log;
        model::Network net;
        model::Installation model(net, log, platform);
        model.Import(exportFile(), "");
        app::SettingsCache ini(base / "Config", &log);
        int n = 0;
        net.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
            s->Used = true;
            s->Tag = "Tag_" + std::to_string(n);
            s->Delay = n % 5 ? "" : "90";
            s->Value = static_cast<int16_t>(n % 2);
            if (n++ % 10 == 0)
                ini.SaveIniSetting("Link Map", model::LinkMapName(net, *s, &log), "12:Kitchen;GoTo;;Deactivate",
                                   "Tarvelo.ini");
        });
        ini.SaveIniSetting("UPB", "UPBCommPort", "2101", "Tarvelo.ini");
        if (records) {
            model.Restore(ini);  // creates the records object
            model.Save();
        }
        ini.FlushIniCache();
    }
    ~Site() {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    fs::path exportFile() const { return base / "Data" / "Tarvelo" / "Tarvelo.upe"; }
};

void BM_ReadUPS(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    Site site(devices);
    NullLog log;
    size_t states = 0;
    double teardownSeconds = 0;
    for (auto _ : state) {
        std::optional<model::Network> net;
        net.emplace();
        model::UpstartImport(*net, log).ReadUPS(site.exportFile());
        // Freeing the model is not part of the import: it is timed on its own.
        state.PauseTiming();
        states = 0;
        net->forEachState([&](auto&, auto&, auto&) { ++states; }, true);
        const auto t0 = std::chrono::steady_clock::now();
        net.reset();
        teardownSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.ResumeTiming();
    }
    // One more import, untimed, with the heap counted.
    long long peak = 0, kept = 0;
    {
        model::Network net;
        gCounting = true;
        const long long before = gLive;
        gPeak = before;
        model::UpstartImport(net, log).ReadUPS(site.exportFile());
        peak = gPeak - before;
        kept = gLive - before;
        gCounting = false;
    }
    state.counters["teardown_ms"] = teardownSeconds * 1000.0 / static_cast<double>(state.iterations());
    if (log.entries) state.SkipWithError("the generated export logged problems");
    state.counters["file_KB"] = static_cast<double>(fs::file_size(site.exportFile())) / 1024.0;
    state.counters["components"] = static_cast<double>(states);
    state.counters["heap_peak_KB"] = static_cast<double>(peak) / 1024.0;
    state.counters["model_KB"] = static_cast<double>(kept) / 1024.0;
}
BENCHMARK(BM_ReadUPS)->Arg(250)->Arg(2000)->Unit(benchmark::kMillisecond);

// Arguments: devices, and 1 for a state record per component (a gateway that
// has run) or 0 for an empty records section (the first start).
void BM_ReadLastChangeAndLinkMap(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    Site site(devices, state.range(1) != 0);
    BenchPlatform platform;
    NullLog log;
    // As at start-up: one turn of the loop.
    app::SettingsCache ini(site.base / "Config", &log, &platform);
    ini.GetIniSetting("UPB", "DebugLog", "", "Tarvelo.ini");  // start-up has loaded the file by then
    int restored = 0, mapped = 0;
    size_t timers = 0;
    for (auto _ : state) {
        // Each round on a freshly imported model, as at start-up.
        state.PauseTiming();
        model::Network net;
        model::Installation model(net, log, platform);
        model.Import(site.exportFile(), "");
        model::StateRecords records(net, log, ini, model.tracker(), platform.clock());
        state.ResumeTiming();
        records.ReadLastChange();
        records.ApplyLinkEditMap();
        state.PauseTiming();
        restored = records.recordsRestored();
        mapped = records.linkMapApplied();
        timers = model.tracker().delayTimerCount();
        state.ResumeTiming();
    }
    if (log.entries) state.SkipWithError("the records logged problems");
    state.counters["records"] = restored;
    state.counters["link_map"] = mapped;
    state.counters["timers"] = static_cast<double>(timers);
}
BENCHMARK(BM_ReadLastChangeAndLinkMap)
    ->ArgNames({"devices", "records"})
    ->Args({250, 1})
    ->Args({2000, 1})
    ->Args({2000, 0})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
