// Sleep-with-pumping and the monotonic clock, pinned on both implementations
// of the platform port.
#include <gtest/gtest.h>

#include "platform/PlatformHarness.h"

using namespace tarvelo;

namespace {
template <class H>
class PlatformSleepAndClock : public ::testing::Test {
protected:
    H h;
    platform::Platform& p() { return h.p; }
};
} // namespace

using Implementations = ::testing::Types<tarvelo::testing::SimHarness, tarvelo::testing::QtHarness>;
TYPED_TEST_SUITE(PlatformSleepAndClock, Implementations);

// A script's pause (here inside a timer handler) must not stop the gateway:
// posted calls and other timers run meanwhile, and the pause lasts its time.
TYPED_TEST(PlatformSleepAndClock, SleepPumpingKeepsTheLoopRunningForItsTime) {
    auto other = this->p().createTimer();
    int otherTicks = 0;
    other->setHandler([&] { ++otherTicks; });
    other->start(10);

    auto outer = this->p().createTimer();
    bool posted = false;
    int64_t slept = -1;
    outer->setHandler([&] {
        outer->setEnabled(false);
        this->p().post([&] { posted = true; });
        const int64_t before = this->p().monotonicMillis();
        this->p().sleepPumping(60);
        slept = this->p().monotonicMillis() - before;
    });
    outer->start(1);
    ASSERT_TRUE(tarvelo::testing::PumpUntil(this->p(), [&] { return slept >= 0; }));
    EXPECT_TRUE(posted);
    EXPECT_GE(otherTicks, 1);
    EXPECT_GE(slept, 60 - TypeParam::kEarlyMs);

    const int64_t before = this->p().monotonicMillis();
    this->p().sleepPumping(0);  // returns at once
    EXPECT_GE(this->p().monotonicMillis(), before);
}

// Half an hour of pausing costs nothing in virtual time, and the monotonic
// clock moves with the wall clock of the simulation.
TEST(SimPlatform, SleepPumpingRunsInVirtualTime) {
    sim::SimPlatform p;
    const int64_t wall = p.clock().localMillis();
    const int64_t mono = p.monotonicMillis();
    p.sleepPumping(30 * 60 * 1000);
    EXPECT_EQ(p.monotonicMillis() - mono, 30 * 60 * 1000);
    EXPECT_EQ(p.clock().localMillis() - wall, 30 * 60 * 1000);
}
