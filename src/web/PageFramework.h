#pragma once
// What every generated page goes through around its own content: the web
// settings (read on every request), client detection (touch screens get
// inline colours), the security level and user, the page header with its
// include fragments, menu and logo bar, table cells in the site's styles,
// the page-hit log and the access check.
//
// The menu and user database is optional: "dbpath" names it (a SQLite file
// or an ODBC connection string); "NA" or empty turns every database feature
// off. Its queries bind their parameters.
//
// Security levels decide only what the database menu offers and whether a
// page is shown; they do not stop a post from switching anything.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "common/Guard.h"
#include "platform/Platform.h"
#include "web/Request.h"

namespace tarvelo::web {

// Section "Settings" of Tarvelo.ini, read on every page request.
struct WebSettings {
    std::string dbpath, dbname, dbusername, dbpassword, dbserverip, dbtype;
    std::string rowstyle, audreyrowstyle;
    std::string usesecurity = "None";
    std::string linkfileext, hsip, exthsip, footerlinkrule;
    std::string useslideinmenu = "No";
    std::string touchscreenips;
    bool usesound = false;
    std::string logpagehits;

    bool hasDatabase() const;
};

// One request while its page is built.
struct PageContext {
    explicit PageContext(const Request& r) : request(r) {}
    const Request& request;
    WebSettings settings;
    bool touchScreen = false;
    int16_t level = 0;
    std::string user;
    // The access check refused the page: the answer is the refusal, not the page.
    bool refused = false;
};

// Header options a page passes; an empty one is taken from includes.ini.
struct HeaderOptions {
    static constexpr size_t kTitle = 0;
    static constexpr size_t kLinksStyle = 5;
    std::array<std::string, 12> values;
};

class PageFramework {
public:
    struct Callbacks {
        // Sun times from the xAP time service ("" until known).
        std::function<std::string()> sunrise;
        std::function<std::string()> sunset;
    };

    PageFramework(platform::Platform& platform, LogSink& log, app::SettingsCache& ini,
                  const app::ProgramSettings& settings, std::filesystem::path programFolder,
                  std::filesystem::path htmlFolder, Callbacks callbacks = {});
    ~PageFramework();

    // Settings, security, client detection: what a page runs first.
    void Prologue(PageContext& page);
    void LoadWebSettings(WebSettings& settings);
    void DetectClient(PageContext& page) const;
    void XSecurityCheck(PageContext& page);

    std::string CustomHeader(PageContext& page, const HeaderOptions& options);
    std::string FormatCell(const PageContext& page, const std::string& text, const std::string& style,
                           const std::string& colspan = "", const std::string& align = "") const;
    // A file under the program folder, or "No File".
    std::string FileContents(const std::string& relativePath) const;
    static std::string StripHTML(const std::string& text);

    // The menu database's rows for one statement (empty when it failed or
    // there is no database). Public for the pages that list menus.
    std::vector<platform::Database::Row> Query(const WebSettings& settings, const std::string& procedure,
                                               const std::string& sql, const std::vector<std::string>& params);

private:
    struct HeaderFile;
    void ReadHeaderOptions(HeaderOptions& options, HeaderFile& file);
    std::string LinksRow(PageContext& page, const std::string& style);
    std::string DefaultLinkRow();
    std::string MenuRow(PageContext& page);
    std::string SlideInMenuItems(PageContext& page);
    std::string LogoBar(PageContext& page, const HeaderFile& file);
    std::string PageScroll();
    void PageHitAndAccess(PageContext& page, bool menuRowInUse);
    std::string PageName(const PageContext& page) const;
    // The fragment under the HTML folder, or "" when it does not exist.
    std::string Fragment(const std::string& name) const;
    platform::Database* Connect(const WebSettings& settings);

    platform::Platform& platform_;
    LogSink& log_;
    app::SettingsCache& ini_;
    const app::ProgramSettings& settings_;
    std::filesystem::path programFolder_;
    std::filesystem::path htmlFolder_;
    Callbacks callbacks_;
    std::unique_ptr<platform::Database> db_;
    std::string dbConnection_;
    std::string dbError_;  // the last failure to open, logged once per change
};

} // namespace tarvelo::web
