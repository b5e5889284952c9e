#pragma once
// The desktop on Qt Widgets: the tray icon "UPB" with its menu, the settings
// form and the trace window. Needs a QApplication and a system tray.

#include <memory>

#include "app/ui/EchoWindow.h"
#include "app/ui/SetupForm.h"
#include "gateway/Desktop.h"

class QMenu;
class QSystemTrayIcon;

namespace tarvelo::ui {

class WidgetsDesktop final : public Desktop {
public:
    explicit WidgetsDesktop(DesktopHost host);
    ~WidgetsDesktop() override;

    void ShowTrayIcon() override;
    void RemoveTrayIcon() override;
    void ShowTraceWindow() override;
    void ShowSettingsForm() override;
    void OpenBrowser(const std::string& url) override;
    void TraceChanged(bool scroll) override;
    void UnloadForms() override;

    QMenu& menu() { return *menu_; }
    QSystemTrayIcon& icon() { return *icon_; }
    EchoWindow& echoWindow() { return *echo_; }
    SetupForm& setupForm() { return *setup_; }

private:
    DesktopHost host_;  // the windows keep references to it
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<EchoWindow> echo_;
    std::unique_ptr<SetupForm> setup_;
};

} // namespace tarvelo::ui
