#pragma once
// Files the web server reads: everything it serves lies under the HTML
// folder, and nothing outside it is ever opened for a request.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::web {

// The file under `root` that a request path names ("\images\logo.gif" or
// "/images/logo.gif"). Each name is matched without regard to case, as the
// program's settings files are, since request paths arrive lower-cased.
// nullopt for a path with a ".." segment, a control character, or a name
// that does not exist; a folder is no file.
std::optional<std::filesystem::path> ResolveUnder(const std::filesystem::path& root, std::string_view requestPath);

// The whole file as bytes; nullopt when it cannot be read.
std::optional<std::string> ReadWhole(const std::filesystem::path& file);

// Text for an HTML page: & < > " ' as entities.
std::string HtmlEscape(std::string_view text);

} // namespace tarvelo::web
