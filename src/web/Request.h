#pragma once
// One HTTP request, parsed from the text the server received. A pure codec:
// no sockets, no clock. The server hands it the first chunk (ParsePage) and,
// for a POST whose body came later, the later chunks (AddPostData); pages
// read the path, the headers (ServerVariables) and the fields (Form,
// QueryString).
//
// Query strings and form bodies are split at "&" and "=" first and each name
// and value decoded afterwards, so a typed "&", "=" or "?" stays data.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/Dictionary.h"

namespace tarvelo::web {

// Name -> value, names without regard to case, the first value of a name kept.
using FieldTable = OrderedDict<std::string, /*CaseInsensitive=*/true>;

class Request {
public:
    void ParsePage(const std::string& text);
    // A later chunk of the body.
    void AddPostData(const std::string& text);

    // URL decoding: "+" is a blank, "%XX" the byte XX (below 32 a blank).
    static std::string Decode(std::string_view text);

    // "http_user_agent" is the User-Agent header, "remote_addr" the client's
    // address; any other name is the header of that name. Empty when absent.
    std::string ServerVariables(std::string_view name) const;
    std::string QueryString(std::string_view name) const;
    std::string Form(std::string_view name) const;
    bool HasForm(std::string_view name) const { return form_.exists(name); }

    const FieldTable& QueryStringCol() const { return query_; }
    const FieldTable& FormCol() const { return form_; }

    const std::string& Method() const { return method_; }
    const std::string& page() const { return page_; }
    const std::string& Query() const { return queryText_; }
    const std::string& Payload() const { return payload_; }
    const std::string& header() const { return header_; }
    const std::string& remoteip() const { return remoteip_; }
    void setRemoteip(std::string address) { remoteip_ = std::move(address); }

    // Whether the header block ended with a blank line.
    bool headersComplete() const { return headersComplete_; }
    // The announced body length; nullopt without a usable Content-Length.
    std::optional<size_t> contentLength() const;
    // Bytes of body received so far, as they came (line ends included).
    size_t bodyBytes() const { return bodyBytes_; }

private:
    static void ParsePairs(std::string_view text, FieldTable& table);

    std::string method_;
    std::string page_;
    std::string queryText_;
    std::string payload_;
    std::string header_;
    std::string remoteip_;
    FieldTable query_;
    FieldTable form_;
    FieldTable headers_;
    bool headersComplete_ = false;
    size_t bodyBytes_ = 0;
};

} // namespace tarvelo::web
