// Status polling: what a command schedules, when the polls run, what
// GetUPBState waits for, and the start-up round.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using namespace tarvelo::upb;

namespace {

class StatusPollerTest : public tarvelo::testing::UpbTest {
protected:
    void SetUp() override {
        openSerial();
        net.pim.onFrame = [this, answer = net.pim.onFrame](const std::string& f) {
            frameTimes.push_back(p.now());
            answer(f);
        };
    }
    StatusPoller& poller() { return upb.poller(); }
    std::vector<std::string> pendingIds() const {
        std::vector<std::string> ids;
        for (auto& r : const_cast<StatusPollerTest*>(this)->upb.poller().pending()) ids.push_back(r.ModuleID);
        return ids;
    }
    static std::string Request(const std::string& hexId) {
        const std::string packet = "071001" + hexId + "FF30";
        return packet + Checksum(packet);
    }
    std::vector<int64_t> frameTimes;
};

TEST_F(StatusPollerTest, ALinkCommandOfTheSceneModulePollsEveryDeviceOnTheLinkTenSecondsLater) {
    const int64_t start = p.now();
    upb.SendUPBCommand(status(sceneState, 100), true, 7, true, -1, -1);
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"12", "15"}));
    EXPECT_TRUE(poller().StatusRequestTimer().enabled());
    EXPECT_EQ(poller().pending()[0].dueMillis, p.now() + 10000);

    p.runUntil([this] { return !poller().StatusRequestTimer().enabled(); }, 60000);
    EXPECT_TRUE(poller().pending().empty());
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[1], Request("0C"));
    EXPECT_EQ(sent()[2], Request("0F"));
    EXPECT_GE(frameTimes[1] - start, 10000);
    EXPECT_LT(frameTimes[1] - start, 11100);
}

TEST_F(StatusPollerTest, OnlyLinkCommandsToSwitchesScheduleTheSwitch) {
    upb.SendUPBCommand(status(switchState, 100), false, 5, true, 100, kGoTo);  // direct
    EXPECT_TRUE(poller().pending().empty());
    EXPECT_FALSE(poller().StatusRequestTimer().enabled());
    upb.SendUPBCommand(status(inputState, 100), true, 9, true, -1, -1);  // kind 3
    EXPECT_TRUE(poller().pending().empty());
    upb.SendUPBCommand(status(switchState, 100), true, 9, true, -1, -1);
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"5"}));
}

TEST_F(StatusPollerTest, RequestsDueAtTheSameTickRunInCollectionOrder) {
    const int64_t now = p.now();
    poller().Add("15", now + 500);
    poller().Add("5", now + 100);
    poller().Add("12", now + 5000);
    poller().StatusRequestTimer().setEnabled(true);
    p.runUntil([this] { return !poller().StatusRequestTimer().enabled(); }, 60000);
    EXPECT_EQ(sent(), (std::vector<std::string>{Request("0F"), Request("05"), Request("0C")}));
}

TEST_F(StatusPollerTest, AReportRemovesTheModulesPendingPolls) {
    upb.SendUPBCommand(status(sceneState, 100), true, 7, true, -1, -1);
    upb.SendUPBCommand(status(sceneState, 0), true, 7, false, -1, -1);
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"12", "15", "12", "15"}));
    upb.RemovePendingStatusRequests("12");
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"15", "15"}));
    upb.RemovePendingStatusRequests("15");
    EXPECT_FALSE(poller().StatusRequestTimer().enabled());
}

TEST_F(StatusPollerTest, GetUPBStateSendsAndGivesTheAnswerASecond) {
    net.pim.onFrame = [this](const std::string&) {
        net.pim.send("PA\r", 10);
        net.pim.send("PK\r", 285);
        net.pim.send("PU0800" "01FF0C8664" + Checksum("080001FF0C8664") + "\r", 600);
    };
    const int64_t start = p.now();
    EXPECT_EQ(upb.GetUPBState("12"), -1);
    EXPECT_FALSE(received.empty());
    // Accepted and acknowledged at 287 ms, then one second.
    EXPECT_EQ(p.now() - start, 287 + 1000);
}

TEST_F(StatusPollerTest, StartUpPollsEveryDeviceButTheSceneModuleWaitingForAQuietLineAfterEachReport) {
    net.pim.onFrame = [this](const std::string& f) {
        frameTimes.push_back(p.now());
        net.pim.send("PA\r", 5);
        net.pim.send("PK\r", 20);
        const std::string report = "080001FF" + f.substr(7, 2) + "8600";
        net.pim.send("PU" + report + Checksum(report) + "\r", 35);
    };
    upb.GetCurrentUPBStatus();
    EXPECT_EQ(sent(), (std::vector<std::string>{Request("05"), Request("0C"), Request("0F")}));
    ASSERT_EQ(frameTimes.size(), 3u);
    // Each report (35 ms after its request) holds the next request for 2 s.
    EXPECT_GE(frameTimes[1] - frameTimes[0], 2035);
    EXPECT_GE(frameTimes[2] - frameTimes[1], 2035);
}

} // namespace
