// tarvelo: the UPB <-> xAP gateway.
#include <QCoreApplication>
#include <QLibrary>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/Paths.h"
#include "gateway/Check.h"
#include "gateway/Gateway.h"
#include "platform/qt/QtPlatform.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build's leak checker: the desktop's system libraries keep
// caches for the life of the process (fontconfig) or give up connection
// buffers only at their own exit (D-Bus, asked whether a tray exists).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }
#endif

namespace {

const char* kUsage =
    "Usage: tarvelo [options]\n"
    "\n"
    "Bridges a UPB powerline network (through a PIM on a serial port or a TCP\n"
    "serial bridge) and the xAP protocol, with status pages over HTTP.\n"
    "\n"
    "Options:\n"
    "  --base DIR    base folder holding Config/, Data/, Scripts/ and HTML/\n"
    "                (default: $TARVELO_HOME, else the executable's folder)\n"
    "  --headless    run as a daemon, without tray icon or windows (also what\n"
    "                happens without a display or a system tray)\n"
    "  --quiet       do not copy log entries to standard error\n"
    "  --check       load the settings and the UPStart export as start-up does,\n"
    "                without opening the PIM or any socket; print a summary and\n"
    "                every problem found; exit 0 when there was none, 1 otherwise\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Settings live in DIR/Config/Tarvelo.ini (section [UPB]); the installation is\n"
    "imported from DIR/Data/Tarvelo/Tarvelo.upe. SIGTERM or SIGINT shut the gateway\n"
    "down in order: the component states are saved before it ends.\n";

struct Options {
    std::string base;
    bool headless = false;
    bool quiet = false;
    bool check = false;
    int xapPort = 3639;
};

// 0 = go on; otherwise the exit status + 1.
int Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        } else if (a == "--version") {
            std::printf("tarvelo %s\n", TARVELO_VERSION);
            return 1;
        } else if (a == "--base") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarvelo: --base needs a folder\n");
                return 3;
            }
            o.base = argv[++i];
        } else if (a.rfind("--base=", 0) == 0) {
            o.base = a.substr(7);
        } else if (a == "--headless") {
            o.headless = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--xap-port" || a.rfind("--xap-port=", 0) == 0) {
            std::string v;
            if (a == "--xap-port") {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "tarvelo: --xap-port needs a port number\n");
                    return 3;
                }
                v = argv[++i];
            } else {
                v = a.substr(11);
            }
            char* end = nullptr;
            const long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || port < 1 || port > 65535) {
                std::fprintf(stderr, "tarvelo: --xap-port needs a port number from 1 to 65535, not '%s'\n", v.c_str());
                return 3;
            }
            o.xapPort = static_cast<int>(port);
        } else if (a == "--check") {
            o.check = true;
        } else {
            std::fprintf(stderr, "tarvelo: unknown option '%s' (try --help)\n", a.c_str());
            return 3;
        }
    }
    return 0;
}

// The application object, and the desktop when this session can show one.
struct DesktopChoice {
    std::unique_ptr<QCoreApplication> app;
    tarvelo::DesktopFactory factory;
    std::string why;  // why there is none
};

std::filesystem::path ExecutableFolder(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path();
}

// The desktop library sits beside the program in a build, and in
// lib/tarvelo when installed. Only a session with a display loads it, so a
// daemon never maps Qt Widgets and the X libraries.
DesktopChoice ChooseDesktop(bool headless, int& argc, char** argv) {
    DesktopChoice c;
    auto set = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    if (headless) {
        c.why = "started with --headless";
    } else if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
        c.why = "no display (DISPLAY and WAYLAND_DISPLAY are not set)";
    } else {
        const std::filesystem::path folder = ExecutableFolder(argv[0]);
        static QLibrary library;  // never unloaded: the desktop's code runs until the end
        std::string error;
        for (const auto& candidate : {folder / "libtarvelo-desktop.so", folder / ".." / "lib" / "tarvelo" / "libtarvelo-desktop.so"}) {
            library.setFileName(QString::fromStdString(candidate.lexically_normal().string()));
            if (library.load()) break;
            if (error.empty() || std::filesystem::exists(candidate)) error = library.errorString().toStdString();
        }
        using Entry = const tarvelo::DesktopLibrary* (*)();
        auto entry = library.isLoaded() ? reinterpret_cast<Entry>(library.resolve(tarvelo::kDesktopLibraryEntry)) : nullptr;
        const tarvelo::DesktopLibrary* desktop = entry ? entry() : nullptr;
        if (!library.isLoaded()) {
            c.why = "the desktop library cannot be loaded (" + error + ")";
        } else if (!desktop || desktop->version != tarvelo::DesktopLibrary::kVersion) {
            c.why = "the desktop library does not match this program";
        } else {
            c.app.reset(static_cast<QCoreApplication*>(desktop->createApplication(argc, argv, c.why)));
            if (c.app && c.why.empty()) c.factory = desktop->createDesktop;
        }
    }
    if (!c.app) c.app = std::make_unique<QCoreApplication>(argc, argv);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (int r = Parse(argc, argv, options)) return r - 1;

    const auto started = std::chrono::steady_clock::now();
    DesktopChoice desktop = ChooseDesktop(options.headless || options.check, argc, argv);
    const auto paths = tarvelo::app::Paths::Resolve(options.base, QCoreApplication::applicationDirPath().toStdString());

    tarvelo::platform::qt::QtPlatform platform;
    if (options.check) return tarvelo::RunCheck(platform, paths, std::cout);
    tarvelo::Gateway::Options gatewayOptions;
    gatewayOptions.mirrorLog = !options.quiet;
    gatewayOptions.xapPort = static_cast<uint16_t>(options.xapPort);
    gatewayOptions.version = TARVELO_VERSION;
    gatewayOptions.desktop = desktop.factory;
    if (!options.headless) gatewayOptions.headlessReason = desktop.why;
    // A person watching the terminal sees the page's address, the start-up
    // polls and every change; a service's journal gets the log lines only.
    if (!options.quiet && isatty(STDOUT_FILENO))
        gatewayOptions.console = [](const std::string& line) {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        };
    tarvelo::Gateway gateway(platform, paths, gatewayOptions);
    tarvelo::platform::qt::InstallQuitSignals([&] { gateway.RequestExit(); });

    if (!gateway.Start()) return 1;
    if (!gateway.shutDown()) {
        if (!options.quiet) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            std::fprintf(stderr, "tarvelo: running from %s (ready in %lld ms)\n", paths.base.string().c_str(),
                         static_cast<long long>(ms.count()));
        }
        platform.run();
    }
    gateway.Shutdown();
    return 0;
}
