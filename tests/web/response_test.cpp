// The answers as text, the content types, and which files may be served.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "web/Files.h"
#include "web/Response.h"

using namespace tarvelo::web;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

TEST(Response, TheFourAnswersLineByLine) {
    EXPECT_EQ(TextPageAnswer("<p>x</p>", "06-Dec-26"),
              "HTTP/1.1 200 OK\r\nServer: zantu\r\nDate: 06-Dec-26\r\nExpires: Tue, 04 Dec 1993 21:29:02 GMT\r\n"
              "Accept-Ranges: bytes\r\nContent-Type: text/html\r\nContent-Length: 8\r\nCache-Control: no-cache\r\n\r\n"
              "<p>x</p>");
    EXPECT_NE(TextPageAnswer("", "d").find("Content-Length: 0\r\nCache-Control: no-cache\r\n\r\n"), std::string::npos);
    EXPECT_EQ(TextPageAnswer("", "d").substr(TextPageAnswer("", "d").size() - 4), "\r\n\r\n");

    EXPECT_EQ(TextFileAnswer("a{}", "06-Dec-26", "2026-12-01 10:00:00"),
              "HTTP/1.0 200 OK\r\nServer: zantu\r\nDate: 06-Dec-26\r\nAccept-Ranges: bytes\r\nContent-Type: text/html\r\n"
              "Last-Modified: 2026-12-01 10:00:00\r\nContent-Length: 3\r\n\r\na{}");

    EXPECT_EQ(NotFoundAnswer("06-Dec-26"),
              "HTTP/1.1 200 Object Not Found\r\nServer: zantu\r\nDate: 06-Dec-26\r\nConnection: Close\r\n"
              "Content-Type: text/html\r\nContent-Length: 40\r\n\r\n<html><h1>404 File Not Found</h1></html>");
    EXPECT_EQ(std::string(kNotFoundBody).size(), 40u);

    EXPECT_EQ(MissingBinaryAnswer("06-Dec-26"), "HTTP/1.1 404 Not Found\r\nServer: zantu\r\nDate:06-Dec-26\r\n\r\n");
    EXPECT_EQ(BinaryHeader(2500, "image/gif", "06-Dec-26", "2026-12-01 10:00:00"),
              "HTTP/1.1 200 OK\r\nServer: zantu\r\nDate:06-Dec-26\r\nLast-Modified: 2026-12-01 10:00:00\r\n"
              "Accept-Ranges: bytes\r\nContent-Length: 2500\r\nConnection: Close\r\nContent-Type: image/gif\r\n\r\n");
}

TEST(Response, ContentTypeByWhatThePathContains) {
    struct Case {
        const char* path;
        const char* type;
    } cases[] = {{"\\a.txt", "text/plain"},    {"\\a.htm", "text/html"},      {"\\a.html", "text/html"},
                 {"\\a.jpg", "image/jpg"},     {"\\a.gif", "image/gif"},      {"\\a.bmp", "image/bmp"},
                 {"\\a.php", "text/html"},     {"\\a.png", "unknown/binary"}, {"\\a.wmz", "unknown/binary"},
                 {"\\a.txt.gif", "text/plain"}, {"\\A.GIF", "unknown/binary"}};
    for (const Case& c : cases) EXPECT_EQ(ContentTypeFor(c.path).type, c.type) << c.path;
    EXPECT_TRUE(ContentTypeFor("\\x.php").script);
}

TEST(Response, MediumDate) {
    EXPECT_EQ(MediumDate(tarvelo::MakeDate(2026, 12, 6, 7, 0, 0)), "06-Dec-26");
    EXPECT_EQ(MediumDate(tarvelo::MakeDate(2001, 1, 31)), "31-Jan-01");
}

TEST(Files, OnlyFilesUnderTheFolderAreFound) {
    TempDir dir;
    WriteFile(dir / "HTML/images/Logo.png", "png");
    WriteFile(dir / "HTML/StyleNoBody.css", "css");
    WriteFile(dir / "secret.txt", "no");
    const auto root = dir / "HTML";
    EXPECT_EQ(ResolveUnder(root, "\\images\\logo.png"), root / "images" / "Logo.png");  // any case
    EXPECT_EQ(ResolveUnder(root, "/stylenobody.css"), root / "StyleNoBody.css");
    EXPECT_EQ(ResolveUnder(root, "stylenobody.css"), root / "StyleNoBody.css");
    for (const char* bad : {"\\..\\secret.txt", "/images/../../secret.txt", "\\images", "\\", "",
                            "\\stylenobody.css\x01", "\\missing.png", "\\images\\..\\images\\logo.png"})
        EXPECT_FALSE(ResolveUnder(root, bad)) << bad;
    EXPECT_FALSE(ResolveUnder(root, std::string("\\stylenobody.css\0x", 18))) << "NUL";
}

TEST(Files, HtmlEscape) {
    EXPECT_EQ(HtmlEscape("<b>\"Tom's\" & co</b>"), "&lt;b&gt;&quot;Tom&#39;s&quot; &amp; co&lt;/b&gt;");
}
