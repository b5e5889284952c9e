// The transmit queue against a scripted PIM, in virtual time: every reply
// path, the holds, and records queued by handlers that run inside a wait.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using namespace tarvelo::upb;

namespace {

using Replies = std::vector<std::vector<std::string>>;

class TransmitQueueTest : public tarvelo::testing::UpbTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(upb.connection().OpenCommPort("3"));
        log.entries.clear();
        net.pim.onFrame = [this](const std::string&) { frameTimes.push_back(p.now()); };
    }

    // The n-th frame gets the n-th list of lines, 10 ms and then 275 ms apart;
    // frames past the script get no answer.
    void script(Replies answers) {
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
    // Answers like a PIM and notes when each frame arrived.
    void answerAndTime() {
        net.pim.answerLikeAPim();
        net.pim.onFrame = [this, answer = net.pim.onFrame](const std::string& f) {
            frameTimes.push_back(p.now());
            answer(f);
        };
    }

    // A link command that asks for an acknowledge, for the switch state.
    void sendOn(int16_t value = 100) { upb.SendUPBCommand(status(switchState, value), true, 3, true, -1, -1); }
    static std::string OnPacket() { return "87100103FF20"; }
    bool traced(int attempt) {
        return std::string(upb.trace().text()).find("<try " + std::to_string(attempt) + ">") != std::string::npos;
    }

    std::vector<int64_t> frameTimes;
};

TEST_F(TransmitQueueTest, AcceptedAndAcknowledgedUpdatesTheStateOnlyWhenItChanges) {
    script({{"PA", "PK"}, {"PA", "PK"}});
    network.StateSequence = 41;
    const int64_t start = p.now();
    sendOn(100);
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_EQ(switchState->Sequence, 42);
    EXPECT_EQ(network.StateSequence, 42);
    EXPECT_EQ(switchState->LastChange, DateFromLocalMillis(p.now()));
    EXPECT_EQ(switchState->Milliseconds, 7 * 3600);  // the run took well under half a second
    EXPECT_EQ(notified, (std::vector<std::shared_ptr<model::UPBLinkState>>{switchState}));
    EXPECT_FALSE(upb.connection().UPBQueueTimer().enabled());  // the queue may go on at once
    EXPECT_LT(p.now() - start, 400);
    // The same value again is no change: not announced, not numbered.
    sendOn(100);
    EXPECT_EQ(notified.size(), 1u);
    EXPECT_EQ(switchState->Sequence, 42);
    EXPECT_TRUE(log.entries.empty());
}

struct ReplyCase {
    Replies replies;  // per frame written
    size_t frames;
    int tries;  // the last attempt number marked in the trace
    std::string error;  // empty: success
    std::vector<std::string> heard = {};  // "PU" packets passed on
    bool updates = true;  // a success that updates the state
};

// Names a case by its replies in failure messages.
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.replies); }

class TransmitQueueReplies : public TransmitQueueTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(TransmitQueueReplies, DecideBetweenSuccessAnotherAttemptAndFailure) {
    const ReplyCase& c = GetParam();
    script(c.replies);
    const int64_t start = p.now();
    sendOn();
    EXPECT_EQ(net.pim.frames.size(), c.frames);
    for (const auto& f : net.pim.frames) EXPECT_EQ(f, net.pim.frames[0]);
    EXPECT_TRUE(traced(c.tries));
    EXPECT_FALSE(traced(c.tries + 1));
    EXPECT_EQ(received, c.heard);
    const bool updated = c.error.empty() && c.updates;
    EXPECT_EQ(switchState->Value, updated ? 100 : 0);
    EXPECT_EQ(notified.size(), updated ? 1u : 0u);
    using Entries = std::vector<std::pair<std::string, std::string>>;
    const std::string failure = "Unable to Send UPB Message " + OnPacket() + " because " + c.error;
    EXPECT_EQ(log.entries, c.error.empty() ? Entries() : Entries(1, {"Tarvelo", failure}));
    // A write that is never answered waits out the reply window each time.
    if (c.replies[0].empty()) {
        EXPECT_EQ(p.now() - start, 3 * 5000);
    }
}

Replies Thrice(const std::vector<std::string>& reply) { return {reply, reply, reply}; }

INSTANTIATE_TEST_SUITE_P(
    ReplyCodes, TransmitQueueReplies,
    ::testing::Values(
        ReplyCase{{{"PA\rPK"}}, 1, 1, ""},  // accept and report in one read
        ReplyCase{{{"PB"}, {"PA", "PK"}}, 2, 2, ""},
        // A packet heard between accept and report is not taken for the report.
        ReplyCase{{{"PA", "PU0800C2FF09863276", "PK"}}, 1, 1, "", {"0800C2FF09863276"}},
        // A "PU" line in the reply window is passed on and the write repeated, uncounted.
        ReplyCase{{{"PU8905FA011220FFFF47"}, {"PA", "PK"}}, 2, 1, "", {"8905FA011220FFFF47"}},
        // The report and a packet in one read: the packet arrived before the
        // retry was written, so it is a received message, not the retry's reply.
        ReplyCase{{{"PA", "PN\rPU8905FA011220FFFF47"}, {"PA", "PK"}}, 2, 2, "", {"8905FA011220FFFF47"}},
        ReplyCase{{{"PB\rPU8905FA011220FFFF47\rPE"}, {"PA", "PK"}}, 2, 2, "", {"8905FA011220FFFF47"}},
        // Acknowledged or a register report without an accept: done, but no state update.
        ReplyCase{{{"PK"}}, 1, 1, "", {}, false}, ReplyCase{{{"PR7003"}}, 1, 1, "", {}, false},
        ReplyCase{Thrice({"PB"}), 3, 3, "UPB Busy"}, ReplyCase{Thrice({"PE"}), 3, 3, "UPB PIM Error"},
        ReplyCase{Thrice({"PN"}), 3, 3, "UPB No Acknowledge"},
        ReplyCase{Thrice({"pb"}), 3, 3, "UPB Busy"},  // codes compare upper-cased
        ReplyCase{{{"PB"}, {"PE"}, {"PN"}}, 3, 3, "UPB No Acknowledge"},  // the error of the last
        ReplyCase{Thrice({"XY12"}), 3, 3, "UPB Response of XY12 is not recognized"},
        ReplyCase{Thrice({}), 3, 3, "UPB Response of  is not recognized"},
        ReplyCase{Thrice({"PA"}), 3, 3, "UPB no PK or PN received from PIM"},
        ReplyCase{Thrice({"PA", "PB"}), 3, 3, "UPB no PK or PN received from PIM"},
        ReplyCase{Thrice({"PA", "PN"}), 3, 3, "UPB no PK or PN received from PIM"}));

TEST_F(TransmitQueueTest, WithoutAcknowledgeRequestNotAcknowledgedIsSuccess) {
    script({{"PA", "PN"}});
    upb.SendUPBCommand(status(switchState, -1), true, 3, true, -1, -1);  // value -1: no request
    EXPECT_EQ(sent()[0].substr(0, 4), "8700");
    EXPECT_EQ(net.pim.frames.size(), 1u);
    EXPECT_TRUE(log.entries.empty());
    // A PK to a packet that asked for none is no success.
    script(Thrice({"PA", "PK"}));
    upb.SendUPBCommand(status(switchState, -1), true, 3, true, -1, -1);
    EXPECT_EQ(net.pim.frames.size(), 4u);
    EXPECT_EQ(log.entries.size(), 1u);
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

TEST_F(TransmitQueueTest, ARegisterWriteSucceedsOnAcceptAlone) {
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PA\r", 10); };
    const int64_t start = p.now();
    upb.SendPIMMessage(kPimOptionsWrite);
    EXPECT_EQ(net.pim.frames, (std::vector<std::string>{"\x17" "70038D\r"}));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_LT(p.now() - start, 100);
    // One that is never accepted is logged once.
    net.pim.onFrame = [this](const std::string&) { net.pim.send("PE\r", 10); };
    upb.SendPIMMessage(kPimOptionsWrite);
    EXPECT_EQ(net.pim.frames.size(), 4u);
    EXPECT_EQ(log.entries, (std::vector<std::pair<std::string, std::string>>{
                               {"Tarvelo", "Unable to Send PIM Message 7003 because UPB PIM Error"}}));
}

TEST_F(TransmitQueueTest, NothingIsSentUntilTheLineIsQuietForTwoSeconds) {
    answerAndTime();
    // Traffic from other devices at 0, 1.5 and 3 s.
    for (int64_t t : {0, 1500, 3000}) net.pim.send("PU8905FA011220FFFF47\r", t);
    const int64_t start = p.now();
    p.at(100, [this] { sendOn(); });
    p.runUntil([this] { return !frameTimes.empty(); });
    // The last packet arrives at 3001 ms; the frame leaves 2 s later and takes 1 ms.
    EXPECT_EQ(frameTimes[0] - start, 3001 + 2000 + 1);
}

TEST_F(TransmitQueueTest, RecordsQueuedInsideAWaitGoOutAfterItInOrderAndAPollThereDoesNotWait) {
    answerAndTime();
    const int64_t start = p.now();
    int64_t pollReturned = 0;
    // Two handlers run while the first transmission waits for its reply: an
    // xAP command for link 7 and a poll. The poll's request can only go out
    // after the one in flight, so waiting there would hold the queue.
    p.at(5, [this] { upb.SendUPBCommand(status(sceneState, 100), true, 7, true, -1, -1); });
    p.at(6, [&] {
        EXPECT_EQ(upb.GetUPBState("12"), -1);
        pollReturned = p.now();
    });
    sendOn();
    p.runUntil([this] { return upb.queue().size() == 0 && !upb.queue().inFlight(); }, 10000);

    EXPECT_EQ(pollReturned - start, 6);
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0].substr(0, 12), OnPacket());
    EXPECT_EQ(sent()[1].substr(0, 12), "87100107FF20");
    EXPECT_EQ(sent()[2].substr(0, 12), "0710010CFF30");
    // One at a time: each frame only after the previous one's report (~286 ms).
    EXPECT_GE(frameTimes[1] - frameTimes[0], 285);
    EXPECT_GE(frameTimes[2] - frameTimes[1], 285);
    EXPECT_LT(frameTimes[2] - start, 1200);
    EXPECT_EQ(switchState->Value, 100);
    EXPECT_EQ(sceneState->Value, 100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(TransmitQueueTest, AWaitingHandlerInsideADirectTransmissionLetsItFinish) {
    answerAndTime();
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
