#include "web/PageFramework.h"

#include "common/Text.h"
#include "common/VbDate.h"
#include "web/Files.h"

namespace tarvelo::web {

namespace {
constexpr const char* kFile = "Tarvelo.ini";

struct TouchColours {
    const char* style;
    const char* background;
    const char* colour;
    bool bold;
};
constexpr TouchColours kTouch[] = {{"TABLECOLUMN", "#31639C", "#FFFFFF", true},
                                   {"TABLEHEADER", "#63639C", "#FFFFFF", true},
                                   {"TABLEROWODD", "#C0C0C0", "#000000", false},
                                   {"TABLEROWEVEN", "#949494", "#000000", false}};
} // namespace

bool WebSettings::hasDatabase() const { return !dbpath.empty() && !EqualsNoCase(dbpath, "NA"); }

PageFramework::PageFramework(platform::Platform& platform, LogSink& log, app::SettingsCache& ini,
                             const app::ProgramSettings& settings, std::filesystem::path programFolder,
                             std::filesystem::path htmlFolder, Callbacks callbacks)
    : platform_(platform),
      log_(log),
      ini_(ini),
      settings_(settings),
      programFolder_(std::move(programFolder)),
      htmlFolder_(std::move(htmlFolder)),
      callbacks_(std::move(callbacks)) {}

PageFramework::~PageFramework() = default;

void PageFramework::Prologue(PageContext& page) {
    Guard(&log_, "xStartHeaderASP ", [&] {
        LoadWebSettings(page.settings);
        XSecurityCheck(page);
        DetectClient(page);
    });
}

void PageFramework::LoadWebSettings(WebSettings& s) {
    auto read = [&](const char* key) { return ini_.GetIniSetting("Settings", key, "", kFile); };
    s.dbpath = read("dbpath");
    s.dbname = read("dbname");
    s.dbusername = read("dbusername");
    s.dbpassword = read("dbpassword");
    s.dbserverip = read("dbserverip");
    s.dbtype = read("dbtype");
    s.rowstyle = read("rowstyle");
    s.audreyrowstyle = read("audreyrowstyle");
    s.usesecurity = read("usesecurity");
    if (s.usesecurity.empty()) s.usesecurity = "None";
    s.linkfileext = read("linkfileext");
    s.hsip = read("hsip");
    s.exthsip = read("exthsip");
    s.footerlinkrule = read("footerlinkrule");
    s.useslideinmenu = read("useslideinmenu");
    if (s.useslideinmenu.empty()) s.useslideinmenu = "No";
    s.touchscreenips = read("touchscreenips");
    s.usesound = EqualsNoCase(read("usesound"), "TRUE");
    // Written when missing, so that the file shows the key.
    const std::string missing(1, '\x03');
    s.logpagehits = ini_.GetIniSetting("Settings", "logpagehits", missing, kFile);
    if (s.logpagehits == missing) {
        s.logpagehits = "0";
        ini_.SaveIniSetting("Settings", "logpagehits", "0", kFile);
    }
}

void PageFramework::DetectClient(PageContext& page) const {
    page.touchScreen = false;
    const std::string address = page.request.ServerVariables("REMOTE_ADDR");
    if (!page.settings.touchscreenips.empty())
        for (const std::string& ip : Split(page.settings.touchscreenips, ","))
            if (!address.empty() && TrimSpaces(ip) == address) page.touchScreen = true;
    const std::string agent = LCase(page.request.ServerVariables("HTTP_USER_AGENT"));
    if (agent.find("audrey") != std::string::npos || agent.find("qnx") != std::string::npos) page.touchScreen = true;
    if (page.touchScreen) page.settings.rowstyle = page.settings.audreyrowstyle;
}

void PageFramework::XSecurityCheck(PageContext& page) {
    Guard(&log_, "XSecurityCheck: ", [&] {
        const std::string mode = UCase(page.settings.usesecurity);
        const std::string address = page.request.ServerVariables("REMOTE_ADDR");
        if (mode == "ENHANCED") {
            if (!page.settings.hasDatabase()) return;
            platform::Database* db = Connect(page.settings);
            if (!db) return;
            std::vector<platform::Database::Row> rows;
            std::string error;
            if (!db->exec("SELECT UserID, SecureLevel, SecID FROM MenuUsers WHERE SecID = ?", {address}, &rows, &error))
                throw VbError(error);
            if (rows.empty() || rows[0].size() < 3) {
                page.level = 0;
                page.user = "None";
                return;
            }
            page.level = ToInt16(Val(rows[0][1]));
            page.user = rows[0][2];
            std::string sql;
            std::vector<std::string> params;
            if (db->dialect() == "sqlite") {
                sql = "UPDATE MenuUsers SET LastSessTime = ? WHERE SecID = ?";
                params = {FormatDateTime(DateFromLocalMillis(platform_.clock().localMillis())), address};
            } else {
                sql = std::string("UPDATE MenuUsers SET LastSessTime = ") +
                      (page.settings.dbtype == "SQL Server" ? " GetDate() " : " Now() ") + " WHERE SecID = ?";
                params = {address};
            }
            if (!db->exec(sql, params, nullptr, &error)) throw VbError(error);
        } else if (mode == "BASIC") {
            const std::string name = UCase(page.request.ServerVariables("AUTH_USER"));
            const bool endsInSet = name.size() >= 3 && name.compare(name.size() - 3, 3, "SET") == 0;
            if (name != "GUEST" && !endsInSet) {
                page.level = 10;
                page.user = name;
            } else if (endsInSet) {
                page.level = 10;
                page.user = "LOCAL";
            } else {
                page.level = 0;
                page.user = "GUEST";
            }
        } else if (mode == "NONE") {
            page.level = 10;
            page.user = "NO SECURITY";
        }
    });
}

platform::Database* PageFramework::Connect(const WebSettings& settings) {
    if (db_ && dbConnection_ == settings.dbpath) return db_.get();
    db_.reset();
    dbConnection_ = settings.dbpath;
    std::string error;
    db_ = platform_.openDatabase(settings.dbpath, error);
    if (!db_ && error != dbError_) log_.WriteLog("Tarvelo", "Menu database " + settings.dbpath + ": " + error);
    dbError_ = db_ ? "" : error;
    return db_.get();
}

std::vector<platform::Database::Row> PageFramework::Query(const WebSettings& settings, const std::string& procedure,
                                                          const std::string& sql,
                                                          const std::vector<std::string>& params) {
    std::vector<platform::Database::Row> rows;
    Guard(&log_, procedure, [&] {
        if (!settings.hasDatabase()) return;
        platform::Database* db = Connect(settings);
        if (!db) return;
        std::string error;
        if (!db->exec(sql, params, &rows, &error)) throw VbError(error);
    });
    return rows;
}

std::string PageFramework::FormatCell(const PageContext& page, const std::string& text, const std::string& style,
                                      const std::string& colspan, const std::string& align) const {
    std::string out;
    Guard(&log_, " FormatCell: ", [&] {
        std::string attributes;
        if (!colspan.empty()) attributes += " colspan='" + colspan + "'";
        if (!align.empty()) attributes += " align='" + align + "'";
        if (page.touchScreen) {
            for (const TouchColours& t : kTouch) {
                if (style != t.style) continue;
                out = std::string("<td bgcolor='") + t.background + "'" + attributes +
                      "><font face='Verdana, Arial, sans-serif' size='2' color='" + t.colour + "'>" +
                      (t.bold ? "<b>" + text + "</b>" : text) + "</font></td>";
                return;
            }
            if (style == "TABLECELLCUSTOM") {
                out = "<td" + attributes + "><font face='Verdana, Arial, sans-serif' size='2'>" + text + "</font></td>";
                return;
            }
        }
        std::string help;
        if (style == "TABLEHEADER" && (text.empty() || text[0] != '<')) {
            std::string key;
            for (char c : LCase(text.substr(0, 15)))
                if (c != ' ' && c != '\'' && c != '-') key.push_back(c);
            help = " onMouseOver=\"myPopup.startHelp('" + HtmlEscape(key) + "')\" onMouseOut=\"myPopup.clearHelp()\"";
        }
        out = "<td class='" + style + "'" + attributes + help + ">" + text + "</td>";
    });
    return out;
}

std::string PageFramework::FileContents(const std::string& relativePath) const {
    std::string out = "No File";
    Guard(&log_, "FileContents: ", [&] {
        std::optional<std::filesystem::path> file = ResolveUnder(programFolder_, relativePath);
        if (!file) return;
        if (std::optional<std::string> text = ReadWhole(*file)) out = *text;
    });
    return out;
}

std::string PageFramework::Fragment(const std::string& name) const {
    std::optional<std::filesystem::path> file = ResolveUnder(htmlFolder_, name);
    if (!file) return "";
    return ReadWhole(*file).value_or("");
}

std::string PageFramework::StripHTML(const std::string& text) {
    std::string out;
    bool inTag = false;
    for (char c : text) {
        if (c == '<') inTag = true;
        else if (c == '>' && inTag) inTag = false;
        else if (!inTag) out.push_back(c);
    }
    return out;
}

} // namespace tarvelo::web
