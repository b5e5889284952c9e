// The last-resort catch at the port's edge, pinned on both implementations:
// a handler that throws leaves one reported line, and the loop goes on.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/PlatformHarness.h"

using namespace tarvelo;
using platform::StreamConnection;
using tarvelo::testing::PumpUntil;

namespace {

template <class H>
class PlatformHandlerFailure : public ::testing::Test {
protected:
    PlatformHandlerFailure() {
        h.p.setErrorReporter([this](const std::string& line) { reports.push_back(line); });
    }
    platform::Platform& p() { return h.p; }
    bool pumpUntil(const std::function<bool()>& done) { return PumpUntil(h.p, done, 10000); }
    // One line per failure, naming what was thrown.
    void expectReported(const std::string& message) {
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(message), std::string::npos) << reports[0];
        reports.clear();
    }

    H h;
    std::vector<std::string> reports;
};

} // namespace

using Implementations = ::testing::Types<tarvelo::testing::SimHarness, tarvelo::testing::QtHarness>;
TYPED_TEST_SUITE(PlatformHandlerFailure, Implementations);

TYPED_TEST(PlatformHandlerFailure, AThrowingTimerIsReportedOnceAndKeepsTicking) {
    auto timer = this->p().createTimer();
    int ticks = 0;
    timer->setHandler([&] {
        if (++ticks == 1) throw std::runtime_error("tick failed");
    });
    timer->start(5);
    ASSERT_TRUE(this->pumpUntil([&] { return ticks >= 3; }));
    this->expectReported("tick failed");
}

TYPED_TEST(PlatformHandlerFailure, AThrowingPostedCallIsReportedAndTheNextOneRuns) {
    bool next = false;
    this->p().post([] { throw 42; });  // not even a std::exception
    this->p().post([&] { next = true; });
    ASSERT_TRUE(this->pumpUntil([&] { return next; }));
    this->expectReported("unknown exception");
}

// A failing data handler costs that delivery only: the connection and its
// listener go on, and so does a listener whose connection handler failed.
TYPED_TEST(PlatformHandlerFailure, AThrowingConnectionHandlerIsReportedAndTheConnectionGoesOn) {
    auto listener = this->p().createTcpListener();
    ASSERT_EQ(listener->listen("127.0.0.1", 0), 0);
    std::vector<std::unique_ptr<StreamConnection>> kept;
    int connections = 0;
    listener->onConnection = [&](std::unique_ptr<StreamConnection> c) {
        if (++connections == 1) throw std::runtime_error("accept failed");
        c->onData = [conn = c.get()](const std::string& bytes) {
            if (bytes.find("bad") != std::string::npos) throw std::runtime_error("request failed");
            conn->send("fine");
        };
        kept.push_back(std::move(c));
    };

    auto refused = this->h.connect(listener->port());
    ASSERT_TRUE(this->pumpUntil([&] { return refused->closedByServer(); }));
    this->expectReported("accept failed");

    auto client = this->h.connect(listener->port());
    client->send("bad");
    ASSERT_TRUE(this->pumpUntil([&] { return !this->reports.empty(); }));
    this->expectReported("request failed");
    client->send("good");
    ASSERT_TRUE(this->pumpUntil([&] { return client->received() == "fine"; }));
    EXPECT_TRUE(this->reports.empty());
}

TYPED_TEST(PlatformHandlerFailure, AThrowingDatagramHandlerIsReportedAndTheNextArrives) {
    auto rx = this->p().createUdpSocket();
    auto tx = this->p().createUdpSocket();
    uint16_t port = 0;
    for (uint16_t candidate = 41200; candidate < 41300 && !port; candidate += 2)
        if (rx->bind("127.0.0.1", candidate) == 0 && tx->bind("127.0.0.1", candidate + 1) == 0) port = candidate;
    ASSERT_NE(port, 0);
    std::vector<std::string> got;
    rx->onDatagram = [&](const std::string& d) {
        got.push_back(d);
        if (d == "bad") throw std::runtime_error("datagram failed");
    };
    EXPECT_EQ(tx->sendTo("127.0.0.1", port, "bad"), 0);
    ASSERT_TRUE(this->pumpUntil([&] { return got.size() == 1; }));
    EXPECT_EQ(tx->sendTo("127.0.0.1", port, "good"), 0);
    ASSERT_TRUE(this->pumpUntil([&] { return got.size() == 2; }));
    this->expectReported("datagram failed");
}

TYPED_TEST(PlatformHandlerFailure, AThrowingProcessHandlerIsReported) {
    auto process = this->p().createProcess();
    bool finished = false;
    process->onFinished = [&](int) {
        finished = true;
        throw std::runtime_error("exit handling failed");
    };
    const auto call = this->h.exitingWith(0);
    ASSERT_TRUE(process->start(call.program, call.arguments, ""));
    ASSERT_TRUE(this->pumpUntil([&] { return finished; }));
    this->expectReported("exit handling failed");
}
