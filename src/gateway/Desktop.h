#pragma once
// The desktop user interface as the gateway sees it: a tray icon with its
// menu, the settings form and the trace window.
//
//   Gateway --- Desktop (show/remove the icon, show a window, open the browser,
//      ^        redraw the trace, close the windows at shut-down)
//      |
//      +------- DesktopHost (callbacks given to the desktop at construction:
//               a menu item chosen, the trace, the settings form's boxes)
//
// The Qt Widgets desktop (src/app/ui) is a library that the program loads at
// run time only when it has a display, so a daemon never maps the X
// libraries. It reaches the gateway only through DesktopHost: everything in
// this header is inline, and the library links none of the gateway's code.
// Without it the gateway runs with HeadlessDesktop, which shows nothing.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvelo {

// The tray menu, in order; a "-" caption is a separator.
enum TrayMenuItem {
    kMenuBrowser = 0,
    kMenuGUI = 1,
    kMenuSystemConfig = 2,
    kMenuSystemStatus = 3,
    kMenuIOWindow = 4,
    kMenuHelp = 5,
    kMenuSeparator = 6,
    kMenuExit = 7,
};
inline constexpr std::array<const char*, 8> kTrayMenuCaptions = {
    "Browser", "GUI", "System Config", "System Status", "IO Window", "Help", "-", "Exit"};
inline constexpr const char* kTrayMenuTitle = "Tarvelo";
inline constexpr const char* kTrayToolTip = "UPB";

// The settings form: eleven boxes, each with its label. The last box has
// "seconds" after it.
inline constexpr const char* kSetupCaption = "UPB Setup";
inline constexpr size_t kSetupBoxes = 11;
inline constexpr std::array<const char*, kSetupBoxes> kSetupLabels = {
    "UPB Comm Port",  "Comm IP",        "HTTP Server Port", "Debug",
    "Background Color", "Style Sheet",  "xAP UID",          "Show Only Used",
    "Show Only Status", "Show Received Detail", "Periodic Script Interval "};
inline constexpr const char* kSetupUnit = "seconds";

// The trace window.
inline constexpr const char* kTraceCaption = "UPB Data Monitor Window";
inline constexpr const char* kTraceLabel = "Data To / From External Interface and Error Reports";
inline constexpr const char* kTraceFreeze = "Freeze";

// What the desktop may ask of the gateway. Every member is set.
struct DesktopHost {
    // A tray menu item was chosen (TrayMenuItem).
    std::function<void(int item)> menuChosen;
    // The trace window's text, its connection-state label and its Freeze box.
    std::function<std::string()> traceText;
    std::function<std::string()> traceStatus;
    std::function<bool()> traceFrozen;
    std::function<void(bool frozen)> setTraceFrozen;
    // The settings form: the boxes' texts when it opens, and its save.
    std::function<std::vector<std::string>()> loadSetupForm;
    std::function<void(const std::vector<std::string>& boxes)> saveSetupForm;
    // One line in the program log.
    std::function<void(const std::string& line)> log;
};

// What the gateway asks of the desktop. Called from the event loop only.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Start-up, once the gateway runs: the icon with its tool-tip and menu.
    virtual void ShowTrayIcon() = 0;
    // Shut-down, after the states are saved.
    virtual void RemoveTrayIcon() = 0;
    virtual void ShowTraceWindow() = 0;
    virtual void ShowSettingsForm() = 0;
    // The user's default browser at `url`.
    virtual void OpenBrowser(const std::string& url) = 0;
    // The trace changed; `scroll`: bring its last line into view. Must not
    // run other events of the loop (the PIM handler may be writing).
    virtual void TraceChanged(bool scroll) = 0;
    // Shut-down: the settings form (unsaved) and the trace window close.
    virtual void UnloadForms() = 0;
};

// A gateway without a desktop: a daemon, or a desktop without a system tray.
class HeadlessDesktop final : public Desktop {
public:
    void ShowTrayIcon() override {}
    void RemoveTrayIcon() override {}
    void ShowTraceWindow() override {}
    void ShowSettingsForm() override {}
    void OpenBrowser(const std::string&) override {}
    void TraceChanged(bool) override {}
    void UnloadForms() override {}
};

// Builds the desktop once the gateway's parts exist.
using DesktopFactory = std::function<std::unique_ptr<Desktop>(DesktopHost host)>;

// The entry point of the desktop library, found by name after loading it.
// Creates the application object (a QApplication, handed over as a
// QCoreApplication* in a void*: this layer knows no Qt) for argc/argv; `why` gets
// the reason when this session cannot show a tray icon (then the caller runs
// headless, with the application object it got). Returns null when no
// application object could be made at all.
struct DesktopLibrary {
    static constexpr int kVersion = 1;
    int version = kVersion;
    void* (*createApplication)(int& argc, char** argv, std::string& why) = nullptr;
    std::unique_ptr<Desktop> (*createDesktop)(DesktopHost host) = nullptr;
};
inline constexpr const char* kDesktopLibraryEntry = "tarvelo_desktop_library";

} // namespace tarvelo
