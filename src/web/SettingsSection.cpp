// The settings section of the status page: the HTTP port, the page's look,
// the PIM connection, the xAP UID, the periodic script and the Rain8
// modules. Saved values are the program's live settings at once; the HTTP
// listener keeps its port until the next start, the PIM connection is
// reopened when its port or address changed.
#include "common/Text.h"
#include "web/Files.h"
#include "web/StatusPage.h"

namespace tarvelo::web {

namespace {

// A whole number from `low` to `high`, digits only.
bool WholeNumber(const std::string& text, long long low, long long high) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const long long value = std::stoll(text);
    return value >= low && value <= high;
}

// A UID goes into every xAP header as "uid=...": no blanks, no control
// characters, nothing that would end the line or the block.
bool UsableUID(const std::string& uid) {
    if (uid.empty() || uid.size() > 32) return false;
    for (char c : uid) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 127 || c == '=' || c == '{' || c == '}') return false;
    }
    return true;
}

std::string Labelled(const std::string& label, const std::string& size, const std::string& value,
                     const std::string& name) {
    return label + "<br><input type='text' size='" + size + "' value='" + HtmlEscape(value) + "' name='" + name + "'>";
}

} // namespace

std::string StatusPage::SettingsSection(const PageContext& page) {
    std::string out;
    Guard(&log_, "SettingsSection", [&] {
        auto value = [&](const char* key, const char* def) { return ini_.GetIniSetting("UPB", key, def, kFile); };
        auto group = [&](const char* title) {
            return framework_.FormatCell(page, title, "TABLEHEADER", "3", "center") + "</tr><tr>";
        };
        auto cell = [&](const std::string& text, const std::string& colspan = "") {
            return framework_.FormatCell(page, text, "TABLEROWODD", colspan);
        };
        out = "<br><p><Table width='600' border='5' frame='box'><tr>";
        out += group("HTTP / Browser");
        out += cell(Labelled("HTTP Server Port", "4", value("HTTPPort", "8016"), "ServerPort"));
        out += cell(Labelled("Browser Background", "8", value("Background", "#000000"), "Background"));
        out += cell(Labelled("Style Sheet", "18", value("StyleSheet", "StyleNoBody.css"), "StyleSheet"));
        out += "</tr><tr>" + group("Connectivity");
        out += cell(Labelled("Serial Comm IP Address", "16", value("SerialIP", ""), "SerialIP"));
        out += cell(Labelled("Serial Comm Port", "3", value("UPBCommPort", ""), "UPBCommPort"));
        out += cell(Labelled("xAP UID", "8", value("UID", "FF.0002:00"), "UID"));
        out += "</tr><tr>" + group("Script Control");
        out += cell("Periodic Script Interval&nbsp;<input type='text' name='periodicscriptinterval' value='" +
                        HtmlEscape(value("periodicscriptinterval", "")) + "' size='6'>&nbsp;seconds",
                    "3");
        out += "</tr><tr>" + group("Rain8UPB Modules");
        out += cell("Comma-separated module numbers&nbsp;<input type='text' name='rain8modules' value='" +
                        HtmlEscape(value("rain8modules", "")) + "' size='15'>",
                    "3");
        out += "</tr></table>";
        out += "<input type='hidden' name='ShownSetup' value='1'>";
    });
    return out;
}

void StatusPage::SaveSettings(const Request& request) {
    Guard(&log_, "SaveSettings", [&] {
        auto save = [&](const char* key, const std::string& text) { ini_.SaveIniSetting("UPB", key, text, kFile); };
        // A field the post does not carry leaves its setting alone.
        auto posted = [&](const char* name, std::string& text) {
            if (!request.HasForm(name)) return false;
            text = request.Form(name);
            return true;
        };
        std::string text;

        if (posted("ServerPort", text)) {
            text = TrimSpaces(text);
            const std::string old = RemoveQuotes(ini_.GetIniSetting("UPB", "HTTPPort", "8016", kFile));
            if (text == old) {
                // Unchanged, whatever it is (0 lets a test pick a free port).
            } else if (!WholeNumber(text, 1, 65535)) {
                Note("HTTP Server Port '" + text + "' was refused: a port number from 1 to 65535 is needed; " + old +
                     " was kept");
            } else {
                state_.HTTPPort = text;
                save("HTTPPort", text);
                if (callbacks_.HttpPortSaved) callbacks_.HttpPortSaved(text);
                Note("HTTP Server Port " + text + " is listened on from the next start of the program");
            }
        }
        if (posted("Background", text)) {
            state_.Background = text;
            save("Background", text);
        }
        if (posted("StyleSheet", text)) {
            state_.StyleSheet = text;
            save("StyleSheet", text);
        }
        const std::string oldIP = state_.SerialIP;
        const std::string oldPort = state_.UPBCommPort;
        if (posted("SerialIP", text)) {
            state_.SerialIP = TrimSpaces(text);
            save("SerialIP", state_.SerialIP);
        }
        if (posted("UPBCommPort", text)) {
            text = TrimSpaces(text);
            if (text.empty() || WholeNumber(text, 1, 65535)) {
                // Written as its number ("04" is 4); empty: no PIM.
                state_.UPBCommPort = text.empty() ? text : Dec(std::stoll(text));
                save("UPBCommPort", state_.UPBCommPort);
            } else {
                Note("Serial Comm Port '" + text + "' was refused: a port number from 1 to 65535 is needed; '" +
                     oldPort + "' was kept");
            }
        }
        if (posted("PeriodicScriptInterval", text)) {
            text = TrimSpaces(text);
            if (text.empty() || WholeNumber(text, 1, 2147483647)) {
                state_.PeriodicScriptInterval = text;
                save("PeriodicScriptInterval", text);
                // Empty stops the periodic script; a number starts it anew.
                if (callbacks_.ArmPeriodicScript) callbacks_.ArmPeriodicScript(text);
            } else {
                Note("Periodic Script Interval '" + text + "' was refused: whole seconds from 1 to 2147483647 are "
                     "needed (empty stops the periodic script); '" + state_.PeriodicScriptInterval + "' was kept");
            }
        }
        if (posted("Rain8Modules", text)) {
            state_.Rain8Modules = text;
            save("Rain8Modules", text);
        }
        if (posted("UID", text)) {
            const std::string uid = app::ConvertUID(TrimSpaces(text));
            if (UsableUID(TrimSpaces(text)) && UsableUID(uid)) {
                state_.UID = uid;
                save("UID", uid);
            } else {
                Note("xAP UID '" + text + "' was refused: no blanks, '=', '{' or '}'; " + state_.UID + " was kept");
            }
        }
        if ((state_.UPBCommPort != oldPort || state_.SerialIP != oldIP) && callbacks_.ReopenPim)
            callbacks_.ReopenPim(oldPort);
    });
}

} // namespace tarvelo::web
