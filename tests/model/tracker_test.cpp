#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "common/VbDate.h"
#include "model/ModelTestUtil.h"
#include "model/Tracker.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

namespace tarvelo::model {
namespace {

using testing::AddLink;
using testing::AddModule;
using testing::AddState;

struct Tracking : ::testing::Test {
    sim::SimPlatform platform;
    testing::CapturingLog log;
    Network net;
    std::vector<std::shared_ptr<UPBLinkState>> notified;
    std::vector<std::string> pollsRemoved;
    bool started = true;
    Tracker tracker{net, log, platform,
                    {.NotifyUPBState = [this](const auto& s) { notified.push_back(s); },
                     .RemovePendingStatusRequests = [this](const std::string& id) { pollsRemoved.push_back(id); },
                     .initialised = [this] { return started; }}};

    // A state report from a device (hex id), with two data bytes.
    void report(const std::string& idHex, const std::string& data) {
        tracker.UPBReceive("0800C2FF" + idHex + "86" + data + "00");
    }
    void link(const std::string& mdid, const std::string& linkHex) {
        tracker.UPBReceive("8905FA" + linkHex + "12" + mdid + "FFFF47");
    }
    int64_t seconds(int64_t s) { return s * 1000; }
};

TEST_F(Tracking, LinkCommandsMoveEveryUsedStateOfTheModulesOnTheLink) {
    auto sw = AddModule(net, "18", 2);
    auto onOtherLink = AddState(sw, 255, "9");
    onOtherLink->Used = true;
    auto unused = AddState(sw, 255, "1");
    auto ioState = AddState(AddModule(net, "30", 5), 1, "1");
    ioState->Used = true;
    AddLink(net, "1", {"18", "30", "77"});  // 77: a module the import never reached

    link("20", "01");
    EXPECT_EQ(onOtherLink->Value, 100);
    EXPECT_EQ(unused->Value, 0);
    EXPECT_EQ(ioState->Value, 0);  // kind 5 follows only its state reports
    EXPECT_EQ(notified.size(), 1u);
    // Devices send each packet twice, about a third of a second apart: the
    // repeat is stamped but not announced; the same value later is.
    platform.advance(500);
    link("20", "01");
    EXPECT_EQ(notified.size(), 1u);
    EXPECT_EQ(onOtherLink->LastChange, DateFromLocalMillis(platform.now()));
    platform.advance(2000);
    link("20", "01");
    EXPECT_EQ(notified.size(), 2u);
    EXPECT_EQ(onOtherLink->Sequence, 2);

    link("21", "01");
    EXPECT_EQ(onOtherLink->Value, 0);
    EXPECT_EQ(net.StateSequence, 3);
    EXPECT_TRUE(log.entries.empty());

    link("20", "0C");
    EXPECT_TRUE(log.has("Received Unrecognized Link Command 20 / 8905FA0C1220FFFF47"));
    EXPECT_TRUE(pollsRemoved.empty());
}

TEST_F(Tracking, StatusBitReportsSetEachStateFromItsMask) {
    auto io = AddModule(net, "30", 5);
    auto a = AddState(io, 1, "21"), b = AddState(io, 256, "23"), untracked = AddState(io, 0, "40");
    a->Value = 1;
    untracked->Value = 1;
    report("1E", "0100");
    EXPECT_EQ(pollsRemoved, std::vector<std::string>{"30"});
    EXPECT_EQ(b->Value, 1);
    EXPECT_EQ(a->Value, 0);
    EXPECT_EQ(untracked->Value, 0);  // a mask of 0 is forced off by every report
    EXPECT_EQ(notified.size(), 3u);

    // A first data byte of 0x80 or more is a valid status word (Rain8 valves use every bit).
    auto valve = AddState(AddModule(net, "65", 8), -1, "R65");
    report("41", "8000");
    EXPECT_EQ(valve->Value, 1);
    report("41", "0000");
    EXPECT_EQ(valve->Value, 0);
    EXPECT_TRUE(log.entries.empty());

    // Unknown devices only clear their pending polls.
    notified.clear();
    report("63", "FFFF");
    EXPECT_EQ(pollsRemoved.back(), "99");
    EXPECT_TRUE(notified.empty());
}

TEST_F(Tracking, DimmerReportsCarryTheLevelWithoutStampingOrNumbering) {
    auto sw = AddModule(net, "9", 2);
    auto own = AddState(sw, 255, "-1"), other = AddState(sw, 255, "5");
    own->Value = other->Value = 40;
    tracker.UPBReceive("0800C2FF09862876");
    EXPECT_TRUE(notified.empty());
    own->Value = other->Value = 0;
    tracker.UPBReceive("0800C2FF09862876");
    EXPECT_EQ(own->Value, 40);
    EXPECT_EQ(other->Value, 40);
    EXPECT_EQ(notified.size(), 2u);
    EXPECT_EQ(own->Sequence, 0);
    EXPECT_EQ(own->LastChange, 0);
    EXPECT_EQ(net.StateSequence, 0);
}

// A device sends each packet twice about 350 ms apart. The stamp is a whole
// second (rounded), so the repeat can lie "before" it; that is no new day.
TEST_F(Tracking, ARepeatWithinASecondIsAnnouncedOnceAndOnlyANewDayWraps) {
    struct Case {
        const char* first;  // local time of the first report
        int64_t gapMs;
        size_t events;
    };
    const int64_t midnight = sim::SimPlatform::kDefaultStart - 7LL * 3600 * 1000;  // 2026-12-06 00:00
    auto at = [&](const char* hms) {
        int h = 0, m = 0, sec = 0, ms = 0;
        std::sscanf(hms, "%d:%d:%d.%d", &h, &m, &sec, &ms);
        return midnight + ((h * 60LL + m) * 60 + sec) * 1000 + ms;
    };
    for (const Case& c : {Case{"07:00:00.550", 350, 1}, Case{"07:00:00.200", 350, 1}, Case{"07:00:00.600", 900, 1},
                          Case{"23:59:59.700", 600, 1}, Case{"23:59:59.000", 2000, 2},
                          Case{"07:00:00.400", 86400000 - 100, 2}, Case{"07:00:00.550", 2000, 2}}) {
        sim::SimPlatform clock(at(c.first));
        Network n;
        std::vector<int32_t> sequences;
        Tracker::Callbacks callbacks;
        callbacks.NotifyUPBState = [&](const auto& s) { sequences.push_back(s->Sequence); };
        Tracker t(n, log, clock, callbacks);
        auto s = AddState(AddModule(n, "5", 3), 255, "-1");
        s->Used = true;
        AddLink(n, "1", {"5"});
        t.UPBReceive("8905FA011220FFFF47");
        clock.advance(c.gapMs);
        t.UPBReceive("8905FA011220FFFF47");
        EXPECT_EQ(sequences.size(), c.events) << c.first << " +" << c.gapMs << " ms";
        EXPECT_EQ(n.StateSequence, static_cast<int32_t>(c.events)) << c.first;
        EXPECT_EQ(s->LastChange, DateFromLocalMillis(clock.now())) << c.first;  // always stamped
    }
    EXPECT_TRUE(log.entries.empty());
}

struct DelayOff : Tracking {
    std::shared_ptr<UPBLinkState> input;
    void SetUp() override {
        Tracking::SetUp();
        auto io = AddModule(net, "30", 5);
        input = AddState(io, 512, "110", 2);
        tracker.AddDelayTimer(input);
    }
    void on() { report("1E", "0200"); }
    void off() { report("1E", "0000"); }
};

TEST_F(DelayOff, TheInputStaysOnForExactlyTheDelay) {
    struct Case {
        int delay, interval, minutes;
    };
    for (const Case& c : {Case{90, 30000, 1}, Case{120, 60000, 1}, Case{60, 60000, 0}}) {
        input->Delay = std::to_string(c.delay);
        on();
        EXPECT_EQ(tracker.delayTimerInterval(1), c.interval) << c.delay;
        EXPECT_EQ(tracker.delayMinutes(1), c.minutes) << c.delay;
        platform.advance(seconds(c.delay) - 1000);
        EXPECT_EQ(input->Value, 1) << c.delay;
        platform.advance(1000);
        EXPECT_EQ(input->Value, 0) << c.delay;
        EXPECT_FALSE(tracker.delayTimerRunning(1));
    }
}

TEST_F(DelayOff, OffReportsAreHeldBackARetriggerRestartsTheIntervalAndTheEndIsAnnouncedOnce) {
    input->Delay = "90";
    on();
    platform.advance(seconds(10));
    off();
    EXPECT_EQ(input->Value, 1);
    platform.advance(seconds(10));
    tracker.SetLinkStateValue(input, 1);  // restarts the 30 s interval; the minute still to run stays
    EXPECT_EQ(notified.size(), 1u);
    platform.advance(seconds(89));
    EXPECT_EQ(input->Value, 1);
    platform.advance(seconds(1));
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(input->Value, 0);
    EXPECT_EQ(input->Sequence, 2);
    EXPECT_EQ(input->LastChange, DateFromLocalMillis(platform.now()));
    platform.advance(seconds(600));
    EXPECT_EQ(notified.size(), 2u);  // stopped for good
}

TEST_F(DelayOff, OffGoesThroughWithoutADelayOrDuringStartUpAndInvertedStatesEndOn) {
    for (const std::string delay : {"", "60"}) {
        input->Delay = delay;
        started = delay.empty();  // with a delay, off is held only once start-up has finished
        on();
        off();
        EXPECT_EQ(input->Value, 0) << delay;
    }
    started = true;
    input->Invert = true;
    tracker.SetLinkStateValue(input, 0);  // effectively on
    EXPECT_TRUE(tracker.delayTimerRunning(1));
    platform.advance(seconds(60));
    EXPECT_EQ(input->Value, 1);
}

TEST_F(DelayOff, ClearingTimersReleasesTheirStates) {
    input->Delay = "90";
    on();
    tracker.ClearDelayTimers();
    EXPECT_EQ(input->Timerindex, 0);
    EXPECT_EQ(tracker.delayTimerCount(), 0u);
    platform.advance(seconds(5));
    off();
    EXPECT_EQ(input->Value, 0);
    platform.advance(seconds(200));  // the old timer never fires
    EXPECT_EQ(notified.size(), 2u);
}

TEST_F(Tracking, SequenceOverflowIsLoggedAndDropsTheRestOfThePacket) {
    auto io = AddModule(net, "30", 5);
    auto a = AddState(io, 1, "21"), b = AddState(io, 2, "22");
    net.StateSequence = std::numeric_limits<int32_t>::max();
    report("1E", "0003");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("UPBReceive Line ", 0), 0u);
    EXPECT_NE(log.entries[0].second.find("Overflow"), std::string::npos);
    EXPECT_EQ(b->Value, 0);
    // A report cut short or holding other than hex digits changes nothing:
    // reading the missing bytes as 0 would switch the device's states off.
    log.entries.clear();
    net.StateSequence = 0;
    a->Value = 1;
    for (const char* p : {"", "08", "0800C2FF09", "0800C2FF1E86", "zzzzzzzzzz86", "0800C2FF1E86\xff", "0800C2FF1E860G00"})
        tracker.UPBReceive(p);
    EXPECT_EQ(a->Value, 1);
    EXPECT_EQ(log.entries.size(), 4u);
    for (const auto& e : log.entries) EXPECT_EQ(e.second.rfind("UPBReceive Line ", 0), 0u) << e.second;
}

} // namespace
} // namespace tarvelo::model
