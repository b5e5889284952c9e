#include "GatewayLink.h"

#include <QCoreApplication>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/qt/QtPlatform.h"
#include "scripting/ApplicationBridge.h"

namespace tarvelo::vbs {

namespace fs = std::filesystem;

namespace {

// Made on the first CreateObject only, so scripts that never call the
// gateway start as fast as before; they live until the process ends.
platform::Platform& Loop() {
    static platform::Platform* platform = [] {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "tarvelo-vbs";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
        return new platform::qt::QtPlatform();
    }();
    return *platform;
}

bool IsScriptsFolder(const fs::path& folder) {
    std::string name = folder.filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "scripts";
}

}  // namespace

std::string GatewaySocketFor(const std::string& scriptPath, const std::string& hostFolder) {
    std::error_code ec;
    const fs::path folder = fs::absolute(scriptPath, ec).lexically_normal().parent_path();
    if (IsScriptsFolder(folder) && fs::is_directory(folder.parent_path() / "Data", ec))
        return (folder.parent_path() / "Data" / "Tarvelo.sock").string();
    if (const char* home = std::getenv("TARVELO_HOME"); home && *home)
        return (fs::path(home) / "Data" / "Tarvelo.sock").string();
    return (fs::path(hostFolder) / "Data" / "Tarvelo.sock").string();
}

void AddGatewayClass(Runtime& rt, const std::string& scriptPath, const std::string& hostFolder) {
    const std::string socket = GatewaySocketFor(scriptPath, hostFolder);
    rt.AddClass("Tarvelo.Application",
                [socket](Runtime&) { return scripting::ConnectApplication(Loop(), socket); });
}

}  // namespace tarvelo::vbs
