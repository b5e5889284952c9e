// The gateway's side of the desktop: what the tray menu's items do, and the
// settings form's load and save.
#include "common/Text.h"
#include "gateway/Gateway.h"

namespace tarvelo {

namespace {

const char* kFile = "Tarvelo.ini";
const char* kSection = "UPB";

struct SetupBox {
    const char* key;
    // What the program uses while the key is absent, so that saving a form
    // nobody edited changes nothing (an empty HTTPPort would turn the pages off).
    const char* absent;
};

// Each box edits the setting its label names (kSetupLabels): a person reads
// the label, and "Periodic Script Interval ... seconds" only fits the interval.
constexpr std::array<SetupBox, kSetupBoxes> kSetupBoxKeys = {{
    {"UPBCommPort", ""},
    {"SerialIP", ""},
    {"HTTPPort", "8016"},
    {"DebugLog", "False"},
    {"Background", "Black"},
    {"StyleSheet", "StyleNoBody.css"},
    {"UID", "FF.0002:00"},
    {"ShowOnlyUsed", "false"},
    {"ShowStatus", "0"},
    {"ShowReceiveDetail", "false"},
    {"PeriodicScriptInterval", ""},
}};

} // namespace

DesktopHost Gateway::MakeDesktopHost() {
    return {
        .menuChosen = [this](int item) { MenuChosen(item); },
        .traceText = [this] { return std::string(upb_.trace().text()); },
        .traceStatus = [this] { return upb_.trace().status(); },
        .traceFrozen = [this] { return upb_.trace().frozen(); },
        .setTraceFrozen = [this](bool frozen) { upb_.trace().setFrozen(frozen); },
        .loadSetupForm = [this] { return LoadSetupForm(); },
        .saveSetupForm = [this](const std::vector<std::string>& boxes) { SaveSetupForm(boxes); },
        .log = [this](const std::string& line) { log_.WriteLog("Tarvelo", line); },
    };
}

void Gateway::MenuChosen(int item) {
    Guard(&log_, "MenuArray_Click", [&] {
        switch (item) {
        case kMenuBrowser: OpenPage("/stat"); break;
        case kMenuGUI: desktop_->ShowSettingsForm(); break;
        case kMenuIOWindow: desktop_->ShowTraceWindow(); break;
        case kMenuHelp: OpenPage("/help"); break;
        case kMenuExit: RequestExit(); break;
        default: break;  // "System Config", "System Status" and the separator do nothing
        }
    });
}

void Gateway::OpenPage(const std::string& path) {
    // The port really listened on (HTTPPort 0 takes any free one), else the setting.
    long port = web_.server().port();
    if (port == 0) {
        const std::string setting = RemoveQuotes(ini_.GetIniSetting(kSection, "HTTPPort", "8016", kFile));
        port = IsNumeric(setting) ? static_cast<long>(Val(setting)) : 0;
    }
    if (port < 1 || port > 65535) {
        log_.WriteLog("Tarvelo", "No page to open: the web server is off");
        return;
    }
    desktop_->OpenBrowser("http://127.0.0.1:" + Dec(port) + path);
}

std::vector<std::string> Gateway::LoadSetupForm() {
    std::vector<std::string> boxes;
    boxes.reserve(kSetupBoxes);
    for (const SetupBox& box : kSetupBoxKeys) boxes.push_back(ini_.GetIniSetting(kSection, box.key, box.absent, kFile));
    return boxes;
}

void Gateway::SaveSetupForm(const std::vector<std::string>& boxes) {
    Guard(&log_, "SetupForm Unload", [&] {
        // A save that arrives after "Exit" would reopen the port the shut-down closed.
        if (boxes.size() != kSetupBoxes || shutDown_) return;
        const std::string oldPort = settings_.UPBCommPort;
        const std::string oldBridge = settings_.SerialIP;
        const std::string httpPort = RemoveQuotes(ini_.GetIniSetting(kSection, "HTTPPort", "8016", kFile));
        const std::string periodic = settings_.PeriodicScriptInterval;

        for (size_t i = 0; i < kSetupBoxes; ++i) ini_.SaveIniSetting(kSection, kSetupBoxKeys[i].key, boxes[i], kFile);
        ini_.FlushIniCache();
        settings_.InitIniKeys(ini_, &log_);

        // Quotes around a value are not part of it: "2101" is still port 2101.
        if (settings_.UPBCommPort != oldPort || settings_.SerialIP != oldBridge) ReopenPim(oldPort);
        if (RemoveQuotes(boxes[2]) != httpPort) web_.Start();
        if (settings_.PeriodicScriptInterval != periodic && initialised_)
            triggers_.ArmPeriodic(settings_.PeriodicScriptInterval);
    });
}

} // namespace tarvelo
