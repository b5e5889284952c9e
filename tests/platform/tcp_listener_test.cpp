// The TCP listener and its connections, pinned on both implementations of the
// platform port: what the web server relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/PlatformHarness.h"

using namespace tarvelo;
using platform::StreamConnection;
using tarvelo::testing::PumpUntil;

namespace {

std::string Pattern(size_t size, size_t seed = 0) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i + seed) % 251);
    return s;
}

template <class H>
class PlatformTcpListener : public ::testing::Test {
protected:
    H h;
    platform::Platform& p() { return h.p; }
    bool pumpUntil(const std::function<bool()>& done, int ms = 10000) { return PumpUntil(h.p, done, ms); }

    // Listens on loopback, any port; `prepare` sets the handlers of each
    // accepted connection, which is then kept in `accepted`.
    uint16_t listen(std::function<void(StreamConnection&)> prepare) {
        listener = p().createTcpListener();
        EXPECT_EQ(listener->listen("127.0.0.1", 0), 0);
        listener->onConnection = [this, prepare](std::unique_ptr<StreamConnection> c) {
            prepare(*c);
            accepted.push_back(std::move(c));
        };
        EXPECT_NE(listener->port(), 0);
        return listener->port();
    }

    std::vector<std::unique_ptr<StreamConnection>> accepted;
    std::unique_ptr<platform::TcpListener> listener;
};

} // namespace

using Implementations = ::testing::Types<tarvelo::testing::SimHarness, tarvelo::testing::QtHarness>;
TYPED_TEST_SUITE(PlatformTcpListener, Implementations);

// A request in two pieces, a response in two sends, send-complete, an orderly
// close; and a second client gets its own answer.
TYPED_TEST(PlatformTcpListener, AnswersEachClientAndClosesInOrder) {
    std::map<StreamConnection*, std::string> requests;
    int completes = 0;
    const uint16_t port = this->listen([&](StreamConnection& c) {
        c.onData = [&, conn = &c](const std::string& bytes) {
            std::string& request = requests[conn];
            request += bytes;
            if (request.size() < 4 || request.compare(request.size() - 4, 4, "\r\n\r\n") != 0) return;
            conn->send("HTTP/1.0 200 OK\r\n\r\n");
            conn->send("for " + request.substr(0, request.find(' ')));
        };
        c.onSendComplete = [&] { ++completes; };
    });

    auto first = this->h.connect(port);
    auto second = this->h.connect(port);
    ASSERT_TRUE(first && second);
    first->send("GET / HTTP/1.0\r\n");
    first->send("\r\n");
    second->send("POST / HTTP/1.0\r\n\r\n");
    const std::string firstAnswer = "HTTP/1.0 200 OK\r\n\r\nfor GET";
    const std::string secondAnswer = "HTTP/1.0 200 OK\r\n\r\nfor POST";
    ASSERT_TRUE(this->pumpUntil([&] {
        return first->received() == firstAnswer && second->received() == secondAnswer && completes >= 2;
    })) << first->received() << " / " << second->received();
    ASSERT_EQ(this->accepted.size(), 2u);
    for (auto& c : this->accepted) {
        EXPECT_EQ(c->remoteAddress(), "127.0.0.1");
        EXPECT_TRUE(c->isOpen());
    }

    this->accepted[0]->close();
    EXPECT_FALSE(this->accepted[0]->isOpen());
    EXPECT_FALSE(this->accepted[0]->send("late"));
    this->accepted.clear();  // the second is dropped without close: aborted, but closed all the same
    EXPECT_TRUE(this->pumpUntil([&] { return first->closedByServer() && second->closedByServer(); }));
    EXPECT_EQ(first->received(), firstAnswer);
}

// The web server closes right after handing over a large body: every byte
// still reaches the browser, in order, before the close.
TYPED_TEST(PlatformTcpListener, CloseAfterALargeSendDeliversEverything) {
    const std::string body = Pattern(8u << 20);
    const uint16_t port = this->listen([&](StreamConnection& c) {
        c.onData = [&, conn = &c](const std::string&) {
            EXPECT_TRUE(conn->send(body));  // close() ends the deliveries: this runs once
            conn->close();
            // and the owner lets go of it at once
            this->p().post([this] { this->accepted.clear(); });
        };
    });
    auto client = this->h.connect(port);
    client->send("GET /big HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(this->pumpUntil([&] { return client->closedByServer(); }, 30000));
    EXPECT_EQ(client->received().size(), body.size());
    EXPECT_TRUE(client->received() == body);
}

// A file sent in chunks from inside the request handler, each chunk after the
// previous one's send-complete: the completes arrive during the handler's wait.
TYPED_TEST(PlatformTcpListener, PacedSendingWaitsForEachSendComplete) {
    const size_t kChunk = 64 * 1024, kChunks = 32;
    const std::string file = Pattern(kChunk * kChunks, 7);
    size_t chunksSent = 0;
    const uint16_t port = this->listen([&](StreamConnection& c) {
        c.onData = [&, conn = &c](const std::string&) {
            bool complete = false;
            conn->onSendComplete = [&] { complete = true; };
            for (size_t at = 0; at < file.size() && conn->isOpen(); at += kChunk) {
                complete = false;
                ASSERT_TRUE(conn->send(file.substr(at, kChunk)));
                ++chunksSent;
                while (!complete && conn->isOpen()) this->p().pumpOnce();
            }
            conn->onSendComplete = nullptr;
            conn->close();
        };
    });
    auto client = this->h.connect(port);
    client->send("GET /file.bin HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(this->pumpUntil([&] { return client->closedByServer(); }, 30000));
    EXPECT_EQ(chunksSent, kChunks);
    EXPECT_TRUE(client->received() == file);
}

// Bytes that arrive while onData is still running (waiting inside) come in
// one more onData after it returns: never nested, never left unread.
TYPED_TEST(PlatformTcpListener, DataArrivingDuringAHandlerComesAfterItReturns) {
    std::vector<std::string> deliveries;
    int depth = 0, maxDepth = 0;
    std::unique_ptr<tarvelo::testing::TestClient> client;
    bool clientSentMore = false;
    const uint16_t port = this->listen([&](StreamConnection& c) {
        c.onData = [&, conn = &c](const std::string& bytes) {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            deliveries.push_back(bytes);
            if (deliveries.size() == 1) {
                conn->send("first part");
                // Wait inside the handler until the client has sent more, and
                // a little longer, so that it reaches us meanwhile.
                ASSERT_TRUE(PumpUntil(this->p(), [&] { return clientSentMore; }));
                this->p().sleepPumping(50);
            }
            --depth;
        };
    });
    client = this->h.connect(port);
    // The client answers the first part with more of its own.
    auto reply = this->p().createTimer();
    reply->setHandler([&] {
        if (clientSentMore || client->received().empty()) return;
        client->send("more");
        clientSentMore = true;
    });
    reply->start(5);
    client->send("start");
    ASSERT_TRUE(this->pumpUntil([&] { return deliveries.size() >= 2; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(deliveries, (std::vector<std::string>{"start", "more"}));
}

// The peer's close is reported after the bytes it sent before closing; the
// connection is closed from then on.
TYPED_TEST(PlatformTcpListener, PeerCloseComesAfterItsData) {
    std::vector<std::string> events;
    const uint16_t port = this->listen([&](StreamConnection& c) {
        c.onData = [&](const std::string& bytes) { events.push_back("data:" + bytes); };
        c.onClosed = [&] { events.push_back("closed"); };
    });
    auto client = this->h.connect(port);
    client->send("bye");
    client->close();
    ASSERT_TRUE(this->pumpUntil([&] { return !events.empty() && events.back() == "closed"; }));
    EXPECT_EQ(events, (std::vector<std::string>{"data:bye", "closed"}));
    ASSERT_EQ(this->accepted.size(), 1u);
    EXPECT_FALSE(this->accepted[0]->isOpen());
    EXPECT_FALSE(this->accepted[0]->send("too late"));
}

// A connection does not depend on the listener that accepted it.
TYPED_TEST(PlatformTcpListener, AcceptedConnectionsOutliveTheListener) {
    const uint16_t port = this->listen([](StreamConnection& c) {
        c.onData = [conn = &c](const std::string& bytes) { conn->send("echo:" + bytes); };
    });
    auto client = this->h.connect(port);
    client->send("one");
    ASSERT_TRUE(this->pumpUntil([&] { return client->received() == "echo:one"; }));
    this->listener.reset();
    client->send("two");
    ASSERT_TRUE(this->pumpUntil([&] { return client->received() == "echo:oneecho:two"; }));
    EXPECT_FALSE(client->closedByServer());
}

TYPED_TEST(PlatformTcpListener, ListenFailuresCarryTheSocketErrorNumber) {
    auto first = this->p().createTcpListener();
    ASSERT_EQ(first->listen("127.0.0.1", 0), 0);
    const uint16_t port = first->port();

    auto second = this->p().createTcpListener();
    EXPECT_EQ(second->listen("127.0.0.1", port), 10048);
    EXPECT_EQ(second->port(), 0);
    EXPECT_EQ(second->listen(this->h.foreignAddress(), 0), 10049);
    EXPECT_EQ(second->listen("not an address", 0), 10049);

    first.reset();  // frees the port
    EXPECT_EQ(second->listen("127.0.0.1", port), 0);
    EXPECT_EQ(second->port(), port);
    second->close();
    EXPECT_EQ(second->port(), 0);
}
