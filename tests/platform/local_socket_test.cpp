// The local socket listener and client, pinned on both implementations of the
// platform port: how scripts in other processes reach the script host.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/PlatformHarness.h"

using namespace tarvelo;
using platform::StreamConnection;
using tarvelo::testing::PumpUntil;

namespace {

template <class H>
class PlatformLocalSocket : public ::testing::Test {
protected:
    H h;
    platform::Platform& p() { return h.p; }
    bool pumpUntil(const std::function<bool()>& done, int ms = 10000) { return PumpUntil(h.p, done, ms); }

    // Keeps what a listener accepts, with its handlers set.
    void accept(platform::LocalListener& listener) {
        listener.onConnection = [this](std::unique_ptr<StreamConnection> c) {
            c->onData = [this, conn = c.get()](const std::string& bytes) {
                serverGot += bytes;
                conn->send("ok:" + bytes);
            };
            c->onClosed = [this] { clientLeft = true; };
            accepted.push_back(std::move(c));
        };
    }

    std::vector<std::unique_ptr<StreamConnection>> accepted;
    std::string serverGot;
    bool clientLeft = false;
};

} // namespace

using Implementations = ::testing::Types<tarvelo::testing::SimHarness, tarvelo::testing::QtHarness>;
TYPED_TEST_SUITE(PlatformLocalSocket, Implementations);

TYPED_TEST(PlatformLocalSocket, ClientAndHostTalkThroughAPath) {
    const std::string path = this->h.socketPath("host.sock");
    auto listener = this->p().createLocalListener();
    ASSERT_TRUE(listener->listen(path));
    this->accept(*listener);

    auto client = this->p().connectLocal(path);
    ASSERT_TRUE(client);
    std::string clientGot;
    client->onData = [&](const std::string& bytes) { clientGot += bytes; };
    EXPECT_TRUE(client->send("hello"));  // at once, before the host has even accepted
    ASSERT_TRUE(this->pumpUntil([&] { return clientGot == "ok:hello"; })) << clientGot;
    EXPECT_EQ(this->serverGot, "hello");
    ASSERT_EQ(this->accepted.size(), 1u);
    EXPECT_EQ(this->accepted[0]->remoteAddress(), "local");

    client->close();
    EXPECT_TRUE(this->pumpUntil([&] { return this->clientLeft; }));
    EXPECT_FALSE(this->accepted[0]->isOpen());
}

TYPED_TEST(PlatformLocalSocket, NothingListeningIsRefusedAtOnce) {
    EXPECT_FALSE(this->p().connectLocal(this->h.socketPath("nobody.sock")));
    auto listener = this->p().createLocalListener();
    ASSERT_TRUE(listener->listen(this->h.socketPath("gone.sock")));
    listener->close();
    EXPECT_FALSE(this->p().connectLocal(this->h.socketPath("gone.sock")));
}

// A second host on the same path must not take over a live one; once the
// first has gone, the path is free.
TYPED_TEST(PlatformLocalSocket, APathInUseIsRefusedUntilItsListenerCloses) {
    const std::string path = this->h.socketPath("host.sock");
    auto first = this->p().createLocalListener();
    auto second = this->p().createLocalListener();
    ASSERT_TRUE(first->listen(path));
    EXPECT_FALSE(second->listen(path));

    first.reset();
    ASSERT_TRUE(second->listen(path));
    this->accept(*second);
    auto client = this->p().connectLocal(path);
    ASSERT_TRUE(client);
    client->send("again");
    EXPECT_TRUE(this->pumpUntil([&] { return this->serverGot == "again"; }));
}

// A run that ended without cleaning up leaves its socket file behind: the next
// one listens there all the same. Any other kind of file stays untouched.
TEST(PlatformQtLocalListener, ReplacesAStaleSocketFileButNoOtherFile) {
    tarvelo::testing::QtTestApp();
    platform::qt::QtPlatform p;
    tarvelo::testing::TempDir dir;
    const std::string stale = (dir / "stale.sock").string();
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);  // the file stays, nobody listens
    }
    ASSERT_TRUE(std::filesystem::exists(stale));
    auto listener = p.createLocalListener();
    EXPECT_TRUE(listener->listen(stale));
    bool accepted = false;
    listener->onConnection = [&](std::unique_ptr<StreamConnection>) { accepted = true; };
    auto client = p.connectLocal(stale);
    ASSERT_TRUE(client);
    EXPECT_TRUE(PumpUntil(p, [&] { return accepted; }));

    const auto notASocket = dir / "notes.txt";
    tarvelo::testing::WriteFile(notASocket, "keep me");
    auto other = p.createLocalListener();
    EXPECT_FALSE(other->listen(notASocket.string()));
    EXPECT_EQ(tarvelo::testing::ReadFile(notASocket), "keep me");
}
