// The transmit queue against a scripted PIM, in virtual time: every reply
// path, the holds, and records queued by handlers that run inside a wait.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/Packet.h"

using namespace tarvelo;
using namespace tarvelo::upb;

namespace {

class TransmitQueueTest : public tarvelo::testing::UpbTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(upb.connection().OpenCommPort("3"));
        log.entries.clear();
        net.pim.onFrame = [this](const std::string&) { frameTimes.push_back(p.now()); };
    }

    // The n-th frame gets the n-th list of lines, 10 ms and then 275 ms apart;
    // frames past the script get no answer.
    void script(std::vector<std::vector<std::string>> answers) {
        net.pim.onFrame = [this, answers, n = size_t{0}](const std::string&) mutable {
            frameTimes.push_back(p.now());
            if (n >= answers.size()) return;
            int64_t t = 10;
            for (const auto& line : answers[n]) {
                net.pim.send(line + "\r", t);
                t += 275;
            }
            ++n;
        };
    }

    // A link command that asks for an acknowledge, for the switch state.
    void sendOn(int16_t value = 100) { upb.SendUPBCommand(status(switchState, value), true, 3, true, -1, -1); }
    static std::string OnPacket() { return "87100103FF20"; }

    std::vector<int64_t> frameTimes;
};

TEST_F(TransmitQueueTest, AcceptedAndAcknowledgedUpdatesTheState) {
    script({{"PA", "PK"}});
    network.StateSequence = 41;
    const int64_t start = p.now();
    sendOn(100);
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_EQ(switchState->Sequence, 42);
    EXPECT_EQ(network.StateSequence, 42);
    EXPECT_EQ(switchState->LastChange, DateFromLocalMillis(p.now()));
    EXPECT_EQ(switchState->Milliseconds, 7 * 3600);  // the run took well under half a second
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0], switchState);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(upb.connection().UPBQueueTimer().enabled());  // the queue may go on at once
    EXPECT_LT(p.now() - start, 400);
}

TEST_F(TransmitQueueTest, AnUnchangedValueIsNotAnnounced) {
    script({{"PA", "PK"}});
    switchState->Value = 100;
    sendOn(100);
    EXPECT_TRUE(notified.empty());
    EXPECT_EQ(switchState->Sequence, 0);
}

TEST_F(TransmitQueueTest, NotAcknowledgedThreeTimesFailsAndLeavesTheState) {
    script({{"PA", "PN"}, {"PA", "PN"}, {"PA", "PN"}});
    sendOn(100);
    EXPECT_EQ(net.pim.frames.size(), 3u);
    EXPECT_EQ(switchState->Value, 0);
    EXPECT_TRUE(notified.empty());
    const std::string packet = OnPacket();
    EXPECT_EQ(logged("Unable to Send UPB Message " + packet + " because UPB no PK or PN received from PIM"), 1u);
    EXPECT_EQ(log.entries.size(), 1u);
}

TEST_F(TransmitQueueTest, WithoutAcknowledgeRequestNotAcknowledgedIsSuccess) {
    script({{"PA", "PN"}});
    upb.SendUPBCommand(status(switchState, -1), true, 3, true, -1, -1);  // value -1: no request
    EXPECT_EQ(sent()[0].substr(0, 4), "8700");
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_TRUE(log.entries.empty());
    // A PK to a packet that asked for none is no success.
    script({{"PA", "PK"}, {"PA", "PK"}, {"PA", "PK"}});
    upb.SendUPBCommand(status(switchState, -1), true, 3, true, -1, -1);
    EXPECT_EQ(net.pim.frames.size(), 4u);
    EXPECT_EQ(log.entries.size(), 1u);
}

TEST_F(TransmitQueueTest, BusyThenAcceptedSucceedsOnTheSecondAttempt) {
    script({{"PB"}, {"PA", "PK"}});
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), 2u);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(switchState->Value, 100);
    const std::string trace(upb.trace().text());
    const size_t try1 = trace.find("<try 1>"), try2 = trace.find("<try 2>");
    ASSERT_NE(try1, std::string::npos);
    ASSERT_NE(try2, std::string::npos);
    EXPECT_LT(try1, try2);
}

struct FailureCase {
    std::vector<std::string> reply;
    std::string error;
};

class TransmitQueueFailure : public TransmitQueueTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransmitQueueFailure, ThreeCountedAttemptsThenTheErrorOfTheLast) {
    const auto& c = GetParam();
    script({c.reply, c.reply, c.reply});
    const int64_t start = p.now();
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), 3u);
    EXPECT_EQ(switchState->Value, 0);
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(logged("Unable to Send UPB Message " + OnPacket() + " because " + c.error), 1u);
    if (c.reply.empty()) {
        EXPECT_EQ(p.now() - start, 3 * 5000);  // three reply waits
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReplyCodes, TransmitQueueFailure,
    ::testing::Values(FailureCase{{"PB"}, "UPB Busy"}, FailureCase{{"PE"}, "UPB PIM Error"},
                      FailureCase{{"PN"}, "UPB No Acknowledge"},
                      FailureCase{{"XY12"}, "UPB Response of XY12 is not recognized"},
                      FailureCase{{"pb"}, "UPB Busy"},  // codes compare upper-cased
                      FailureCase{{}, "UPB Response of  is not recognized"},
                      FailureCase{{"PA"}, "UPB no PK or PN received from PIM"},
                      FailureCase{{"PA", "PB"}, "UPB no PK or PN received from PIM"}));

TEST_F(TransmitQueueTest, AcknowledgedOrRegisterReportWithoutAcceptEndsWithoutStateUpdate) {
    script({{"PK"}});
    sendOn();
    script({{"PR7003"}});
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), 2u);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(switchState->Value, 0);
    EXPECT_TRUE(notified.empty());
}

TEST_F(TransmitQueueTest, ALinePUInTheReplyWindowIsPassedOnAndRepeatedUncounted) {
    script({{"PU8905FA011220FFFF47"}, {"PA", "PK"}});
    sendOn();
    EXPECT_EQ(received, (std::vector<std::string>{"8905FA011220FFFF47"}));
    EXPECT_EQ(net.pim.frames.size(), 2u);
    EXPECT_EQ(net.pim.frames[0], net.pim.frames[1]);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(switchState->Value, 100);
    // The repeat carries the same attempt number.
    const std::string trace(upb.trace().text());
    EXPECT_EQ(trace.find("<try 2>"), std::string::npos);
}

TEST_F(TransmitQueueTest, EndlessPULinesStopBeingFreeAfterTen) {
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PU0800C2FF09863276\r", 10); };
    sendOn();
    const size_t writes = TransmitQueue::kUncountedRepeats + TransmitQueue::kAttempts;
    EXPECT_EQ(net.pim.frames.size(), writes);
    EXPECT_EQ(received.size(), writes);  // none of the packets is lost
    EXPECT_EQ(logged("Unable to Send UPB Message " + OnPacket() +
                     " because UPB Response of PU0800C2FF09863276 is not recognized"),
              1u);
}

TEST_F(TransmitQueueTest, APacketHeardBetweenAcceptAndReportIsNotTakenForTheReport) {
    script({{"PA", "PU0800C2FF09863276", "PK"}});
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_EQ(received, (std::vector<std::string>{"0800C2FF09863276"}));
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, AcceptAndReportInOneReadSucceed) {
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PA\rPK\r", 10); };
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, ARegisterWriteSucceedsOnAcceptAlone) {
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PA\r", 10); };
    const int64_t start = p.now();
    upb.SendPIMMessage(kPimOptionsWrite);
    EXPECT_EQ(net.pim.frames, (std::vector<std::string>{"\x17" "70038D\r"}));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_LT(p.now() - start, 100);
}

TEST_F(TransmitQueueTest, ARegisterWriteThatIsNeverAcceptedIsLoggedOnce) {
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PE\r", 10); };
    upb.SendPIMMessage(kPimOptionsWrite);
    EXPECT_EQ(net.pim.frames.size(), 3u);
    EXPECT_EQ(logged("Unable to Send PIM Message 7003 because UPB PIM Error"), 1u);
}

TEST_F(TransmitQueueTest, NothingIsSentUntilTheLineIsQuietForTwoSeconds) {
    net.pim.answerLikeAPim();
    net.pim.onFrame = [this, answer = net.pim.onFrame](const std::string& f) {
        frameTimes.push_back(p.now());
        answer(f);
    };
    // Traffic from other devices at 0, 1.5 and 3 s.
    for (int64_t t : {0, 1500, 3000}) net.pim.send("PU8905FA011220FFFF47\r", t);
    const int64_t start = p.now();
    p.at(100, [this] { sendOn(); });
    p.runUntil([this] { return !frameTimes.empty(); });
    // The last packet arrives at 3001 ms; the frame leaves 2 s later and takes 1 ms.
    EXPECT_EQ(frameTimes[0] - start, 3001 + 2000 + 1);
}

TEST_F(TransmitQueueTest, RecordsQueuedInsideAWaitGoOutAfterItInOrder) {
    net.pim.answerLikeAPim();
    net.pim.onFrame = [this, answer = net.pim.onFrame](const std::string& f) {
        frameTimes.push_back(p.now());
        answer(f);
    };
    const int64_t start = p.now();
    // Two handlers run while the first transmission waits for its reply: an
    // xAP command for link 7 and a state request.
    p.at(5, [this] { upb.SendUPBCommand(status(sceneState, 100), true, 7, true, -1, -1); });
    p.at(6, [this] { upb.RequestStatus("12"); });
    sendOn();
    p.runUntil([this] { return upb.queue().size() == 0 && !upb.queue().inFlight(); }, 10000);

    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0].substr(0, 12), OnPacket());
    EXPECT_EQ(sent()[1].substr(0, 12), "87100107FF20");
    EXPECT_EQ(sent()[2].substr(0, 12), "0710010CFF30");
    // One at a time: each frame only after the previous one's report (~286 ms).
    EXPECT_GE(frameTimes[1] - frameTimes[0], 285);
    EXPECT_GE(frameTimes[2] - frameTimes[1], 285);
    EXPECT_LT(frameTimes[2] - start, 1200);
    EXPECT_EQ(sceneState->Value, 100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, APollInsideTheQueuesWaitIsQueuedBehindWithoutWaiting) {
    net.pim.answerLikeAPim();
    int64_t returnedAt = 0;
    const int64_t start = p.now();
    // The poll runs inside the first transmission's reply wait: its request can
    // only go out after that one, so waiting there would hold the queue.
    p.at(5, [&] {
        EXPECT_EQ(upb.GetUPBState("12"), -1);
        returnedAt = p.now();
    });
    sendOn();
    EXPECT_EQ(returnedAt - start, 5);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].substr(0, 12), "0710010CFF30");
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, AWaitingHandlerInsideADirectTransmissionLetsItFinish) {
    net.pim.answerLikeAPim();
    net.pim.onFrame = [this, answer = net.pim.onFrame](const std::string& f) {
        frameTimes.push_back(p.now());
        answer(f);
    };
    // The options write at start-up is sent directly, outside the queue; a
    // poll that runs inside its wait waits itself, longer than the write.
    int64_t returnedAt = 0;
    const int64_t start = p.now();
    p.at(5, [&] {
        upb.GetUPBState("12");
        returnedAt = p.now();
    });
    upb.SendPIMMessage(kPimOptionsWrite);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0], "70038D");
    EXPECT_EQ(sent()[1].substr(0, 12), "0710010CFF30");
    EXPECT_GE(frameTimes[1], frameTimes[0] + 10);  // after the write's "PA"
    EXPECT_GE(returnedAt - start, 1000);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, UnknownProcedureNamesAreDropped) {
    net.pim.answerLikeAPim();
    upb.queue().QueueTransmission(nullptr, "07100105FF30", "Bogus");
    upb.queue().QueueTransmission(nullptr, "07100105FF30", "SendUPBMessage");
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_EQ(upb.queue().size(), 0u);
}

TEST_F(TransmitQueueTest, AClosedPortLogsEachWriteAndTheQueueGoesOn) {
    net.unplugSerial();
    p.drain();
    upb.RequestStatus("5");
    upb.RequestStatus("12");
    EXPECT_EQ(logged("Unable to Send to UPB, Port 3 not open"), 6u);
    EXPECT_EQ(logged("Unable to Send UPB Message 07100105FF30 because UPB Response of  is not recognized"), 1u);
    EXPECT_EQ(logged("Unable to Send UPB Message 0710010CFF30 because UPB Response of  is not recognized"), 1u);
    EXPECT_EQ(upb.queue().size(), 0u);
}

} // namespace

namespace {

TEST_F(TransmitQueueTest, ClosingEndsTheTransmissionAndTheWaitsAtOnceWithoutLogging) {
    // No answer ever comes; the program is told to exit during the first wait.
    p.at(1000, [this] { upb.Close(); });
    const int64_t start = p.now();
    upb.RequestStatus("5");
    EXPECT_EQ(p.now() - start, 1000);
    EXPECT_TRUE(log.entries.empty());
    upb.RequestStatus("12");
    EXPECT_EQ(upb.GetUPBState("15"), -1);
    upb.GetCurrentUPBStatus();
    EXPECT_EQ(p.now() - start, 1000);
    EXPECT_EQ(net.pim.frames.size(), 1u);
}

} // namespace

namespace {

TEST_F(TransmitQueueTest, APacketReadTogetherWithTheFinalReplyStillHoldsTheLine) {
    net.pim.onFrame = [this](const std::string&) {
        frameTimes.push_back(p.now());
        net.pim.send("PA\r", 5);
        net.pim.send("PK\rPU0800C2FF09863276\r", 300);  // one read
    };
    upb.RequestStatus("5");
    upb.RequestStatus("12");
    ASSERT_EQ(frameTimes.size(), 2u);
    EXPECT_GE(frameTimes[1] - frameTimes[0], 300 + 2000);
}

} // namespace
