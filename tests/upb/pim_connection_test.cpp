// The PIM connection: line framing and routing, the serial/TCP choice, and
// the TCP bridge's connect, retry and reconnect behaviour in virtual time.
#include <gtest/gtest.h>

#include "UpbFixture.h"
#include "upb/codec/LineFramer.h"
#include "upb/codec/Packet.h"

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

class PimConnectionTest : public tarvelo::testing::UpbTest {
protected:
    PimConnection& conn() { return upb.connection(); }
    void useBridge() {
        settings.SerialIP = "192.168.1.50";
        settings.UPBCommPort = "2101";
    }
    // Connected to the bridge, with the open's log entries cleared.
    void openBridge() {
        useBridge();
        ASSERT_TRUE(conn().OpenCommPort("2101"));
        log.entries.clear();
    }
};

TEST_F(PimConnectionTest, LinesOutsideAWaitAreRoutedByTheirPrefixAndTheRestShowOnlyInTheDebugLog) {
    openSerial();
    net.pim.send("PU8905FA011220FF");
    net.pim.send("FF47\rPA\rgarbage\x01\r", 5);
    net.serialEvent(1);
    p.advance(100);
    EXPECT_EQ(received, (std::vector<std::string>{"8905FA011220FFFF47"}));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(conn().counters().linesDropped, 2u);

    settings.DebugLog = true;
    net.pim.send("PA\r");
    net.serialEvent(3);  // a line-state event nobody needs to hear about
    net.serialEvent(1);
    p.advance(100);
    EXPECT_EQ(log.entries, (std::vector<std::pair<std::string, std::string>>{
                               {"Tarvelo Debug", "UPB Comm Event Code=1"},
                               {"Tarvelo", "UPB Received without PU prefix: PA"}}));
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
    settings.DebugLog = true;
    net.pim.send(std::string(3000, '7'));
    net.pim.send("PU0800C2FF09863276\r", 10);
    p.advance(50);
    EXPECT_EQ(received, (std::vector<std::string>{"0800C2FF09863276"}));
    EXPECT_EQ(logged("UPB receive buffer full without a line end, 3000 characters dropped"), 1u);
}

TEST_F(PimConnectionTest, SerialOrTcpByWhetherTheBridgeAddressHasADot) {
    EXPECT_TRUE(conn().OpenCommPort("3"));
    EXPECT_FALSE(conn().tcpMode());
    EXPECT_EQ(net.connectCalls, 0);
    EXPECT_EQ(log.entries.back().second, "UPB PIM Comm Port 3 Opened");
    EXPECT_EQ(upb.trace().status(), "Port Open / 0 tries");
    useBridge();
    EXPECT_TRUE(conn().OpenCommPort("2101"));
    EXPECT_TRUE(conn().tcpMode());
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(net.connectCalls, 1);
    EXPECT_EQ(log.entries.back().second, "UPB PIM Comm Port 2101 Opened");
    EXPECT_EQ(upb.trace().status(), "Port Open / 0 tries");
}

TEST_F(PimConnectionTest, ASerialPortThatWontOpenIsTriedTwice) {
    EXPECT_FALSE(conn().OpenCommPort("9"));
    EXPECT_EQ(logged("Error Opening UPB PIM Comm Port number  9"), 2u);
    EXPECT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(upb.trace().status(), "Port Not Connected");
}

TEST_F(PimConnectionTest, AConnectNeverAnsweredOrRefusedIsRetriedByTheTimerForSixTicks) {
    useBridge();
    for (bool refused : {false, true}) {
        net.connectCalls = 0;
        log.entries.clear();
        net.bridgeUp = !refused;
        net.connectDelayMs = refused ? 5 : 3600000;
        const int64_t start = p.now();
        EXPECT_FALSE(conn().OpenPort("2101"));
        EXPECT_EQ(p.now() - start, 12000);
        EXPECT_EQ(net.connectCalls, 6);
        EXPECT_EQ(logged("UPB PIM Winsock1_Error at State 9, 10061 Connection is forcefully rejected"),
                  refused ? 6u : 0u);
        EXPECT_EQ(logged("Unable to connect to UPB PIM via TCP 2101"), 1u);
        EXPECT_EQ(upb.trace().status(), "Port Not Connected");
    }
    // The bridge comes back during a later open: the connect count shows in the status.
    p.at(5000, [this] { net.bridgeUp = true; });
    EXPECT_TRUE(conn().OpenPort("2101"));
    EXPECT_EQ(upb.trace().status(), "Port Open / 3 tries");
}

TEST_F(PimConnectionTest, AClosedConnectionOrAnErrorOnItIsReportedAndReopened) {
    openBridge();
    net.dropConnection();
    p.advance(100);
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1u);
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(net.connectCalls, 2);
    net.connectionError(10053, "Connection is aborted due to timeout or other failure");
    p.advance(100);
    EXPECT_EQ(logged("UPB PIM Winsock1_Error at State 9, 10053 Connection is aborted due to timeout or other failure"),
              1u);
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(net.connectCalls, 3);
}

TEST_F(PimConnectionTest, WhileClosingNothingIsReportedOrReopened) {
    openBridge();
    conn().SetClosing(true);
    net.dropConnection();
    p.advance(30000);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(net.connected());
    EXPECT_EQ(net.connectCalls, 1);
}

TEST_F(PimConnectionTest, ABridgeDownForMinutesIsReconnectedWithoutASendAndWithoutFlooding) {
    openBridge();
    net.bridgeUp = false;
    net.dropConnection();
    p.advance(10 * 60 * 1000);
    EXPECT_FALSE(net.connected());
    // Backing off: 12 s of tries, then 30 s, 60 s, 120 s, 240 s apart. The
    // outage is said once (the close and the first open's refusals); the
    // background tries are silent.
    const int tries = net.connectCalls;
    EXPECT_GE(tries, 1 + 6 * 4);
    EXPECT_EQ(logged("Unable to connect to UPB PIM via TCP 2101"), 1u);
    EXPECT_EQ(log.entries.size(), 1u + 6u + 1u);
    net.bridgeUp = true;
    p.advance(11 * 60 * 1000);
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(logged("UPB PIM reconnected via TCP 2101"), 1u);
    EXPECT_EQ(log.entries.size(), 1u + 6u + 1u + 1u);
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
    openBridge();
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
    EXPECT_EQ(sent(), (std::vector<std::string>{"07100105FF30B4", "07100105FF30B4",
                                                "0710010CFF30" + Checksum("0710010CFF30")}));
    EXPECT_EQ(logged("UPB PIM IP Connection Closed 8"), 1u);
    EXPECT_EQ(logged("Unable to Send UPB Message 07100105FF30 because UPB no PK or PN received from PIM"), 0u);
    EXPECT_TRUE(net.connected());
}

} // namespace
