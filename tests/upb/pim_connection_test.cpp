// The PIM connection: line framing and routing, the serial/TCP choice, and
// the TCP bridge's connect, retry and reconnect behaviour in virtual time.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/LineFramer.h"
#include "upb/Packet.h"

using namespace tarvelo;
using namespace tarvelo::upb;

namespace {

std::vector<std::string> Lines(LineFramer& f) {
    std::vector<std::string> out;
    std::string line;
    while (f.nextLine(line)) out.push_back(line);
    return out;
}

TEST(LineFramer, SplitsAtCarriageReturnsAcrossReads) {
    LineFramer f;
    f.append("PA\rP");
    EXPECT_EQ(Lines(f), (std::vector<std::string>{"PA"}));
    f.append("K");
    EXPECT_TRUE(Lines(f).empty());
    f.append("\r\nPU12\r\r");
    // Line feeds stay: they belong to the next line.
    EXPECT_EQ(Lines(f), (std::vector<std::string>{"PK", "\nPU12", ""}));
    EXPECT_EQ(f.size(), 0u);
}

TEST(LineFramer, HoldKeepsLinesUntilReleased) {
    LineFramer f;
    f.setHold(true);
    f.append("PA\rPK\r");
    EXPECT_TRUE(Lines(f).empty());
    f.setHold(false);
    EXPECT_EQ(Lines(f), (std::vector<std::string>{"PA", "PK"}));
}

TEST(LineFramer, AFullBufferWithoutALineEndIsEmptiedSoInputGoesOn) {
    LineFramer f;
    f.append(std::string(1999, 'x'));
    f.append("yy");  // taken: the buffer was below the limit
    EXPECT_EQ(f.size(), 2001u);
    f.append("PA\r");  // refused: the buffer is full
    EXPECT_EQ(f.dropIfStuck(), 2001u);
    f.append(std::string(3000, 'z'));
    EXPECT_EQ(f.dropIfStuck(), 3000u);
    f.append("PA\r");
    EXPECT_EQ(Lines(f), (std::vector<std::string>{"PA"}));
    EXPECT_EQ(f.droppedCharacters(), 2001u + 3u + 3000u);
}

class PimConnectionTest : public tarvelo::testing::UpbTest {
protected:
    PimConnection& conn() { return upb.connection(); }
    void useBridge() {
        settings.SerialIP = "192.168.1.50";
        settings.UPBCommPort = "2101";
    }
};

TEST_F(PimConnectionTest, LinesOutsideAWaitAreRoutedByTheirPrefix) {
    openSerial();
    net.pim.send("PU8905FA011220FF");
    net.pim.send("FF47\rPA\rgarbage\x01\r", 5);
    p.advance(100);
    EXPECT_EQ(received, (std::vector<std::string>{"8905FA011220FFFF47"}));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(conn().counters().linesDropped, 2u);

    settings.DebugLog = true;
    net.pim.send("PA\r");
    p.advance(100);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0], std::make_pair(std::string("Tarvelo"), std::string("UPB Received without PU prefix: PA")));
}

TEST_F(PimConnectionTest, LineEventsAreLoggedOnlyWithDebugLogAndNeverCode3) {
    openSerial();
    net.serialEvent(1);
    p.advance(10);
    EXPECT_TRUE(log.entries.empty());
    settings.DebugLog = true;
    net.serialEvent(3);
    net.serialEvent(1);
    p.advance(10);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0], std::make_pair(std::string("Tarvelo Debug"), std::string("UPB Comm Event Code=1")));
}

TEST_F(PimConnectionTest, HeldLinesWaitForTheNextReceiveEventAfterRelease) {
    conn().SetHold(true);
    openSerial();
    net.pim.send("PU0800C2FF09863276\r");
    p.advance(10);
    EXPECT_TRUE(received.empty());
    conn().SetHold(false);
    p.advance(10);
    EXPECT_TRUE(received.empty());
    net.pim.send("PU07100105FF30B4\r");
    p.advance(10);
    EXPECT_EQ(received, (std::vector<std::string>{"0800C2FF09863276", "07100105FF30B4"}));
}

TEST_F(PimConnectionTest, ThreeThousandCharactersWithoutLineEndDoNotBlockReception) {
    openSerial();
    net.pim.send(std::string(3000, '7'));
    net.pim.send("PU0800C2FF09863276\r", 10);
    p.advance(50);
    EXPECT_EQ(received, (std::vector<std::string>{"0800C2FF09863276"}));
}

TEST_F(PimConnectionTest, ReceivedTextHoldsTheQueueForTwoSeconds) {
    openSerial();
    net.pim.send("PU0800C2FF09863276\r");
    p.advance(5);
    EXPECT_TRUE(conn().UPBQueueTimer().enabled());
    p.advance(1990);
    EXPECT_TRUE(conn().UPBQueueTimer().enabled());
    p.advance(10);
    EXPECT_FALSE(conn().UPBQueueTimer().enabled());
}

TEST_F(PimConnectionTest, SerialWhenTheBridgeAddressHasNoDot) {
    settings.SerialIP = "";
    EXPECT_TRUE(conn().OpenCommPort("3"));
    EXPECT_FALSE(conn().tcpMode());
    EXPECT_EQ(net.connectCalls, 0);
    EXPECT_EQ(log.entries.back().second, "UPB PIM Comm Port 3 Opened");
    EXPECT_EQ(upb.trace().status(), "Port Open / 0 tries");
}

TEST_F(PimConnectionTest, ASerialPortThatWontOpenIsTriedTwice) {
    EXPECT_FALSE(conn().OpenCommPort("9"));
    EXPECT_EQ(logged("Error Opening UPB PIM Comm Port number  9"), 2u);
    EXPECT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(upb.trace().status(), "Port Not Connected");
}

TEST_F(PimConnectionTest, TcpWhenTheBridgeAddressHasADot) {
    useBridge();
    EXPECT_TRUE(conn().OpenCommPort("2101"));
    EXPECT_TRUE(conn().tcpMode());
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(net.connectCalls, 1);
    EXPECT_EQ(logged("UPB PIM Comm Port 2101 Opened"), 1u);
    EXPECT_EQ(upb.trace().status(), "Port Open / 0 tries");
}

TEST_F(PimConnectionTest, ABridgeThatNeverAnswersTheConnectIsGivenUpAfterSixTicks) {
    useBridge();
    net.connectDelayMs = 3600000;
    const int64_t start = p.now();
    EXPECT_FALSE(conn().OpenPort("2101"));
    EXPECT_EQ(p.now() - start, 12000);
    EXPECT_EQ(net.connectCalls, 6);
    EXPECT_EQ(logged("Unable to connect to UPB PIM via TCP 2101"), 1u);
    EXPECT_EQ(upb.trace().status(), "Port Not Connected");
}

TEST_F(PimConnectionTest, RefusedConnectsAreRetriedByTheTimerNotByRecursion) {
    useBridge();
    net.bridgeUp = false;
    EXPECT_FALSE(conn().OpenPort("2101"));
    EXPECT_EQ(net.connectCalls, 6);
    EXPECT_EQ(logged("UPB PIM Winsock1_Error at State 9, 10061 Connection is forcefully rejected"), 6u);
    EXPECT_EQ(logged("Unable to connect to UPB PIM via TCP 2101"), 1u);
    // The bridge comes back during a later try: one tick later it is connected.
    net.bridgeUp = true;
    EXPECT_TRUE(conn().OpenPort("2101"));
    EXPECT_EQ(upb.trace().status(), "Port Open / 0 tries");
}

TEST_F(PimConnectionTest, TheConnectCountShowsInTheStatusText) {
    useBridge();
    net.bridgeUp = false;
    p.at(5000, [this] { net.bridgeUp = true; });
    EXPECT_TRUE(conn().OpenPort("2101"));
    EXPECT_EQ(upb.trace().status(), "Port Open / 3 tries");
}

TEST_F(PimConnectionTest, AClosedConnectionIsReportedAndReopened) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    net.dropConnection();
    p.advance(100);
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1u);
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(net.connectCalls, 2);
}

TEST_F(PimConnectionTest, AnErrorOnTheConnectionIsReportedAndReopened) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    net.connectionError(10053, "Connection is aborted due to timeout or other failure");
    p.advance(100);
    EXPECT_EQ(logged("UPB PIM Winsock1_Error at State 9, 10053 Connection is aborted due to timeout or other failure"),
              1u);
    EXPECT_TRUE(net.connected());
}

TEST_F(PimConnectionTest, WhileClosingNothingIsReportedOrReopened) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    conn().SetClosing(true);
    net.dropConnection();
    p.advance(30000);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(net.connected());
    EXPECT_EQ(net.connectCalls, 1);
}

TEST_F(PimConnectionTest, ABridgeDownForMinutesIsReconnectedWithoutASendAndWithoutFlooding) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    net.bridgeUp = false;
    net.dropConnection();
    p.advance(10 * 60 * 1000);
    EXPECT_FALSE(net.connected());
    // Backing off: 12 s of tries, then 30 s, 60 s, 120 s, 240 s apart.
    EXPECT_LE(logged("Unable to connect to UPB PIM via TCP 2101"), 5u);
    EXPECT_LE(log.entries.size(), 40u);
    net.bridgeUp = true;
    p.advance(11 * 60 * 1000);
    EXPECT_TRUE(net.connected());
    net.pim.send("PU0800C2FF09863276\r");
    p.advance(10);
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(PimConnectionTest, ASendReopensALostConnection) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    net.pim.answerLikeAPim();
    net.bridgeUp = false;
    conn().ClosePort("2101");  // own close: no event, no reconnect
    EXPECT_FALSE(net.connected());
    net.bridgeUp = true;
    upb.RequestStatus("5");
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(sent(), (std::vector<std::string>{"07100105FF30B4"}));
}

TEST_F(PimConnectionTest, ABridgeThatDropsTheConnectionMidTransmissionCostsOnlyCountedRetries) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    int frame = 0;
    net.pim.onFrame = [&](const std::string& f) {
        // The first write is accepted, then the bridge goes away for 3 s.
        if (++frame == 1) {
            net.pim.send("PA\r", 10);
            p.at(20, [this] {
                net.bridgeUp = false;
                net.dropConnection();
            });
            p.at(3000, [this] { net.bridgeUp = true; });
            return;
        }
        net.pim.send("PA\r", 10);
        net.pim.send(f[3] != '0' ? "PK\r" : "PN\r", 285);
    };
    upb.RequestStatus("5");
    upb.RequestStatus("12");
    EXPECT_EQ(sent(), (std::vector<std::string>{"07100105FF30B4", "07100105FF30B4", "0710010CFF30" + Checksum("0710010CFF30")}));
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1u);
    EXPECT_EQ(logged("Unable to Send UPB Message 07100105FF30 because UPB no PK or PN received from PIM"), 0u);
    EXPECT_TRUE(net.connected());
}

TEST_F(PimConnectionTest, ABridgeThatAcceptsButNeverAnswersFailsEachRecordAndGoesOn) {
    useBridge();
    ASSERT_TRUE(conn().OpenCommPort("2101"));
    log.entries.clear();
    const int64_t start = p.now();
    upb.RequestStatus("5");
    upb.RequestStatus("12");
    EXPECT_EQ(net.pim.frames.size(), 6u);
    EXPECT_EQ(p.now() - start, 2 * 15000);
    EXPECT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(logged("Unable to Send UPB Message 0710010CFF30 because UPB Response of  is not recognized"), 1u);
}

} // namespace
