// The web server with simulated browsers in virtual time: routing, request
// gathering, paced file streaming, socket growth and the saturation reset,
// and bad input.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "web/SimHttp.h"
#include "web/WebServer.h"

using namespace tarvelo;
using namespace tarvelo::testing;
using web::WebServer;

namespace {

struct ServerRig {
    explicit ServerRig(const std::string& ini = "[UPB]\r\nHTTPPort=\"8016\"\r\n") {
        WriteFile(dir / "Config/Tarvelo.ini", ini);
        WriteFile(dir / "HTML/StyleNoBody.css", ".TABLEHEADER{color:red}");
        WriteFile(dir / "HTML/images/Pic.gif", std::string(2500, 'g'));
        WriteFile(dir / "HTML/images/big.png", std::string(20000, 'p'));
        WriteFile(dir / "HTML/Help/Tarvelo/Tarvelo.htm", "<img src='Tarvelo_files/a.png'><a href='TARVELO_FILES/b.htm'>");
        WriteFile(dir / "secret.css", "outside");
        server = std::make_unique<WebServer>(platform, log, ini_, dir.path(), dir / "HTML",
                                             WebServer::Callbacks{.statusPage = [this](const web::Request& r) {
                                                                      requests.push_back(r);
                                                                      return WebServer::Page{"page:" + r.page() + ":" + r.Form("a"), refuse};
                                                                  },
                                                                  .listening = [this](int p) { port = p; }});
        server->Start();
    }

    TempDir dir;
    WebSimPlatform platform;
    CapturingLog log;
    app::SettingsCache ini_{dir / "Config", &log};
    std::unique_ptr<WebServer> server;
    std::vector<web::Request> requests;
    bool refuse = false;
    int port = 0;
};

const char* kNotFound = "HTTP/1.1 200 Object Not Found\r\n";

} // namespace

TEST(WebServer, RoutesByPath) {
    ServerRig rig;
    EXPECT_EQ(rig.port, 8016);  // quotes around the setting are removed
    for (const char* path : {"/STATUS", "/stat?x=1", "/Stat/anything"}) {
        Browser b(rig.platform);
        b.request(Get(path));
        EXPECT_EQ(b.end->received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << path;
        EXPECT_EQ(b.body().rfind("page:", 0), 0u) << path;
    }
    EXPECT_EQ(rig.requests[1].page(), "/stat");

    Browser help(rig.platform);
    help.request(Get("/help"));
    EXPECT_EQ(help.body(), "<img src='help/Tarvelo/Tarvelo_files/a.png'><a href='help/Tarvelo/Tarvelo_files/b.htm'>");

    Browser css(rig.platform);
    css.request(Get("/stylenobody.css"));
    EXPECT_NE(css.end->received.find("Content-Type: text/html\r\n"), std::string::npos);
    EXPECT_EQ(css.body(), ".TABLEHEADER{color:red}");

    // Browsers ask for these on their own: answered and closed, never left hanging.
    for (const char* path : {"/favicon.ico", "/index.htm", "/", "/missing.css"}) {
        Browser b(rig.platform);
        b.request(Get(path));
        EXPECT_EQ(b.end->received.rfind(kNotFound, 0), 0u) << path;
        EXPECT_TRUE(b.closed());
    }
    Browser missing(rig.platform);
    missing.request(Get("/images/none.gif"));
    EXPECT_EQ(missing.end->received.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
    EXPECT_EQ(missing.body(), "");
    EXPECT_EQ(rig.server->openSocketCount(), 0);
}

TEST(WebServer, RefusedPageIsAnsweredWithTheRefusalOnly) {
    ServerRig rig;
    rig.refuse = true;
    Browser b(rig.platform);
    b.request(Get("/stat"));
    EXPECT_EQ(b.body(), "<HTML>Unauthorized Access<HTML>");
}

TEST(WebServer, PostBodyInLaterChunksIsGathered) {
    ServerRig rig;
    const std::string body = "a=x%26y&b=2";
    const std::string whole = Post("/stat", body);
    const std::string headers = whole.substr(0, whole.size() - body.size());

    // Headers, then the body before the 50 ms tick.
    Browser quick(rig.platform);
    quick.connect();
    quick.send(headers);
    quick.send(body, 20);
    rig.platform.runUntil([&] { return quick.closed(); });
    EXPECT_EQ(quick.body(), "page:/stat:x&y");

    // The body well after the tick, and split inside a field: still one request.
    Browser slow(rig.platform);
    slow.connect();
    slow.send(headers);
    slow.send(body.substr(0, 3), 400);
    slow.send(body.substr(3), 1500);
    rig.platform.runUntil([&] { return slow.closed(); });
    EXPECT_EQ(slow.body(), "page:/stat:x&y");
    EXPECT_EQ(rig.requests.size(), 2u);
    EXPECT_EQ(rig.requests[1].Form("b"), "2");

    // A body that never completes is not half applied: not found, closed.
    Browser stuck(rig.platform);
    stuck.connect();
    stuck.send(headers);
    stuck.send(body.substr(0, 4), 100);
    rig.platform.runUntil([&] { return stuck.closed(); }, 20000);
    EXPECT_EQ(stuck.end->received.rfind(kNotFound, 0), 0u);
    EXPECT_EQ(rig.requests.size(), 2u);
    EXPECT_EQ(rig.server->counters().rejected, 1u);
}

TEST(WebServer, ChunksOfSeveralConnectionsInterleave) {
    ServerRig rig;
    Browser one(rig.platform), two(rig.platform);
    one.connect();
    two.connect();
    const std::string post = Post("/stat", "a=first");
    one.send(post.substr(0, 30));
    two.send(Get("/stat?a=1"), 5);
    one.send(post.substr(30), 10);
    rig.platform.runUntil([&] { return one.closed() && two.closed(); });
    EXPECT_EQ(one.body(), "page:/stat:first");
    EXPECT_EQ(two.body(), "page:/stat:");
}

TEST(WebServer, HeadersWithoutEndAreAnsweredAfterTheTimeLimit) {
    ServerRig rig;
    Browser b(rig.platform);
    b.connect();
    b.send("GET /stat HTTP/1.0\r\nHost: x");
    rig.platform.advance(1000);
    EXPECT_FALSE(b.closed());  // it may still come
    rig.platform.runUntil([&] { return b.closed(); }, 10000);
    EXPECT_EQ(b.body(), "page:/stat:");
}

TEST(WebServer, BinaryFileGoesInPiecesEachAfterTheLastCompleted) {
    ServerRig rig;
    Browser b(rig.platform);
    b.request(Get("/images/pic.gif"));
    ASSERT_EQ(b.end->sends.size(), 4u);
    EXPECT_EQ(b.end->sends[1], 1000u);
    EXPECT_EQ(b.end->sends[2], 1000u);
    EXPECT_EQ(b.end->sends[3], 500u);
    EXPECT_NE(b.end->received.find("Content-Length: 2500\r\nConnection: Close\r\nContent-Type: image/gif\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(b.body(), std::string(2500, 'g'));
    EXPECT_TRUE(b.closed());
}

TEST(WebServer, ClientThatStopsReadingDoesNotHoldOthersUp) {
    ServerRig rig;
    Browser slow(rig.platform);
    slow.connect();
    slow.stopReading();
    slow.send(Get("/images/big.png"));
    rig.platform.advance(100);
    EXPECT_EQ(slow.end->sends.size(), 1u);  // the header, waiting for its completion

    Browser other(rig.platform);
    const int64_t before = rig.platform.now();
    other.request(Get("/stat"));
    EXPECT_LT(rig.platform.now() - before, 1000);

    // The watchdog lets the stream go on at one piece per 5 s; the browser leaves.
    rig.platform.advance(5100);
    EXPECT_EQ(slow.end->sends.size(), 2u);
    slow.close();
    rig.platform.advance(10000);
    EXPECT_EQ(slow.end->sends.size(), 2u);
    EXPECT_EQ(rig.server->openSocketCount(), 0);
}

TEST(WebServer, SocketsGrowToKeepFiveFreeAndResetWhenSaturated) {
    ServerRig rig;
    EXPECT_EQ(rig.server->highestLoadedSocket(), 5);
    std::vector<std::unique_ptr<Browser>> idle;
    for (int i = 0; i < 6; ++i) {
        idle.push_back(std::make_unique<Browser>(rig.platform));
        idle.back()->connect();
    }
    rig.platform.drain();
    EXPECT_EQ(rig.server->openSocketCount(), 6);
    EXPECT_GE(rig.server->highestLoadedSocket(), 10);

    for (int i = 6; i < 24; ++i) {
        idle.push_back(std::make_unique<Browser>(rig.platform));
        idle.back()->connect();
    }
    rig.platform.drain();
    EXPECT_EQ(rig.server->openSocketCount(), 24);
    EXPECT_EQ(rig.server->highestLoadedSocket(), 25);

    // The 25th cuts every connection and is served itself.
    Browser last(rig.platform);
    last.request(Get("/stat"));
    EXPECT_EQ(last.body(), "page:/stat:");
    for (auto& b : idle) EXPECT_TRUE(b->closed());
    EXPECT_EQ(rig.server->counters().resets, 1u);
    EXPECT_EQ(rig.server->highestLoadedSocket(), 5);
    EXPECT_EQ(rig.server->openSocketCount(), 0);

    Browser after(rig.platform);
    after.request(Get("/stat"));
    EXPECT_EQ(after.body(), "page:/stat:");
}

TEST(WebServer, BadInputGetsTheNotFoundPageAndTheServerGoesOn) {
    ServerRig rig;
    const std::vector<std::string> bad = {
        Get("/../secret.css"), Get("/images/..%2F..%2Fsecret.css"), Get("/%2e%2e/secret.css"),
        Get("/stylenobody.css%00.gif"), Get("/x%"), "GARBAGE\r\n\r\n", "\r\n\r\n",
    };
    for (const std::string& text : bad) {
        Browser b(rig.platform);
        b.request(text);
        EXPECT_TRUE(b.end->received.rfind(kNotFound, 0) == 0 ||
                    b.end->received.rfind("HTTP/1.1 404 Not Found\r\n", 0) == 0)
            << text;
        EXPECT_EQ(b.end->received.find("outside"), std::string::npos) << text;
    }

    // Over 1 MB: refused as it arrives, nothing of it kept.
    Browser huge(rig.platform);
    huge.connect();
    const std::string line = "GET /stat HTTP/1.1\r\n";
    huge.send(line);
    for (int i = 0; i < 20; ++i) huge.send("X-Pad: " + std::string(64 * 1024, 'a') + "\r\n", i);
    rig.platform.runUntil([&] { return huge.closed(); });
    EXPECT_EQ(huge.end->received.rfind(kNotFound, 0), 0u);
    EXPECT_EQ(rig.server->pendingRequests(), 0u);

    // Ten thousand headers are under the limit: served.
    std::string many = "GET /stat HTTP/1.1\r\n";
    for (int i = 0; i < 10000; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
    Browser lots(rig.platform);
    lots.request(many + "\r\n");
    EXPECT_EQ(lots.body(), "page:/stat:");

    Browser fine(rig.platform);
    fine.request(Get("/stat"));
    EXPECT_EQ(fine.body(), "page:/stat:");
}

TEST(WebServer, PeerThatLeavesBeforeTheAnswerCostsNothing) {
    ServerRig rig;
    Browser b(rig.platform);
    b.connect();
    b.send(Get("/stat"));
    b.send("", 1);
    rig.platform.at(2, [&] { b.close(); });
    rig.platform.advance(500);
    EXPECT_EQ(rig.server->openSocketCount(), 0);
    EXPECT_EQ(rig.server->pendingRequests(), 0u);
    EXPECT_TRUE(rig.requests.empty());
}

TEST(WebServer, PortSetting) {
    ServerRig off("[UPB]\r\nHTTPPort=\"\"\r\n");
    EXPECT_EQ(off.server->port(), 0);
    EXPECT_TRUE(off.log.has("Web server off: the HTTPPort setting is empty"));
    EXPECT_EQ(off.platform.listener, nullptr);

    ServerRig any("[UPB]\r\nHTTPPort=0\r\n");
    EXPECT_EQ(any.port, 40123);  // any free port, reported
    EXPECT_TRUE(any.log.has("Web server listening on port 40123"));

    WebSimPlatform busy;
    busy.takenPort = 8016;
    TempDir dir;
    WriteFile(dir / "Config/Tarvelo.ini", "[UPB]\r\n");
    CapturingLog log;
    app::SettingsCache ini(dir / "Config", &log);
    WebServer server(busy, log, ini, dir.path(), dir / "HTML", {});
    server.Start();
    EXPECT_EQ(server.port(), 0);
    EXPECT_TRUE(log.has("Web server cannot listen on port 8016: the address is in use (10048)"));
}
