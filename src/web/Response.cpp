#include "web/Response.h"

#include <cstdio>
#include <initializer_list>

#include "common/Text.h"

namespace tarvelo::web {

namespace {
constexpr const char* kLineEnd = "\r\n";

std::string Lines(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (std::string_view line : lines) out.append(line).append(kLineEnd);
    out.append(kLineEnd);
    return out;
}
} // namespace

ContentType ContentTypeFor(std::string_view path) {
    auto has = [&](const char* text) { return path.find(text) != std::string_view::npos; };
    if (has(".txt")) return {"text/plain", true, false};
    if (has(".htm")) return {"text/html", true, false};  // ".html" contains ".htm"
    if (has(".jpg")) return {"image/jpg", false, false};
    if (has(".gif")) return {"image/gif", false, false};
    if (has(".bmp")) return {"image/bmp", false, false};
    if (has(".php")) return {"text/html", true, true};
    return {"unknown/binary", false, false};
}

std::string MediumDate(VbDate date) {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const DateParts p = SplitDate(date);
    char text[16];
    std::snprintf(text, sizeof text, "%02d-%s-%02d", p.day, months[(p.month + 11) % 12], p.year % 100);
    return text;
}

std::string TextPageAnswer(std::string_view body, const std::string& date) {
    std::string out = Lines({"HTTP/1.1 200 OK", "Server: zantu", "Date: " + date,
                             "Expires: Tue, 04 Dec 1993 21:29:02 GMT", "Accept-Ranges: bytes",
                             "Content-Type: text/html", "Content-Length: " + Dec(static_cast<long long>(body.size())),
                             "Cache-Control: no-cache"});
    out.append(body);
    return out;
}

std::string TextFileAnswer(std::string_view fileText, const std::string& date, const std::string& modified) {
    std::string out = Lines({"HTTP/1.0 200 OK", "Server: zantu", "Date: " + date, "Accept-Ranges: bytes",
                             "Content-Type: text/html", "Last-Modified: " + modified,
                             "Content-Length: " + Dec(static_cast<long long>(fileText.size()))});
    out.append(fileText);
    return out;
}

std::string NotFoundAnswer(const std::string& date) {
    std::string out = Lines({"HTTP/1.1 200 Object Not Found", "Server: zantu", "Date: " + date, "Connection: Close",
                             "Content-Type: text/html", "Content-Length: 40"});
    out.append(kNotFoundBody);
    return out;
}

std::string MissingBinaryAnswer(const std::string& date) {
    return Lines({"HTTP/1.1 404 Not Found", "Server: zantu", "Date:" + date});
}

std::string BinaryHeader(size_t length, const std::string& contentType, const std::string& date,
                         const std::string& modified) {
    return Lines({"HTTP/1.1 200 OK", "Server: zantu", "Date:" + date, "Last-Modified: " + modified,
                  "Accept-Ranges: bytes", "Content-Length: " + Dec(static_cast<long long>(length)),
                  "Connection: Close", "Content-Type: " + contentType});
}

} // namespace tarvelo::web
