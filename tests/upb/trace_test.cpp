// The trace text: received lines, transmissions, attempt marks, freezing and
// the 10000-character limit.
#include <gtest/gtest.h>

#include "sim/SimPlatform.h"
#include "upb/codec/Packet.h"
#include "upb/Trace.h"

using namespace tarvelo;
using namespace tarvelo::upb;

namespace {

class TraceTest : public ::testing::Test {
protected:
    sim::SimPlatform p;  // 2026-12-06 07:00:00
    int scrolls = 0, changes = 0;
    Trace trace{p.clock(), {.changed = [this](bool scroll) {
                                ++changes;
                                if (scroll) ++scrolls;
                            }}};
    std::string text() const { return std::string(trace.text()); }
    static std::string Padded(std::string s) {
        s.resize(92, ' ');
        return s;
    }
};

TEST_F(TraceTest, AReceivedLineIsPaddedOrCutTo92AndStamped) {
    p.advance(450);
    const std::string stamp = "<07:00:00 25200.45>\r\n";
    trace.Received("PA\r");
    EXPECT_EQ(text(), Padded("PA") + stamp);
    trace.Received(std::string(100, 'x') + "\r");
    EXPECT_EQ(text(), Padded("PA") + stamp + std::string(92, 'x') + stamp);
}

TEST_F(TraceTest, TextWithoutLineEndIsShownAtOnceAndItsRestAsTheNextPiece) {
    trace.Received("PU0800");
    EXPECT_EQ(text(), "PU0800");
    trace.Received("C2\rPK\rP");
    EXPECT_EQ(text(), "PU0800" + Padded("C2") + "<07:00:00 25200>\r\n" + Padded("PK") + "<07:00:00 25200>\r\n" + "P");
}

TEST_F(TraceTest, ATransmissionIsOneSentLine) {
    trace.EchoHex(FrameUpbMessage("07100105FF30"));
    EXPECT_EQ(text(), "\r\nSent to PIM <14>07 10 01 05 FF 30 B4 <0D>    <2026-12-06 07:00:00 25200>\r\n");
    // The alternation advances only on copied characters.
    EXPECT_EQ(Trace::HexForm("A B"), "A<20>B ");
}

TEST_F(TraceTest, AttemptMarksGoAtTheEndOfTheLastCompleteLine) {
    trace.MarkAttempt(1);
    EXPECT_EQ(text(), "<try 1>");
    trace.Received("PB\r");
    trace.Received("PU12");
    trace.MarkAttempt(2);
    const std::string t = text();
    EXPECT_EQ(t.substr(t.size() - 4 - 2 - 7), "<try 2>\r\nPU12");
}

TEST_F(TraceTest, FrozenStopsReceivedTextAndScrollingOnly) {
    trace.setWindowOpen(true);
    trace.setFrozen(true);
    trace.Received("PA\r");
    EXPECT_EQ(text(), "");
    trace.EchoHex("\x14" "07\r");
    trace.MarkAttempt(1);
    EXPECT_NE(text().find("Sent to PIM"), std::string::npos);
    EXPECT_NE(text().find("<try 1>"), std::string::npos);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(changes, 2);  // the window still redraws the transmission and the mark
    trace.setFrozen(false);
    trace.Received("PA\r");
    EXPECT_EQ(scrolls, 1);
    trace.SetStatus("Port Not Connected");
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(scrolls, 1);
}

TEST_F(TraceTest, OnlyTheLast10000CharactersAreKept) {
    for (int i = 0; i < 500; ++i) trace.Received("PU" + std::to_string(i) + "\r");
    const std::string t = text();
    EXPECT_EQ(t.size(), Trace::kMaxChars);
    EXPECT_EQ(t.substr(t.size() - 18), "<07:00:00 25200>\r\n");
    EXPECT_EQ(t.find("PU0 "), std::string::npos);  // the oldest lines are gone
    // 110 characters a line: the kept text begins in the middle of one.
    EXPECT_NE(t.substr(0, 2), "PU");
}

TEST_F(TraceTest, AMarkAfterTheCutIgnoresLineBreaksThatWereCutAway) {
    trace.Received("PA\r");
    trace.Received(std::string(Trace::kMaxChars + 10, 'x'));
    trace.MarkAttempt(3);
    const std::string t = text();
    EXPECT_EQ(t.size(), Trace::kMaxChars);
    EXPECT_EQ(t.substr(t.size() - 7), "<try 3>");
}

} // namespace
