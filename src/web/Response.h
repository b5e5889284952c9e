#pragma once
// The four answers of the web server as text: a generated page, a text file,
// the header of a streamed binary file (and its missing-file answer), and the
// "not found" page. A pure codec over std::string; the server sends what it
// builds here. Dates are passed in, so the texts are reproducible.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/VbDate.h"

namespace tarvelo::web {

struct ContentType {
    std::string type;
    bool text = false;
    bool script = false;
};

// By what the path contains, case-sensitive, first match wins.
ContentType ContentTypeFor(std::string_view path);

// "06-Dec-26": the date (no time) that every answer's Date header carries.
std::string MediumDate(VbDate date);

// Binary files go out in pieces of this size, one in flight per connection,
// each released by the previous send's completion or by the watchdog.
inline constexpr size_t kPieceBytes = 1000;
inline constexpr int kPieceWatchdogMs = 5000;

// A generated page (SendTextString).
std::string TextPageAnswer(std::string_view body, const std::string& date);
// A text file from the HTML folder (SendTextFile): style sheets too are text/html.
std::string TextFileAnswer(std::string_view fileText, const std::string& date, const std::string& modified);
// The "not found" page: status 200, a fixed 40-character body.
std::string NotFoundAnswer(const std::string& date);
// A missing binary file: a bare 404 without body.
std::string MissingBinaryAnswer(const std::string& date);
// The header of a streamed binary file; the body follows in pieces.
std::string BinaryHeader(size_t length, const std::string& contentType, const std::string& date,
                         const std::string& modified);

// The refusal of a page to a user whose security level is too low.
inline constexpr const char* kUnauthorizedPage = "<HTML>Unauthorized Access<HTML>";
inline constexpr const char* kNotFoundBody = "<html><h1>404 File Not Found</h1></html>";

} // namespace tarvelo::web
