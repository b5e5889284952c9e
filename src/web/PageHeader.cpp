// The page header: title, style sheet, include fragments, links row or menu,
// logo bar, title row and the program's own links.
#include "common/Text.h"
#include "common/VbDate.h"
#include "web/Files.h"
#include "web/PageFramework.h"

namespace tarvelo::web {

namespace {
constexpr const char* kIncludes = "includes.ini";
constexpr const char* kHeaderSection = "header.asp";
constexpr const char* kHeaderKeys[] = {
    "strPageTitle",   "strShowLinks",     "strRefresh",      "strHeader",     "strLogoYN",
    "HideTitle",      "UseSecurity",      "useMenuRow",      "useAlerts",     "linkslocation",
    "logoShowClock",  "logoShowDate",     "logoShowTime",    "logoShowSunrise", "logoShowSunset",
    "logoShowWeatherManTemp", "logoShowUsername", "logoImageLink", "usePageScroll"};

bool IsOn(const std::string& value) {
    const std::string v = LCase(TrimSpaces(value));
    return v == "yes" || v == "true" || v == "on" || Val(v) != 0;
}

std::string LongDate(VbDate date) {
    static const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
    const DateParts p = SplitDate(date);
    // Day 1 (1899-12-31) was a Sunday.
    const long long serial = static_cast<long long>(date);
    const int weekday = static_cast<int>(((serial - 1) % 7 + 7) % 7);
    return std::string(days[weekday]) + ", " + months[(p.month + 11) % 12] + " " + Dec(p.day) + ", " + Dec(p.year);
}
} // namespace

// includes.ini [header.asp], as read for one header.
struct PageFramework::HeaderFile {
    OrderedDict<std::string, true> values;
    std::string get(const char* key) const {
        const std::string* v = values.find(key);
        return v ? *v : std::string();
    }
    bool on(const char* key) const { return IsOn(get(key)); }
};

void PageFramework::ReadHeaderOptions(HeaderOptions& options, HeaderFile& file) {
    const std::string missing(1, '\x03');
    for (const char* key : kHeaderKeys) {
        const bool title = std::string(key) == "strPageTitle";
        const std::string placeholder = title ? "n/a" : "0";
        std::string value = ini_.GetIniSetting(kHeaderSection, key, missing, kIncludes);
        if (value == missing) {
            // Every key shows up in the file, for whoever edits it.
            ini_.SaveIniSetting(kHeaderSection, key, placeholder, kIncludes);
            value.clear();
        }
        // The placeholder means "not set", on the first request and every later one.
        if (value == placeholder) value.clear();
        file.values.set(key, value);
    }
    auto fill = [&](size_t index, const char* key) {
        if (options.values[index].empty()) options.values[index] = file.get(key);
    };
    fill(HeaderOptions::kTitle, "strPageTitle");
    fill(HeaderOptions::kLinksStyle, "strShowLinks");
    if (options.values[HeaderOptions::kTitle].empty()) options.values[HeaderOptions::kTitle] = " ";
    if (options.values[HeaderOptions::kLinksStyle].empty()) options.values[HeaderOptions::kLinksStyle] = "OLDSTYLE";
    if (file.get("strRefresh").empty()) file.values.set("strRefresh", "0");
    if (file.get("strLogoYN").empty()) file.values.set("strLogoYN", "Yes");
    if (file.get("HideTitle").empty()) file.values.set("HideTitle", "0");
}

std::string PageFramework::CustomHeader(PageContext& page, const HeaderOptions& given) {
    std::string out;
    Guard(&log_, " CustomHeader: ", [&] {
        HeaderOptions options = given;
        HeaderFile file;
        ReadHeaderOptions(options, file);
        const std::string& title = options.values[HeaderOptions::kTitle];
        const std::string linksStyle = UCase(options.values[HeaderOptions::kLinksStyle]);
        const bool menuRow = file.on("useMenuRow");

        PageHitAndAccess(page, menuRow);
        if (page.refused) return;

        out += "<html><head>";
        out += "<title>" + StripHTML(title) + "</title>";
        std::string sheet = settings_.StyleSheet.empty() ? std::string("styleNoBody.css") : settings_.StyleSheet;
        if (!sheet.empty() && sheet[0] == '/') sheet.erase(0, 1);
        out += "<link rel='stylesheet' type='text/css' href='/" + HtmlEscape(sheet) + "'>";
        out += "<meta http-equiv='expires' content='0'><meta http-equiv='Pragma' content='no-cache'>";
        std::string refresh = ini_.GetIniSetting("Settings", "auto_refresh", "");
        if (Val(refresh) <= 0 && Val(file.get("strRefresh")) > 0) refresh = file.get("strRefresh");
        if (Val(refresh) > 0) out += "<meta http-equiv='refresh' content='" + Dec(static_cast<long long>(Val(refresh))) + "'>";
        out += Fragment(page.touchScreen ? "meta_touchscreen.htm" : "meta.htm");
        if (page.settings.hasDatabase() && IsOn(page.settings.useslideinmenu)) out += SlideInMenuItems(page);
        out += "</head>";

        std::string body = "<body";
        const std::string background = settings_.Background;
        if (!background.empty()) {
            if (linksStyle == "OLDSTYLE") body += " bgcolor='" + HtmlEscape(background) + "'";
            else body += " style='background-color:" + HtmlEscape(background) + "'";
        }
        const std::string onload = ini_.GetIniSetting("Settings", "BODY_OnLoad", "");
        if (!onload.empty()) body += " onload=\"" + HtmlEscape(onload) + "\"";
        out += body + ">";
        out += "<a href='#pagecontent' style='position:absolute;left:-1px;top:-1px;width:1px;height:1px;"
               "overflow:hidden'>Jump to page content.</a>";
        out += Fragment(page.touchScreen ? "head_touchscreen.htm" : "head.htm");

        const bool linksFirst = page.touchScreen && file.get("linkslocation") == "1";
        if (linksFirst) out += LinksRow(page, linksStyle);
        if (EqualsNoCase(file.get("strLogoYN"), "Yes") || IsOn(file.get("strLogoYN"))) out += LogoBar(page, file);
        if (!linksFirst) out += LinksRow(page, linksStyle);
        if (!IsOn(file.get("HideTitle")))
            out += "<table width='100%' border='0' cellspacing='0' cellpadding='2' summary='Page Title'><tr>" +
                   FormatCell(page, title, "pagetitle") + "</tr></table>";
        if (file.on("usePageScroll")) out += PageScroll();
        out += Fragment("Tarvelo/Tarvelo_links.htm");
        out += "<a name='pagecontent'></a>";
    });
    return out;
}

void PageFramework::PageHitAndAccess(PageContext& page, bool menuRowInUse) {
    const std::string name = PageName(page);
    const std::string address = page.request.ServerVariables("REMOTE_ADDR");
    const bool knownUser = !page.user.empty() && page.user != "None" && page.user != "GUEST";
    if (page.settings.logpagehits == "1")
        log_.WriteLog("Web Log", name + " was accessed by " + (knownUser ? " the user: " + page.user : address));
    if (!menuRowInUse || !page.settings.hasDatabase() || EqualsNoCase(name, "unauthorized.asp")) return;
    const std::string mode = UCase(page.settings.usesecurity);
    if (mode != "ENHANCED" && mode != "BASIC") return;
    const auto rows = Query(page.settings, "MenuRow: ",
                            "SELECT LevelID, ParentID, MenuID, SecureLevel FROM Menus WHERE MenuURL Like ? ORDER BY SortOrder",
                            {"%" + name});
    if (rows.empty() || rows[0].size() < 4 || Val(rows[0][3]) <= page.level) return;
    const std::string who = knownUser ? page.user : "Anonymous Guest at " + address;
    log_.WriteLog("Unauthorized", who + " attempted to access " + name + " at " +
                                      FormatDateTime(DateFromLocalMillis(platform_.clock().localMillis())) + ". ");
    page.refused = true;
}

std::string PageFramework::PageName(const PageContext& page) const {
    std::string name;
    Guard(&log_, "fnPageName: ", [&] {
        const std::string& path = page.request.page();
        const size_t slash = path.find_last_of("/\\");
        name = slash == std::string::npos ? path : path.substr(slash + 1);
    });
    return name;
}

std::string PageFramework::LinksRow(PageContext& page, const std::string& style) {
    std::string out;
    Guard(&log_, "LinkFile: ", [&] {
        if (style == "NO") return;
        if (style == "YES") {
            const std::string own = page.settings.linkfileext.empty() ? "" : Fragment("links" + page.settings.linkfileext);
            out = own.empty() ? DefaultLinkRow() : own;
        } else if (style == "OLDSTYLE") {
            out = Fragment(page.touchScreen ? "links_touchscreen.htm" : "links.htm");
        } else {
            out = MenuRow(page);
        }
    });
    return out;
}

std::string PageFramework::DefaultLinkRow() {
    std::string out;
    Guard(&log_, "HSLinks: ", [&] {
        std::vector<std::pair<std::string, std::string>> links = {
            {"Home", "/"},          {"Status", "/stat"},         {"Events", "/tope"},
            {"Log", "/elog"},       {"Control Device", "/ctrl"}, {"Poll Device", "/devs"},
            {"TV/Video Game", "/tvgm"}, {"Setup", "/setp"}};
        if (ini_.GetIniSetting("Settings", "webvenabled", "") == "1") links.push_back({"Messages", "vmail0"});
        if (ini_.GetIniSetting("Settings", "gLaunchHSPhone", "") == "True") links.push_back({"Voice", "/voic"});
        links.push_back({"Help", "/html_help/hlp_contents.htm"});
        for (int i = 1; i <= 4; ++i) {
            const std::string desc = ini_.GetIniSetting("Settings", "gCustomPageDesc" + Dec(i), "");
            std::string file = ini_.GetIniSetting("Settings", "gCustomPageFile" + Dec(i), "");
            if (desc.empty() || file.empty()) continue;
            if (file[0] != '/' && LCase(file).rfind("http", 0) != 0) file = "/" + file;
            links.push_back({desc, file});
        }
        links.push_back({"Log Out", "/logo"});
        std::vector<std::string> anchors;
        for (const auto& [text, href] : links)
            anchors.push_back("<a class='LINK' href='" + HtmlEscape(href) + "'>" + HtmlEscape(text) + "</a>");
        out = "<p class='linksrow'>" + Join(anchors, " | ") + "</p>";
    });
    return out;
}

std::string PageFramework::MenuRow(PageContext& page) {
    std::string out;
    Guard(&log_, "MenuRow: ", [&] {
        const auto rows = Query(page.settings, "MenuRow: ",
                                "SELECT MenuItem, MenuURL, ParentID, SecureLevel, MenuImage FROM Menus WHERE LevelID = 1 "
                                "AND SecureLevel <= ? ORDER BY SortOrder",
                                {Dec(page.level)});
        std::vector<std::string> items;
        bool images = false;
        for (const auto& row : rows) {
            if (row.size() < 5) continue;
            const std::string href = HtmlEscape(row[1]);
            if (!row[4].empty()) {
                images = true;
                items.push_back("<a href='" + href + "'><img class='IMAGE' src='" + HtmlEscape(row[4]) + "' alt='" +
                                HtmlEscape(row[0]) + "' border='0'></a>");
            } else {
                items.push_back("<a class='LINK' href='" + href + "'>" + HtmlEscape(row[0]) + "</a>");
            }
        }
        if (!items.empty()) out = "<p class='menurow'>" + Join(items, images ? " " : " | ") + "</p>";
    });
    return out;
}

std::string PageFramework::SlideInMenuItems(PageContext& page) {
    std::string out;
    Guard(&log_, "ssmItems: ", [&] {
        const auto rows = Query(page.settings, "ssmItems: ",
                                "SELECT MenuItem, MenuURL, ParentID, SecureLevel, MenuImage FROM Menus WHERE LevelID = 1 "
                                "AND SecureLevel <= ? ORDER BY SortOrder",
                                {Dec(page.level)});
        if (rows.empty()) return;
        auto js = [](const std::string& text) {
            std::string q;
            for (char c : text) {
                if (c == '"' || c == '\\') q.push_back('\\');
                if (c == '<') q += "\\x3C";
                else q.push_back(c);
            }
            return q;
        };
        out = "<script type='text/javascript'>";
        out += "ssmItems[0]=[\"Menu\"];";
        int index = 1;
        for (const auto& row : rows)
            if (row.size() >= 2)
                out += "ssmItems[" + Dec(index++) + "]=[\"" + js(row[0]) + "\", \"" + js(row[1]) + "\", \"\"];";
        out += "</script>";
    });
    return out;
}

std::string PageFramework::LogoBar(PageContext& page, const HeaderFile& file) {
    std::string cells;
    const VbDate now = DateFromLocalMillis(platform_.clock().localMillis());
    if (file.on("logoShowClock")) cells += "<td width='1%'><img src='/images/clock.png' alt='' border='0'></td>";
    if (file.on("logoShowDate")) cells += "<td nowrap class='logodate'>" + LongDate(now) + "</td>";
    if (file.on("logoShowTime")) {
        cells += "<td nowrap class='logotime'><span id='clock'>" + FormatTime(now) + "</span>";
        const std::string script = Fragment("javascript/clock.js");
        if (!script.empty()) cells += "<script type='text/javascript'>" + script + "</script>";
        cells += "</td>";
    }
    const std::string sunrise = callbacks_.sunrise ? callbacks_.sunrise() : "";
    const std::string sunset = callbacks_.sunset ? callbacks_.sunset() : "";
    if (file.on("logoShowSunrise"))
        cells += "<td nowrap><img src='/images/sunrise.png' alt='Sunrise' border='0'> " + HtmlEscape(sunrise) + "</td>";
    if (file.on("logoShowSunset"))
        cells += "<td nowrap><img src='/images/sunset.png' alt='Sunset' border='0'> " + HtmlEscape(sunset) + "</td>";
    if (file.on("logoShowWeatherManTemp")) {
        const std::string temp = ini_.GetIniSetting("WeatherCom_CurrentData", "Temperature", "", "WeatherData.ini");
        if (!temp.empty()) cells += "<td nowrap><img src='/images/temp.png' alt='Temperature' border='0'> " + HtmlEscape(temp) + "</td>";
    }
    const std::string mode = UCase(page.settings.usesecurity);
    if (mode == "ENHANCED" || mode == "BASIC") cells += "<td nowrap><b>User:</b> " + HtmlEscape(page.user) + "</td>";
    const std::string link = file.get("logoImageLink");
    std::string logo = "<img src='/images/logo.png' alt='Tarvelo' border='0'>";
    if (!link.empty()) logo = "<a href='" + HtmlEscape(link) + "'>" + logo + "</a>";
    cells += "<td align='right' class='logo'>" + logo + "</td>";
    return "<table width='100%' border='0' cellspacing='0' cellpadding='0' summary='Logo Bar' class='logobar'><tr>" + cells +
           "</tr></table>";
}

std::string PageFramework::PageScroll() {
    std::string out;
    Guard(&log_, "PageScroll: ", [&] {
        std::vector<std::string> pieces;
        for (const char* key : {"Conditions", "Temperature", "Forecast"}) {
            const std::string v = ini_.GetIniSetting("WeatherCom_CurrentData", key, "", "WeatherData.ini");
            if (!v.empty()) pieces.push_back(HtmlEscape(v));
        }
        const std::string alert = ini_.GetIniSetting("WeatherCom_Alerts", "Alert1", "", "WeatherData.ini");
        if (!alert.empty()) pieces.push_back(HtmlEscape(alert));
        if (pieces.empty()) return;
        out = "<div class='pagescroll' id='pagescroll'>" + Join(pieces, " &nbsp;&bull;&nbsp; ") + "</div>";
        const std::string script = Fragment("javascript/page_scroll.js");
        if (!script.empty()) out += "<script type='text/javascript'>" + script + "</script>";
    });
    return out;
}

} // namespace tarvelo::web
