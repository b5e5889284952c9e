// The page framework: security levels, touch-screen clients, cells, the
// header with its include files, and the menu database on SQLite.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/qt/QtPlatform.h"
#include "support/TempDir.h"
#include "web/PageFramework.h"
#include "web/SimHttp.h"

using namespace tarvelo;
using namespace tarvelo::testing;
using web::PageContext;

namespace {

// The simulation platform with the real database port.
class DbPlatform : public WebSimPlatform {
public:
    std::unique_ptr<platform::Database> openDatabase(const std::string& connection, std::string& error) override {
        static int argc = 1;
        static char name[] = "web-tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
        return platform::qt::OpenQtDatabase(connection, error);
    }
};

struct Rig {
    Rig() {
        WriteFile(dir / "HTML/meta.htm", "<meta name='viewport' content='width=device-width'>");
        WriteFile(dir / "HTML/head.htm", "<!--head-->");
        WriteFile(dir / "HTML/links.htm", "<!--links-->");
        WriteFile(dir / "HTML/Tarvelo/Tarvelo_links.htm", "<!--own links-->");
    }
    web::Request request(const std::string& address = "192.168.1.30", const std::string& extra = "") {
        web::Request r;
        r.ParsePage("GET /stat HTTP/1.1\r\nUser-Agent: Mozilla/5.0\r\n" + extra + "\r\n");
        r.setRemoteip(address);
        return r;
    }
    void settings(const std::string& text) { WriteFile(dir / "Config/Tarvelo.ini", "[Settings]\r\n" + text); }

    TempDir dir;
    DbPlatform platform;
    CapturingLog log;
    app::SettingsCache ini{dir / "Config", &log};
    app::ProgramSettings program;
    web::PageFramework framework{platform, log, ini, program, dir.path(), dir / "HTML"};
};

} // namespace

TEST(PageFramework, SecurityLevels) {
    Rig rig;
    struct Case {
        const char* usesecurity;
        const char* authUser;
        int level;
        const char* user;
    } cases[] = {
        {"none", "", 10, "NO SECURITY"},  {"NoNe", "bob", 10, "NO SECURITY"},
        {"BASIC", "", 10, ""},            // no authenticated user: neither GUEST nor ...SET
        {"basic", "guest", 0, "GUEST"},   {"BASIC", "houseSET", 10, "LOCAL"},
        {"BASIC", "bob", 10, "BOB"},      {"other", "bob", 0, ""},
        {"", "bob", 10, "NO SECURITY"},   // empty is taken as "None"
    };
    for (const Case& c : cases) {
        rig.settings(std::string("usesecurity=") + c.usesecurity + "\r\n");
        const web::Request r = rig.request("192.168.1.30", std::string(c.authUser).empty() ? "" : std::string("AUTH_USER: ") + c.authUser + "\r\n");
        PageContext page(r);
        rig.framework.Prologue(page);
        EXPECT_EQ(page.level, c.level) << c.usesecurity << "/" << c.authUser;
        EXPECT_EQ(page.user, c.user) << c.usesecurity << "/" << c.authUser;
    }
}

TEST(PageFramework, TouchScreenClientsGetInlineColours) {
    Rig rig;
    rig.settings("touchscreenips=10.0.0.5, 10.0.0.6\r\nrowstyle=plain\r\naudreyrowstyle=big\r\n");
    const web::Request byAddress = rig.request("10.0.0.6");
    PageContext touch(byAddress);
    rig.framework.Prologue(touch);
    EXPECT_TRUE(touch.touchScreen);
    EXPECT_EQ(touch.settings.rowstyle, "big");
    EXPECT_EQ(rig.framework.FormatCell(touch, "Name", "TABLEHEADER", "2"),
              "<td bgcolor='#63639C' colspan='2'><font face='Verdana, Arial, sans-serif' size='2' color='#FFFFFF'><b>Name</b>"
              "</font></td>");
    EXPECT_EQ(rig.framework.FormatCell(touch, "x", "TABLEROWEVEN"),
              "<td bgcolor='#949494'><font face='Verdana, Arial, sans-serif' size='2' color='#000000'>x</font></td>");

    web::Request agent;
    agent.ParsePage("GET /stat HTTP/1.1\r\nUser-Agent: Mozilla/4.0 (compatible; audrey)\r\n\r\n");
    PageContext audrey(agent);
    rig.framework.Prologue(audrey);
    EXPECT_TRUE(audrey.touchScreen);

    const web::Request desk = rig.request("10.0.0.7");
    PageContext normal(desk);
    rig.framework.Prologue(normal);
    EXPECT_FALSE(normal.touchScreen);
    EXPECT_EQ(rig.framework.FormatCell(normal, "Name", "TABLEHEADER"),
              "<td class='TABLEHEADER' onMouseOver=\"myPopup.startHelp('name')\" onMouseOut=\"myPopup.clearHelp()\">Name</td>");
    EXPECT_EQ(rig.framework.FormatCell(normal, "Don't Show-It Now", "TABLEHEADER"),
              "<td class='TABLEHEADER' onMouseOver=\"myPopup.startHelp('dontshowitn')\" onMouseOut=\"myPopup.clearHelp()\">"
              "Don't Show-It Now</td>");
    EXPECT_EQ(rig.framework.FormatCell(normal, "<b>x</b>", "TABLEHEADER", "", "center"),
              "<td class='TABLEHEADER' align='center'><b>x</b></td>");
}

TEST(PageFramework, HeaderWritesEveryOptionBackAndLooksTheSameEachTime) {
    Rig rig;
    rig.settings("");
    const web::Request r = rig.request();
    PageContext page(r);
    rig.framework.Prologue(page);
    web::HeaderOptions options;
    options.values[web::HeaderOptions::kTitle] = "UPB <b>Status</b>";
    const std::string first = rig.framework.CustomHeader(page, options);
    rig.ini.FlushIniCache();
    const std::string includes = ReadFile(rig.dir / "Config/includes.ini");
    EXPECT_NE(includes.find("strPageTitle=n/a\r\n"), std::string::npos) << includes;
    EXPECT_NE(includes.find("strShowLinks=0\r\n"), std::string::npos);
    EXPECT_NE(includes.find("usePageScroll=0\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(rig.dir / "Config/Tarvelo.ini").find("logpagehits=0"), std::string::npos);

    EXPECT_EQ(first.rfind("<html><head><title>UPB Status</title><link rel='stylesheet' type='text/css' href='/StyleNoBody.css'>", 0), 0u)
        << first;
    for (const char* piece : {"<meta name='viewport'", "<!--head-->", "<!--links-->", "summary='Logo Bar'",
                              "<td class='pagetitle'>UPB <b>Status</b></td>", "<!--own links--><a name='pagecontent'></a>",
                              "<body bgcolor='Black'>"})
        EXPECT_NE(first.find(piece), std::string::npos) << piece;

    // The placeholders written back mean "not set": the next header is the same.
    PageContext again(r);
    rig.framework.Prologue(again);
    EXPECT_EQ(rig.framework.CustomHeader(again, options), first);
}

TEST(PageFramework, StripHtmlAndFileContents) {
    Rig rig;
    EXPECT_EQ(web::PageFramework::StripHTML("UPB Status&nbsp;<small><font size='1'></b> V1</font></small>"),
              "UPB Status&nbsp; V1");
    EXPECT_EQ(rig.framework.FileContents("HTML/head.htm"), "<!--head-->");
    EXPECT_EQ(rig.framework.FileContents("HTML/none.htm"), "No File");
    EXPECT_EQ(rig.framework.FileContents("../etc/passwd"), "No File");
}

TEST(PageFramework, MenuDatabaseOnSqlite) {
    Rig rig;
    const auto db = rig.dir / "menus.db";
    {
        std::string error;
        auto created = std::unique_ptr<platform::Database>();
        // Create the file, then the tables through the same port.
        WriteFile(db, "");
        created = rig.platform.openDatabase(db.string(), error);
        ASSERT_TRUE(created) << error;
        for (const char* sql :
             {"CREATE TABLE MenuUsers (UserID INTEGER, SecureLevel INTEGER, SecID TEXT, LastSessTime TEXT)",
              "INSERT INTO MenuUsers VALUES (1, 5, '192.168.1.30', NULL)",
              "CREATE TABLE Menus (LevelID INTEGER, ParentID INTEGER, MenuID INTEGER, SecureLevel INTEGER, "
              "MenuItem TEXT, MenuURL TEXT, MenuImage TEXT, SortOrder INTEGER)",
              "INSERT INTO Menus VALUES (1, 0, 1, 0, 'Home', '/', '', 1)",
              "INSERT INTO Menus VALUES (1, 0, 2, 5, 'Lights <&>', '/lights', '', 2)",
              "INSERT INTO Menus VALUES (1, 0, 3, 9, 'Admin', '/admin', '', 3)",
              "INSERT INTO Menus VALUES (2, 1, 4, 8, 'UPB', '/stat', '', 4)"})
            ASSERT_TRUE(created->exec(sql, {}, nullptr, &error)) << sql << error;
    }
    rig.settings("dbpath=" + db.string() + "\r\nusesecurity=ENHANCED\r\nlogpagehits=1\r\n");
    WriteFile(rig.dir / "Config/includes.ini", "[header.asp]\r\nstrShowLinks=MENU\r\n");

    const web::Request r = rig.request("192.168.1.30");
    PageContext page(r);
    rig.framework.Prologue(page);
    EXPECT_EQ(page.level, 5);
    EXPECT_EQ(page.user, "192.168.1.30");
    std::string error;
    std::vector<platform::Database::Row> rows;
    auto check = rig.platform.openDatabase(db.string(), error);
    ASSERT_TRUE(check->exec("SELECT LastSessTime FROM MenuUsers", {}, &rows, &error));
    EXPECT_EQ(rows.at(0).at(0), "2026-12-06 07:00:00");

    const std::string header = rig.framework.CustomHeader(page, {});
    EXPECT_NE(header.find("<p class='menurow'><a class='LINK' href='/'>Home</a> | <a class='LINK' href='/lights'>Lights "
                          "&lt;&amp;&gt;</a></p>"),
              std::string::npos)
        << header;
    EXPECT_EQ(header.find("Admin"), std::string::npos);
    EXPECT_TRUE(rig.log.has("stat was accessed by  the user: 192.168.1.30"));

    // With the menu row in use, /stat needs level 8: refused, and logged.
    WriteFile(rig.dir / "Config/includes.ini", "[header.asp]\r\nstrShowLinks=MENU\r\nuseMenuRow=1\r\n");
    PageContext refused(r);
    rig.framework.Prologue(refused);
    EXPECT_EQ(rig.framework.CustomHeader(refused, {}), "");
    EXPECT_TRUE(refused.refused);
    bool logged = false;
    for (auto& [type, data] : rig.log.entries)
        logged |= type == "Unauthorized" && data.rfind("192.168.1.30 attempted to access stat at ", 0) == 0;
    EXPECT_TRUE(logged);

    // An address is a bound parameter, never SQL text.
    const web::Request sly = rig.request("x' OR '1'='1");
    PageContext other(sly);
    rig.framework.Prologue(other);
    EXPECT_EQ(other.level, 0);
    EXPECT_EQ(other.user, "None");

    // A database that cannot be opened leaves the level alone and says why once.
    rig.settings("dbpath=" + (rig.dir / "none.db").string() + "\r\nusesecurity=ENHANCED\r\n");
    PageContext missing(r);
    rig.framework.Prologue(missing);
    PageContext missingAgain(r);
    rig.framework.Prologue(missingAgain);
    EXPECT_EQ(missing.level, 0);
    int said = 0;
    for (auto& e : rig.log.entries) said += e.second.find("Menu database") != std::string::npos;
    EXPECT_EQ(said, 1);
}
