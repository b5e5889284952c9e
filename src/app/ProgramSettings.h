#pragma once
// The program's own settings (section UPB of Tarvelo.ini), with their keys,
// defaults and conversions.

#include <cstdint>
#include <string>
#include <vector>

#include "app/SettingsCache.h"

namespace tarvelo::app {

// The key list, in load order.
inline constexpr const char* kSettingKeyList =
    "upbcommport,serialip,httpport,debuglog,background,styleSheet,uid,showsetup,showinputlinks,showeditmap,"
    "showonlyused,showstatus,showreceivedmessages,showreceivedetail,periodicscriptinterval,rain8modules";

// The defaults table kept beside the key list (shown by the settings form for
// absent keys; loading uses the defaults of each setting instead).
std::vector<std::string> SettingDefaultsTable();

// "FF123400" -> "FF.1234:00"; a UID containing ":" is used unchanged.
std::string ConvertUID(const std::string& uid);

struct PeriodicSchedule {
    bool enabled = false;
    int intervalMs = 0;
    long wholeMinutes = 0;
};
// Seconds text -> the periodic script timer: whole minutes plus a remainder.
PeriodicSchedule PeriodicScriptSchedule(const std::string& secondsText);

struct ProgramSettings {
    std::string UPBCommPort;
    std::string SerialIP;
    std::string HTTPPort = "8016";  // loaded by the HTTP listener itself
    bool DebugLog = false;
    std::string Background = "Black";
    std::string StyleSheet = "StyleNoBody.css";
    std::string UID = "FF.0002:00";
    bool ShowSetup = false;
    bool ShowInputLinks = false;
    bool ShowEditMap = false;
    bool ShowOnlyUsed = false;
    int16_t ShowStatus = 0;
    bool ShowReceiveMessages = false;
    bool ShowReceiveDetail = false;
    std::string PeriodicScriptInterval;
    std::string Rain8Modules;

    // Loads one setting named by a key-list entry; unknown names load nothing.
    void SetIniValue(SettingsCache& ini, const std::string& listEntry);
    // Loads all sixteen, in list order.
    void InitIniKeys(SettingsCache& ini, LogSink* log);
};

} // namespace tarvelo::app
