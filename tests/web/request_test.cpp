// The request codec: request line, headers, query and form fields, decoding.
#include <gtest/gtest.h>

#include "web/Request.h"

using tarvelo::web::Request;

namespace {
Request Parse(const std::string& text) {
    Request r;
    r.ParsePage(text);
    return r;
}
} // namespace

TEST(Request, RequestLineHeadersAndQuery) {
    Request r = Parse("GET /status?ShowEditMap=1 HTTP/1.1\r\nHost: 127.0.0.1:8016\r\nUser-Agent: Mozilla/5.0\r\n\r\n");
    EXPECT_EQ(r.Method(), "GET");
    EXPECT_EQ(r.page(), "/status");
    EXPECT_EQ(r.Query(), "?ShowEditMap=1");
    EXPECT_EQ(r.QueryString("showeditmap"), "1");
    EXPECT_EQ(r.header(), "HTTP/1.1\r\nHost: 127.0.0.1:8016\r\nUser-Agent: Mozilla/5.0");
    EXPECT_EQ(r.ServerVariables("HTTP_USER_AGENT"), "Mozilla/5.0");
    EXPECT_EQ(r.ServerVariables("host"), "127.0.0.1:8016");
    EXPECT_EQ(r.ServerVariables("AUTH_USER"), "");
    r.setRemoteip("10.0.0.7");
    EXPECT_EQ(r.ServerVariables("REMOTE_ADDR"), "10.0.0.7");
    EXPECT_TRUE(r.headersComplete());
}

TEST(Request, DecodeTable) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a%20b", "a b"},     {"a%0Ab", "a b"},  // control codes become blanks
        {"%41", "A"},         {"%6a", "j"},      {"%ZZ", " "},  // two non-hex digits
        {"a+b%2Bc", "a b+c"},                    // "+" is a blank, an encoded plus a plus
        {"%00", " "},         {"x%", "x "},      {"x%4", "x@"},  // a missing digit counts 0
        {"%%41", " 1"},                          // the search goes on after the replaced character
        {"caf%E9", "caf\xE9"},
    };
    for (const Case& c : cases) EXPECT_EQ(Request::Decode(c.in), c.out) << c.in;
}

TEST(Request, PostBodyInTheFirstChunk) {
    Request r = Parse("POST /stat HTTP/1.1\r\nContent-Length: 28\r\n\r\nclientinput=yes&clientvalue=x");
    EXPECT_EQ(r.Method(), "POSTx");
    EXPECT_EQ(r.Form("clientinput"), "yes");
    EXPECT_EQ(r.Form("CLIENTVALUE"), "x");
    EXPECT_EQ(r.Payload(), "clientinput=yes&clientvalue=x");
    EXPECT_EQ(r.contentLength(), 28u);

    Request shortBody = Parse("POST /stat HTTP/1.1\r\n\r\nab");
    EXPECT_EQ(shortBody.Method(), "POST");
    EXPECT_TRUE(shortBody.FormCol().empty());

    Request later = Parse("POST /stat HTTP/1.1\r\n\r\n");
    later.AddPostData("clientinput=Q12&clientvalue=ON\r\n");
    EXPECT_EQ(later.Method(), "POST");
    EXPECT_EQ(later.Form("clientvalue"), "ON");
}

TEST(Request, TypedSeparatorsStayData) {
    // A tag typed as Garage&Yard=1?x, sent the way a browser encodes it.
    Request r = Parse("POST /stat?t=a%26b HTTP/1.1\r\n\r\nTag268=Garage%26Yard%3D1%3Fx&Used268=1&Note=C%2B%2B+rules");
    EXPECT_EQ(r.Form("Tag268"), "Garage&Yard=1?x");
    EXPECT_EQ(r.Form("Used268"), "1");
    EXPECT_EQ(r.Form("Note"), "C++ rules");
    EXPECT_EQ(r.QueryString("t"), "a&b");
    EXPECT_EQ(r.FormCol().size(), 3u);
    // The path is decoded; an encoded "?" in it is part of the path.
    EXPECT_EQ(Parse("GET /a%3Fb?c=d HTTP/1.1\r\n\r\n").page(), "/a?b");
}

TEST(Request, FieldsAndHeadersKeepTheirFirstValue) {
    Request r = Parse("POST /stat HTTP/1.1\r\nX-A: one\r\nx-a: two\r\nX-B: a: b\r\nNoColon\r\n\r\nk=1&K=2&bare&=v");
    EXPECT_EQ(r.ServerVariables("X-A"), "one");
    EXPECT_EQ(r.ServerVariables("X-B"), "");  // a value holding ": " is no header
    EXPECT_EQ(r.Form("k"), "1");
    EXPECT_TRUE(r.HasForm("bare"));
    EXPECT_EQ(r.Form("bare"), "");
}

TEST(Request, MalformedTextLeavesLaterFieldsEmpty) {
    Request none = Parse("GARBAGE");
    EXPECT_EQ(none.Method(), "");
    EXPECT_EQ(none.page(), "");

    Request noProtocol = Parse("GET /stat");
    EXPECT_EQ(noProtocol.Method(), "GET");
    EXPECT_EQ(noProtocol.page(), "");

    Request noBlankLine = Parse("GET /stat HTTP/1.0\r\nHost: x");
    EXPECT_EQ(noBlankLine.page(), "/stat");
    EXPECT_FALSE(noBlankLine.headersComplete());
    EXPECT_EQ(noBlankLine.ServerVariables("Host"), "x");

    EXPECT_EQ(Parse("GET HTTP/1.1\r\n\r\n").page(), "");
    EXPECT_FALSE(Parse("GET / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n").contentLength());
    EXPECT_FALSE(Parse("GET / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n").contentLength());
}
