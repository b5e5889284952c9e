#pragma once
// The web subsystem as the gateway drives it: the server, the page framework
// and the status page, wired once here. What the pages do to the rest of the
// program flows out through the callbacks given at construction.

#include <filesystem>
#include <memory>
#include <string>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "common/Guard.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "web/PageFramework.h"
#include "web/StatusPage.h"
#include "web/WebServer.h"
#include "xap/Devices.h"

namespace tarvelo::web {

class WebService {
public:
    struct Callbacks {
        StatusPage::Callbacks page;
        PageFramework::Callbacks framework;
        // The server listens on this port.
        std::function<void(int port)> listening;
    };

    WebService(platform::Platform& platform, LogSink& log, app::SettingsCache& ini, app::ProgramSettings& settings,
               model::Network& network, xap::DevicesOfInterest& devices, std::filesystem::path programFolder,
               std::filesystem::path htmlFolder, std::string version, Callbacks callbacks)
        : framework_(platform, log, ini, settings, programFolder, htmlFolder, std::move(callbacks.framework)),
          page_(framework_, network, ini, settings, devices, log, platform.clock(), std::move(version),
                WithServer(std::move(callbacks.page))),
          server_(platform, log, ini, programFolder, htmlFolder,
                  {.statusPage =
                       [this](const Request& request) {
                           StatusPage::Result r = page_.Serve(request);
                           return WebServer::Page{std::move(r.text), r.refused};
                       },
                   .listening = std::move(callbacks.listening)}) {}

    // Start-up: the listener on the HTTPPort setting.
    void Start() { server_.Start(); }
    void Unload() { server_.Unload(); }

    WebServer& server() { return server_; }
    StatusPage& statusPage() { return page_; }
    PageFramework& framework() { return framework_; }

private:
    // The page's new HTTP port goes to this server.
    StatusPage::Callbacks WithServer(StatusPage::Callbacks page) {
        page.HttpPortSaved = [this](const std::string& port) { server_.setCurrentPort(port); };
        return page;
    }

    PageFramework framework_;
    StatusPage page_;
    WebServer server_;
};

} // namespace tarvelo::web
