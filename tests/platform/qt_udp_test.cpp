#include <gtest/gtest.h>

#include "platform/qt/QtPlatform.h"
#include "support/QtTestApp.h"

using namespace tarvelo;

namespace {
template <class F>
bool PumpUntil(platform::Platform& p, F done, int ms) {
    auto timer = p.createTimer();
    timer->start(ms);
    bool timedOut = false;
    timer->setHandler([&] { timedOut = true; });
    while (!done() && !timedOut) p.pumpOnce();
    return done();
}
} // namespace

// Datagrams keep arriving after the first burst, also while a handler of the
// same socket is still running (the core may wait inside it).
TEST(PlatformQtUdp, DeliversEveryDatagramAcrossBursts) {
    tarvelo::testing::QtTestApp();
    platform::qt::QtPlatform p;
    auto rx = p.createUdpSocket();
    auto tx = p.createUdpSocket();
    uint16_t port = 0;
    for (uint16_t candidate = 41000; candidate < 41100 && !port; ++candidate)
        if (rx->bind("127.0.0.1", candidate) == 0) port = candidate;
    ASSERT_NE(port, 0);
    ASSERT_EQ(tx->bind("127.0.0.1", 0), 0);
    std::vector<std::string> got;
    rx->onDatagram = [&](const std::string& d) {
        got.push_back(d);
        if (got.size() == 1) PumpUntil(p, [&] { return false; }, 30);  // a nested wait
    };
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(tx->sendTo("127.0.0.1", port, "m" + std::to_string(round * 3 + i)), 0);
        EXPECT_TRUE(PumpUntil(p, [&] { return got.size() == static_cast<size_t>(round * 3 + 3); }, 2000)) << round;
    }
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(got.front(), "m0");
    EXPECT_EQ(got.back(), "m8");
    // A taken port is refused with the address-in-use number.
    auto other = p.createUdpSocket();
    EXPECT_EQ(other->bind("127.0.0.1", port), 10048);
}
