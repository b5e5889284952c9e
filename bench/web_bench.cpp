// The status page: how long one page takes to build and how big it is, for
// the demo installation and for a generated 250-module export, with the
// status table shown (1) and with the configuration columns (2), and with
// every section open (link map, settings, xAP messages of interest); and the
// request parser on a typical save. Requests per second through the real
// listener and the gateway's memory after many requests: bench/web_load.py.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "BenchPlatform.h"
#include "ExportGenerator.h"
#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "model/Installation.h"
#include "web/PageFramework.h"
#include "web/StatusPage.h"

namespace {

using namespace tarvelo;
namespace fs = std::filesystem;

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

// An installation folder with its HTML fragments, the model loaded.
struct Site {
    fs::path base;
    BenchPlatform platform;
    NullLog log;
    model::Network network;
    std::unique_ptr<model::Installation> installation;
    std::unique_ptr<app::SettingsCache> ini;
    app::ProgramSettings settings;
    std::unique_ptr<web::PageFramework> framework;
    std::unique_ptr<xap::DevicesOfInterest> interest;
    std::unique_ptr<web::StatusPage> page;

    explicit Site(int devices) {
        std::random_device rd;
        base = fs::temp_directory_path() / ("tarvelo-web-bench-" + std::to_string(rd()));
        const fs::path source = TARVELO_SOURCE_DIR;
        fs::create_directories(base / "Data" / "Tarvelo");
        if (devices == 0) {
            fs::copy(source / "data" / "demo", base, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        } else {
            fs::create_directories(base / "Config");
            std::ofstream(base / "Data" / "Tarvelo" / "Tarvelo.upe", std::ios::binary) << testing::GenerateExport(devices);
        }
        fs::copy(source / "data" / "HTML", base / "HTML", fs::copy_options::recursive);
        ini = std::make_unique<app::SettingsCache>(base / "Config", &log);
        installation = std::make_unique<model::Installation>(network, log, platform);
        installation->Load(base / "Data" / "Tarvelo" / "Tarvelo.upe", devices == 0 ? "9" : "", *ini);
        network.forEachState([](auto&, auto&, const std::shared_ptr<model::UPBLinkState>& s) {
            s->Used = true;
            if (s->Tag.empty()) s->Tag = "Tag_" + std::to_string(s->UIDindex);
        });
        framework = std::make_unique<web::PageFramework>(platform, log, *ini, settings, base, base / "HTML");
        interest = std::make_unique<xap::DevicesOfInterest>(log, platform.clock(), network, *ini, nullptr);
        page = std::make_unique<web::StatusPage>(*framework, network, *ini, settings, *interest, log, platform.clock(), "0.1.0",
                                                 web::StatusPage::Callbacks{});
    }
    ~Site() {
        page.reset();
        framework.reset();
        std::error_code ec;
        fs::remove_all(base, ec);
    }
};

// Serves the status page to a browser for each round; the page's size.
size_t ServePages(benchmark::State& state, Site& site) {
    web::Request request;
    request.ParsePage("GET /stat HTTP/1.1\r\nHost: gw\r\nUser-Agent: Mozilla/5.0\r\n\r\n");
    request.setRemoteip("192.168.1.30");
    size_t bytes = 0;
    for (auto _ : state) {
        web::StatusPage::Result r = site.page->Serve(request);
        bytes = r.text.size();
        benchmark::DoNotOptimize(r.text.data());
    }
    return bytes;
}

void BM_StatusPage(benchmark::State& state) {
    Site site(static_cast<int>(state.range(0)));
    site.settings.ShowStatus = static_cast<int16_t>(state.range(1));
    const size_t bytes = ServePages(state, site);
    size_t rows = 0;
    site.network.forEachState([&](auto&, auto&, auto&) { ++rows; });
    state.counters["page_KB"] = static_cast<double>(bytes) / 1024.0;
    state.counters["tracked"] = static_cast<double>(rows);
}
// 0 devices: the demo installation.
BENCHMARK(BM_StatusPage)->Args({0, 1})->Args({0, 2})->Args({250, 1})->Args({250, 2})->Unit(benchmark::kMicrosecond);

// Every section open: configuration columns, link-map editor, settings, and
// 20 xAP filters with their captured values in detail.
void BM_StatusPageAllSections(benchmark::State& state) {
    Site site(static_cast<int>(state.range(0)));
    site.settings.ShowStatus = 2;
    site.settings.ShowEditMap = site.settings.ShowSetup = true;
    site.settings.ShowReceiveMessages = site.settings.ShowReceiveDetail = true;
    for (int i = 0; i < 20; ++i) {
        const std::string tag = "Sensor_" + std::to_string(i);
        site.interest->filters().add("acme.sensor.house:room" + std::to_string(i) + "~sensor.report", tag + ";1");
        auto device = std::make_shared<xap::DeviceClass>();
        device->Tag = tag;
        for (const char* item : {"sensor.report.temp", "sensor.report.humidity", "sensor.report.battery"}) {
            device->MessageKeyList.push_back(item);
            device->MessageList.add(item, "42");
        }
        site.interest->devices().add(tag, device);
    }
    const size_t bytes = ServePages(state, site);
    size_t links = 0;
    site.network.UPBLinks.forEach([&](const model::LinkEntry&) { ++links; });
    state.counters["page_KB"] = static_cast<double>(bytes) / 1024.0;
    state.counters["links"] = static_cast<double>(links);
}
BENCHMARK(BM_StatusPageAllSections)->Arg(0)->Arg(250)->Unit(benchmark::kMicrosecond);

void BM_ParseSave(benchmark::State& state) {
    // A configuration save of 750 rows, as a browser sends it.
    std::string body = "clientinput=yes&clientvalue=yes&ShownStatus=2&UpdateButton=Save+Changes&ShowStatus=2&ShownRows=";
    for (int i = 0; i < 750; ++i) body += std::to_string(256 + i) + "+";
    for (int i = 0; i < 750; ++i) {
        const std::string n = std::to_string(256 + i);
        body += "&Used" + n + "=1&Delay" + n + "=&X10" + n + "=A" + std::to_string(i % 16) + "&Tag" + n +
                "=Garage%26Yard+" + n + "&Event" + n + "=1";
    }
    const std::string text = "POST /stat HTTP/1.1\r\nHost: gw\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t fields = 0;
    for (auto _ : state) {
        web::Request r;
        r.ParsePage(text);
        fields = r.FormCol().size();
    }
    state.counters["request_KB"] = static_cast<double>(text.size()) / 1024.0;
    state.counters["fields"] = static_cast<double>(fields);
}
BENCHMARK(BM_ParseSave)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
