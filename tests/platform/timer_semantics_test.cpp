// The same window-timer semantics, pinned on both implementations of the
// platform port: Qt (real time) and the simulation (virtual time).
#include <gtest/gtest.h>

#include "platform/qt/QtPlatform.h"
#include "sim/SimPlatform.h"
#include "support/QtTestApp.h"

using namespace tarvelo;
using platform::Platform;

namespace {

struct QtHarness {
    QtHarness() { tarvelo::testing::QtTestApp(); }
    platform::qt::QtPlatform p;
};
struct SimHarness {
    sim::SimPlatform p;
};

template <class H>
class PlatformTimerSemantics : public ::testing::Test {
protected:
    H h;
    Platform& p() { return h.p; }
    int64_t now() { return h.p.clock().localMillis(); }
    // Pumps until done() or `ms` have passed (a watchdog timer ends the wait).
    void pumpUntil(const std::function<bool()>& done, int ms) {
        auto watchdog = p().createTimer();
        bool expired = false;
        watchdog->setHandler([&] { expired = true; });
        watchdog->start(ms);
        while (!done() && !expired) p().pumpOnce();
    }
    void pumpFor(int ms) { pumpUntil([] { return false; }, ms); }
};

} // namespace

using Implementations = ::testing::Types<SimHarness, QtHarness>;
TYPED_TEST_SUITE(PlatformTimerSemantics, Implementations);

TYPED_TEST(PlatformTimerSemantics, TicksRepeatedlyWhileEnabled) {
    auto t = this->p().createTimer();
    int ticks = 0;
    t->setHandler([&] { ++ticks; });
    const int64_t start = this->now();
    t->start(30);
    this->pumpUntil([&] { return ticks >= 3; }, 2000);
    EXPECT_GE(ticks, 3);
    EXPECT_GE(this->now() - start, 90 - 5);
    t->setEnabled(false);
    const int before = ticks;
    this->pumpFor(100);
    EXPECT_EQ(ticks, before);
}

TYPED_TEST(PlatformTimerSemantics, IntervalZeroNeverTicks) {
    auto t = this->p().createTimer();
    int ticks = 0;
    t->setHandler([&] { ++ticks; });
    t->setInterval(0);
    t->setEnabled(true);
    EXPECT_TRUE(t->enabled());
    this->pumpFor(80);
    EXPECT_EQ(ticks, 0);
}

// Timer a (100 ms) is touched by timer b's handler at 60 ms: a restart
// moves a's first tick to 160 ms, after the reference timer r (130 ms);
// anything else leaves it at 100 ms, before r. The order of the two ticks
// tells them apart however late a loaded machine runs them.
TYPED_TEST(PlatformTimerSemantics, WhatRestartsARunningTimer) {
    struct Case {
        const char* what;
        std::function<void(platform::Timer&)> touch;
        bool restarts;
    };
    const Case cases[] = {
        {"setInterval, same value", [](platform::Timer& a) { a.setInterval(100); }, true},
        {"setEnabled(true) while enabled", [](platform::Timer& a) { a.setEnabled(true); }, false},
        {"disable, then enable", [](platform::Timer& a) { a.setEnabled(false); a.setEnabled(true); }, true},
    };
    for (const Case& c : cases) {
        auto a = this->p().createTimer();
        auto b = this->p().createTimer();
        auto r = this->p().createTimer();
        std::string order;
        a->setHandler([&] {
            order += 'a';
            a->setEnabled(false);
        });
        r->setHandler([&] {
            order += 'r';
            r->setEnabled(false);
        });
        b->setHandler([&] {
            c.touch(*a);
            b->setEnabled(false);
        });
        a->start(100);
        b->start(60);
        r->start(130);
        this->pumpUntil([&] { return order.size() == 2; }, 3000);
        EXPECT_EQ(order, c.restarts ? "ra" : "ar") << c.what;
    }
}

TYPED_TEST(PlatformTimerSemantics, NoTickReentersItsOwnHandlerDuringAWait) {
    auto a = this->p().createTimer();
    auto b = this->p().createTimer();
    int ticks = 0, depth = 0, maxDepth = 0;
    bool waited = false;
    a->setHandler([&] {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (!waited) {
            waited = true;
            // Wait, processing events, for a timer five intervals away.
            b->setHandler([&] { b->setEnabled(false); });
            b->start(100);
            while (b->enabled()) this->p().pumpOnce();
        }
        --depth;
    });
    a->start(20);
    this->pumpUntil([&] { return ticks >= 3; }, 3000);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(ticks, 3);  // and it goes on ticking afterwards
}

TYPED_TEST(PlatformTimerSemantics, AHandlerMayStopItsOwnTimer) {
    auto a = this->p().createTimer();
    int ticks = 0;
    a->setHandler([&] {
        ++ticks;
        a->setEnabled(false);
    });
    a->start(10);
    this->pumpFor(120);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(a->enabled());
}

TYPED_TEST(PlatformTimerSemantics, PostedCallsRunFromTheLoopInOrder) {
    std::vector<int> order;
    this->p().post([&] { order.push_back(1); });
    this->p().post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    this->pumpUntil([&] { return order.size() == 2; }, 1000);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SimPlatform, AWaitThatCanNeverEndFailsInsteadOfHanging) {
    sim::SimPlatform p;
    EXPECT_THROW(p.pumpOnce(), sim::SimStalled);
    auto t = p.createTimer();
    t->setHandler([&] { p.pumpOnce(); });  // waits for nothing but itself
    t->start(10);
    EXPECT_THROW(p.pumpOnce(), sim::SimStalled);
}
