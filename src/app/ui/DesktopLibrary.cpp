// The desktop library's entry point, found by name once the program has
// loaded it (see gateway/Desktop.h).
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <cstdlib>

#include "app/ui/WidgetsDesktop.h"

namespace {

void* CreateApplication(int& argc, char** argv, std::string& why) {
    // Without a usable display Qt would end the program; falling back to the
    // offscreen platform lets the gateway run on headless instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen");
    auto* app = new QApplication(argc, argv);
    // Closing the trace window or the settings form must not end the gateway.
    QApplication::setQuitOnLastWindowClosed(false);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        why = "the display cannot be opened";
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        why = "the desktop has no system tray";
    return static_cast<QCoreApplication*>(app);  // the program takes it back as one
}

std::unique_ptr<tarvelo::Desktop> CreateDesktop(tarvelo::DesktopHost host) {
    return std::make_unique<tarvelo::ui::WidgetsDesktop>(std::move(host));
}

const tarvelo::DesktopLibrary kLibrary{.createApplication = CreateApplication, .createDesktop = CreateDesktop};

} // namespace

extern "C" __attribute__((visibility("default"))) const tarvelo::DesktopLibrary* tarvelo_desktop_library() {
    return &kLibrary;
}
