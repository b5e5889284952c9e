// Settings store: loading, reading and saving a settings file the size of a
// large installation's Tarvelo.ini (one state record per component).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "app/IniTool.h"
#include "app/SettingsCache.h"
#include "BenchPlatform.h"

namespace fs = std::filesystem;
using tarvelo::app::IniTool;
using tarvelo::app::SettingsCache;

namespace {

fs::path MakeFile(int records) {
    fs::path dir = fs::temp_directory_path() / ("tarvelo-bench-" + std::to_string(records));
    fs::create_directories(dir);
    std::ofstream out(dir / "Tarvelo.ini", std::ios::binary | std::ios::trunc);
    out << "[UPB]\r\nUPBCommPort=2101\r\nSerialIP=127.0.0.1\r\n";
    for (int i = 0; i < records; ++i)
        out << "UPB01_M" << i << "_C01_00=2026-12-06 07:01:37;100;False;True;90;Hall_" << i
            << ";True;A1;3\r\n";
    out << "[Link Map]\r\n";
    for (int i = 0; i < records / 4; ++i) out << "Ground_Floor_Lamp_" << i << "=12:Kitchen;GoTo;;Deactivate\r\n";
    return dir;
}

void BM_IniLoad(benchmark::State& state) {
    fs::path dir = MakeFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        IniTool ini;
        ini.Load(dir / "Tarvelo.ini");
        benchmark::DoNotOptimize(ini.Read("UPB", "UPBCommPort", ""));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IniLoad)->Arg(250)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_IniSave(benchmark::State& state) {
    fs::path dir = MakeFile(static_cast<int>(state.range(0)));
    IniTool ini;
    ini.Load(dir / "Tarvelo.ini");
    for (auto _ : state) ini.Save();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IniSave)->Arg(250)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_GetIniSetting(benchmark::State& state) {
    fs::path dir = MakeFile(2000);
    SettingsCache cache(dir, nullptr);
    std::mt19937 rng(1);
    for (auto _ : state) {
        std::string key = "UPB01_M" + std::to_string(rng() % 2000) + "_C01_00";
        benchmark::DoNotOptimize(cache.GetIniSetting("UPB", key, "", "Tarvelo.ini"));
    }
}
BENCHMARK(BM_GetIniSetting);

// As the gateway reads: with its loop, within one turn (the file's time is
// looked at once).
class OneTurn : public tarvelo::bench::NoIoPlatform {
public:
    std::unique_ptr<tarvelo::platform::Timer> createTimer() override {
        return std::make_unique<tarvelo::bench::InertTimer>();
    }
    void pumpOnce() override {}
    void post(std::function<void()>) override {}
};

void BM_GetIniSettingInOneTurn(benchmark::State& state) {
    fs::path dir = MakeFile(2000);
    OneTurn loop;
    SettingsCache cache(dir, nullptr, &loop);
    std::mt19937 rng(1);
    for (auto _ : state) {
        std::string key = "UPB01_M" + std::to_string(rng() % 2000) + "_C01_00";
        benchmark::DoNotOptimize(cache.GetIniSetting("UPB", key, "", "Tarvelo.ini"));
    }
}
BENCHMARK(BM_GetIniSettingInOneTurn);

} // namespace

BENCHMARK_MAIN();
