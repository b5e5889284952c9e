#include "app/ProgramSettings.h"

#include <cmath>

#include "common/Guard.h"
#include "common/Text.h"

namespace tarvelo::app {

namespace {
const char* kFile = "Tarvelo.ini";
const char* kSection = "UPB";
} // namespace

std::vector<std::string> SettingDefaultsTable() {
    return {"", "", "", "false", "black", "StyleNoBody.css", "FF.0002:00", "true",
            "false", "false", "False", "2", "false", "False", "", ""};
}

std::string ConvertUID(const std::string& uid) {
    if (uid.find(':') != std::string::npos) return uid;
    std::string head = uid.substr(0, std::min<size_t>(2, uid.size()));
    std::string mid = uid.size() > 2 ? uid.substr(2, 4) : std::string();
    return head + "." + mid + ":00";
}

PeriodicSchedule PeriodicScriptSchedule(const std::string& secondsText) {
    PeriodicSchedule s;
    if (!IsNumeric(secondsText)) return s;
    double value = std::nearbyint(Val(secondsText));
    // A negative period cannot be armed (a timer has no negative interval).
    if (value < 0 || value > 2147483647.0) return s;
    long seconds = static_cast<long>(value);
    s.wholeMinutes = seconds / 60;
    long remainder = seconds % 60;
    if (remainder != 0) {
        s.intervalMs = static_cast<int>(remainder * 1000);
    } else {
        s.wholeMinutes -= 1;
        s.intervalMs = 60000;
    }
    s.enabled = true;
    return s;
}

void ProgramSettings::SetIniValue(SettingsCache& ini, const std::string& listEntry) {
    const std::string name = LCase(listEntry);
    auto text = [&](const char* key, const char* def) { return ini.GetIniSetting(kSection, key, def, kFile); };
    auto flag = [&](const char* key, const char* def) { return BoolText(text(key, def)); };
    if (name == "upbcommport") UPBCommPort = RemoveQuotes(text("UPBCommPort", ""));
    else if (name == "serialip") SerialIP = RemoveQuotes(text("SerialIP", ""));
    else if (name == "httpport") {
        // Loaded by the HTTP listener itself when it starts.
    } else if (name == "debuglog") DebugLog = flag("DebugLog", "False");
    else if (name == "background") Background = text("Background", "Black");
    else if (name == "stylesheet") StyleSheet = RemoveQuotes(text("StyleSheet", "StyleNoBody.css"));
    else if (name == "uid") UID = ConvertUID(RemoveQuotes(text("UID", "FF.0002:00")));
    else if (name == "showsetup") ShowSetup = flag("ShowSetup", "false");
    else if (name == "showinputlinks") ShowInputLinks = flag("ShowInputLinks", "false");
    else if (name == "showeditmap") ShowEditMap = flag("ShowEditMap", "false");
    else if (name == "showonlyused") ShowOnlyUsed = flag("ShowOnlyUsed", "false");
    else if (name == "showstatus") ShowStatus = ToInt16(Val(text("ShowStatus", "0")));
    else if (name == "showreceivedmessages") ShowReceiveMessages = flag("ShowReceiveMessages", "false");
    else if (name == "showreceivedetail") ShowReceiveDetail = flag("ShowReceiveDetail", "false");
    else if (name == "periodicscriptinterval") PeriodicScriptInterval = text("PeriodicScriptInterval", "");
    else if (name == "rain8modules") Rain8Modules = text("Rain8Modules", "");
}

void ProgramSettings::InitIniKeys(SettingsCache& ini, LogSink* log) {
    for (const std::string& entry : Split(kSettingKeyList, ","))
        Guard(log, "SetIniValue", [&] { SetIniValue(ini, entry); });
}

} // namespace tarvelo::app
