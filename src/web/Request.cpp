#include "web/Request.h"

#include "common/Text.h"

namespace tarvelo::web {

namespace {

// A digit's value; -1 for a character that is no hex digit, 0 for one that
// is missing at the end of the text.
int DigitAt(std::string_view text, size_t i) {
    if (i >= text.size()) return 0;
    const char c = text[i];
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string WithoutCrLf(std::string_view text) { return Replace(text, "\r\n", ""); }

} // namespace

std::string Request::Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            int value = 16 * DigitAt(text, i + 1) + DigitAt(text, i + 2);
            // Control characters (and NUL) never get through: a blank instead.
            if (value < 32) value = 32;
            out.push_back(static_cast<char>(static_cast<unsigned char>(value)));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void Request::ParsePairs(std::string_view text, FieldTable& table) {
    if (text.empty()) return;
    for (const std::string& piece : Split(text, "&")) {
        const std::vector<std::string> parts = Split(piece, "=");
        const std::string key = Decode(parts[0]);
        if (table.exists(key)) continue;
        table.add(key, parts.size() > 1 ? Decode(parts[1]) : std::string());
    }
}

void Request::ParsePage(const std::string& text) {
    const size_t blank = text.find(' ');
    if (blank == std::string::npos) return;
    method_ = text.substr(0, blank);

    const size_t http = text.find("HTTP", blank);
    if (http == std::string::npos) return;

    // The path runs up to the blank before the protocol token.
    const size_t pathEnd = http > blank + 1 ? http - 1 : blank + 1;
    const std::string rawPath = text.substr(blank + 1, pathEnd - (blank + 1));
    const size_t question = rawPath.find('?');
    if (question != std::string::npos) {
        page_ = Decode(rawPath.substr(0, question));
        const std::string rawQuery = rawPath.substr(question + 1);
        queryText_ = "?" + Decode(rawQuery);
        ParsePairs(rawQuery, query_);
    } else {
        page_ = Decode(rawPath);
        queryText_.clear();
    }

    payload_.clear();
    const size_t end = text.find("\r\n\r\n", http);
    if (end != std::string::npos) {
        headersComplete_ = true;
        header_ = text.substr(http, end - http);
        const std::string_view body = std::string_view(text).substr(end + 4);
        bodyBytes_ = body.size();
        // One or two characters are no body (a stray line end).
        if (body.size() >= 3) {
            if (method_ == "POST") method_ = "POSTx";
            const std::string raw = WithoutCrLf(body);
            payload_ = Decode(raw);
            ParsePairs(raw, form_);
        }
    } else {
        header_ = text.substr(http);
    }

    const std::vector<std::string> lines = Split(header_, "\r\n");
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> parts = Split(lines[i], ": ");
        if (parts.size() != 2 || headers_.exists(parts[0])) continue;
        headers_.add(parts[0], parts[1]);
    }
}

void Request::AddPostData(const std::string& text) {
    bodyBytes_ += text.size();
    ParsePairs(WithoutCrLf(text), form_);
}

std::optional<size_t> Request::contentLength() const {
    const std::string* text = headers_.find("Content-Length");
    if (!text) return std::nullopt;
    const std::string digits = TrimSpaces(*text);
    if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<size_t>(std::stoull(digits));
}

std::string Request::ServerVariables(std::string_view name) const {
    if (EqualsNoCase(name, "remote_addr")) return remoteip_;
    const std::string* value = headers_.find(EqualsNoCase(name, "http_user_agent") ? std::string_view("User-Agent") : name);
    return value ? *value : std::string();
}

std::string Request::QueryString(std::string_view name) const {
    const std::string* value = query_.find(name);
    return value ? *value : std::string();
}

std::string Request::Form(std::string_view name) const {
    const std::string* value = form_.find(name);
    return value ? *value : std::string();
}

} // namespace tarvelo::web
