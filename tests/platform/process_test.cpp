// Starting programs and reading their exit, pinned on both implementations of
// the platform port.
#include <gtest/gtest.h>

#include "platform/PlatformHarness.h"

using namespace tarvelo;
using tarvelo::testing::ProgramCall;
using tarvelo::testing::PumpUntil;

namespace {

template <class H>
class PlatformProcess : public ::testing::Test {
protected:
    H h;
    platform::Platform& p() { return h.p; }

    // A process whose reported exit codes land in `exits`.
    std::unique_ptr<platform::Process> process() {
        auto process = p().createProcess();
        process->onFinished = [this](int code) { exits.push_back(code); };
        return process;
    }
    bool start(platform::Process& process, const ProgramCall& call, const std::string& folder = "") {
        return process.start(call.program, call.arguments, folder);
    }
    bool waitForExits(size_t n) {
        return PumpUntil(p(), [&] { return exits.size() >= n; }, 20000);
    }

    std::vector<int> exits;
};

} // namespace

using Implementations = ::testing::Types<tarvelo::testing::SimHarness, tarvelo::testing::QtHarness>;
TYPED_TEST_SUITE(PlatformProcess, Implementations);

TYPED_TEST(PlatformProcess, TheExitCodeArrivesThroughTheLoop) {
    auto process = this->process();
    ASSERT_TRUE(this->start(*process, this->h.exitingWith(3)));
    EXPECT_TRUE(process->running());
    EXPECT_FALSE(this->start(*process, this->h.exitingWith(4)));  // one program at a time
    EXPECT_TRUE(this->exits.empty());
    ASSERT_TRUE(this->waitForExits(1));
    EXPECT_EQ(this->exits, std::vector<int>{3});
    EXPECT_FALSE(process->running());

    // The same object starts the next program.
    ASSERT_TRUE(this->start(*process, this->h.exitingWith(0)));
    ASSERT_TRUE(this->waitForExits(2));
    EXPECT_EQ(this->exits, (std::vector<int>{3, 0}));
}

TYPED_TEST(PlatformProcess, RunsInTheGivenFolderWithItsArgumentsAsGiven) {
    auto process = this->process();
    const std::string folder = this->h.folder();
    ASSERT_TRUE(this->start(*process, this->h.checkingFolderAndArguments(folder), folder));
    ASSERT_TRUE(this->waitForExits(1));
    EXPECT_EQ(this->exits, std::vector<int>{0});
}

TYPED_TEST(PlatformProcess, AMissingProgramDoesNotStart) {
    auto process = this->process();
    EXPECT_FALSE(process->start("/nonexistent/tarvelo-no-such-program", {}, ""));
    EXPECT_FALSE(process->running());
    this->p().sleepPumping(50);
    EXPECT_TRUE(this->exits.empty());
}

TYPED_TEST(PlatformProcess, KillEndsARunningProgramAndReportsIt) {
    auto process = this->process();
    ASSERT_TRUE(this->start(*process, this->h.runningLong()));
    process->kill();
    ASSERT_TRUE(this->waitForExits(1));
    EXPECT_EQ(this->exits, std::vector<int>{-1});
    EXPECT_FALSE(process->running());

    // Dropping a running process ends it too, and nothing is reported later.
    auto dropped = this->process();
    ASSERT_TRUE(this->start(*dropped, this->h.runningLong()));
    dropped.reset();
    this->p().sleepPumping(50);
    EXPECT_EQ(this->exits.size(), 1u);
}
