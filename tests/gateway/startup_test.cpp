// A whole gateway on the simulation platform from start-up to shut-down, seen
// from outside: the folders and files it leaves, the xAP sockets it binds and
// what it sends there, the frames the PIM receives and when.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

// Network 1: dimmers 5 and 7, lamp module 12, in this order; link 2 belongs to 7.
const char* kExport =
    "0,5,3,2,1,0\r\n"
    "2,1,Evening\r\n"
    "2,2,Reading\r\n"
    "3,5,1,5,1,3,2,2,1,1,6,Living Room,Ceiling,0\r\n"
    "8,0,5,1,3\r\n"
    "4,0,0,5,1,100,3\r\n"
    "3,12,1,5,1,3,2,2,1,0,6,Living Room,Floor Lamp,0\r\n"
    "8,0,12,1,3\r\n"
    "4,0,0,12,1,50,3\r\n"
    "3,7,1,5,1,3,2,2,1,1,6,Study,Desk Lamp,0\r\n"
    "8,0,7,1,3\r\n"
    "4,0,0,7,2,80,3\r\n"
    "1\r\n";

// The gateway's xAP port on the simulated machine: the first one tried.
constexpr uint16_t kXapPort = 32768;

struct Rig {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    std::unique_ptr<Gateway> gateway;
    std::vector<app::LogEntry> log;
    std::vector<std::string> scriptRuns;  // the tags "Main" ran with

    Gateway& make() {
        app::Paths paths;
        paths.base = dir.path();
        gateway = std::make_unique<Gateway>(
            platform, paths,
            Gateway::Options{.mirrorLog = false,
                             .runMain = [this](const std::string& tag) { scriptRuns.push_back(tag); },
                             .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); }});
        return *gateway;
    }
    bool logged(const std::string& type, const std::string& data) const {
        for (auto& e : log)
            if (e.type == type && e.data == data) return true;
        return false;
    }

    // The installation behind the simulated TCP bridge; the ceiling dimmer's
    // record says 0, the desk lamp (its private link 2) is in use.
    void installation() {
        WriteFile(dir / "Data/Tarvelo/Tarvelo.upe", kExport);
        WriteFile(dir / "Config/Tarvelo.ini",
                  "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n"
                  "UPB01_M05_C01_00=2026-12-05 22:14:09;0;False;False;;Ceiling;False;;\r\n"
                  "UPB01_M07_C01_01=2026-12-05 22:14:09;0;False;True;;Desk;False;;\r\n");
    }
    // The PIM answers like a real one, and a device asked for its state
    // reports `levels[device]` (hex id), else 0.
    void pimWithDevices(std::map<std::string, int> levels) {
        net.pim.onFrame = [this, levels](const std::string& frame) {
            net.pim.send("PA\r", 10);
            if (frame[0] != '\x14' || frame.size() < 8) return;
            net.pim.send(frame[3] != '0' ? "PK\r" : "PN\r", 285);
            const std::string packet = frame.substr(1, frame.size() - 4);  // no lead, checksum or CR
            if (packet.size() != 12 || packet.substr(10, 2) != "30") return;
            const std::string device = packet.substr(6, 2);
            const auto it = levels.find(device);
            char level[3];
            std::snprintf(level, sizeof level, "%02X", it == levels.end() ? 0 : it->second);
            const std::string report = "0800" + packet.substr(4, 2) + "FF" + device + "86" + level;
            net.pim.send("PU" + report + upb::Checksum(report) + "\r", 320);
        };
    }
    // A device sends a packet on the line.
    void heard(const std::string& packet) { net.pim.send("PU" + packet + upb::Checksum(packet) + "\r"); }

    // The value field of a state record in the settings file on disk.
    std::string savedValue(const std::string& uid) const {
        const std::string ini = ReadFile(dir / "Config/Tarvelo.ini");
        const size_t at = ini.find(uid + "=");
        if (at == std::string::npos) return "(none)";
        const size_t first = ini.find(';', at), second = ini.find(';', first + 1);
        return ini.substr(first + 1, second - first - 1);
    }
    // 0 when a program could bind the address and port now, else the error.
    int bindError(const std::string& address, uint16_t port) {
        return platform.createUdpSocket()->bind(address, port);
    }
    // Sends an echo query to the xAP port on `address`; true when it was answered.
    bool answersEcho(const std::string& address) {
        const std::string answer = "Response=" + address + "\n";
        const size_t before = platform.udp.sentTo(3639, answer).size();
        platform.udp.deliver(kXapPort,
                             "xap-header\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=ZIZ.Echo\nsource=acme.tool.test\n}\n"
                             "Echo.Query\n{\nQuery=" + address + "\n}\n",
                             0, address);
        platform.advance(1000);
        return platform.udp.sentTo(3639, answer).size() == before + 1;
    }
};

} // namespace

TEST(GatewayStartup, AnEmptyBaseFolderGetsItsFoldersSettingsFilesAndXapPort) {
    Rig r;
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(fs::is_directory(r.dir / "Config"));
    EXPECT_TRUE(fs::is_directory(r.dir / "Data"));
    // A missing settings file is created empty; every setting takes its default.
    EXPECT_TRUE(fs::exists(r.dir / "Config" / "Tarvelo.ini"));
    EXPECT_TRUE(fs::exists(r.dir / "Config" / "zantuXap.ini"));
    // The script host makes the text log; xAP came up, so nothing went into it.
    EXPECT_EQ(fs::file_size(r.dir / "Data" / "Tarvelo.txt"), 0u);

    // The port is held on loopback and on the LAN address, and both answer.
    EXPECT_EQ(r.bindError("127.0.0.1", kXapPort), 10048);
    EXPECT_EQ(r.bindError("192.168.1.20", kXapPort), 10048);
    EXPECT_TRUE(r.answersEcho("127.0.0.1"));
    EXPECT_TRUE(r.answersEcho("192.168.1.20"));

    // The first datagram is the heartbeat announcing that port under the
    // machine's name and the default UID.
    const std::vector<std::string> sent = r.platform.udp.sentTo(3639);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0].rfind("xap-hbeat\n{\n", 0), 0u) << sent[0];
    for (const char* line : {"\nclass=xap-hbeat.alive\n", "\nsource=zantu.UPB.TESTBOX\n", "\nuid=FF.0002:00\n",
                             "\nport=32768\n"})
        EXPECT_NE(sent[0].find(line), std::string::npos) << line << " in\n" << sent[0];
}

// xAP is up before the PIM hears anything; the options write goes first, then
// one status request per device in the export's order, and nothing more.
TEST(GatewayStartup, ThePimHearsTheOptionsWriteThenOneStatusRequestPerDevice) {
    Rig r;
    r.installation();
    r.pimWithDevices({});
    bool xapUpFirst = false;
    auto answer = r.net.pim.onFrame;
    r.net.pim.onFrame = [&](const std::string& frame) {
        if (r.net.pim.frames.size() == 1) xapUpFirst = !r.platform.udp.sentTo(3639, "xap-hbeat").empty();
        answer(frame);
    };
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    r.platform.advance(60000);
    EXPECT_TRUE(xapUpFirst);
    EXPECT_EQ(r.net.pim.frames,
              (std::vector<std::string>{upb::FramePimMessage(upb::kPimOptionsWrite),
                                        upb::FrameUpbMessage(upb::BuildStatusRequest(1, 5)),
                                        upb::FrameUpbMessage(upb::BuildStatusRequest(1, 12)),
                                        upb::FrameUpbMessage(upb::BuildStatusRequest(1, 7))}));
    EXPECT_TRUE(r.logged("Tarvelo", "UPB PIM Comm Port 2101 Opened"));
}

// Shut-down writes the state records (the restored ones as the start-up poll
// and later traffic changed them), then closes the PIM connection and the xAP
// sockets; it runs once.
TEST(GatewayStartup, ShutDownSavesTheStateRecordsThenClosesThePimAndXap) {
    Rig r;
    r.installation();
    r.pimWithDevices({{"05", 40}});
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    r.platform.advance(60000);
    ASSERT_EQ(r.net.pim.frames.size(), 4u);
    // A wall switch of the desk lamp sends link 2; its event shows it was taken in.
    r.heard("8905010207" "20FFFF");
    r.platform.runUntil([&] { return !r.platform.udp.sentTo(3639, ".UPB01_M07_C01_01.").empty(); }, 10000);
    // Until shut-down the records live in memory only.
    ASSERT_EQ(r.savedValue("UPB01_M05_C01_00"), "0");
    ASSERT_EQ(r.savedValue("UPB01_M07_C01_01"), "0");
    const int connects = r.net.connectCalls;

    g.RequestExit();
    EXPECT_EQ(r.savedValue("UPB01_M05_C01_00"), "40");   // restored, then polled
    EXPECT_EQ(r.savedValue("UPB01_M07_C01_01"), "100");  // the switch press
    EXPECT_FALSE(r.net.connected());
    EXPECT_EQ(r.bindError("127.0.0.1", kXapPort), 0);
    EXPECT_EQ(r.bindError("192.168.1.20", kXapPort), 0);

    // Nothing runs on: no heartbeat, no poll, no reconnect to the PIM whose
    // connection the gateway closed itself.
    const size_t frames = r.net.pim.frames.size(), datagrams = r.platform.udp.sent.size();
    r.platform.advance(3600000);
    EXPECT_EQ(r.net.pim.frames.size(), frames);
    EXPECT_EQ(r.platform.udp.sent.size(), datagrams);
    EXPECT_EQ(r.net.connectCalls, connects);

    // The end of the program runs the shut-down again after an exit request:
    // a change in between must not reach the file a second time.
    const std::string saved = ReadFile(r.dir / "Config/Tarvelo.ini");
    g.installation().tracker().UPBReceive("8904010207" "21FFFF00");
    g.Shutdown();
    EXPECT_EQ(ReadFile(r.dir / "Config/Tarvelo.ini"), saved);
}

TEST(GatewayStartup, ThePeriodicScriptFollowsTheSetting) {
    for (const auto& [setting, runs] : {std::pair<const char*, size_t>{"90", 2}, {"often", 0}}) {
        Rig r;
        WriteFile(r.dir / "Config" / "Tarvelo.ini", std::string("[UPB]\r\nPeriodicScriptInterval=") + setting + "\r\n");
        Gateway& g = r.make();
        ASSERT_TRUE(g.Start());
        // Every 90 s of program time, with the empty tag; never for a setting that is no number.
        r.platform.advance(89000);
        EXPECT_TRUE(r.scriptRuns.empty()) << setting;
        r.platform.advance(181000 - 89000);
        EXPECT_EQ(r.scriptRuns, std::vector<std::string>(runs, "")) << setting;
    }
}

TEST(GatewayStartup, AGarbledSettingsFileStillStartsAndIsNotLost) {
    Rig r;
    const std::string garbled = std::string("[UPB]\r\nnonsense line\r\n\x01\x02\xff\r\nShowReceiveMessages=true\r\n");
    WriteFile(r.dir / "Config" / "Tarvelo.ini", garbled);
    Gateway& g = r.make();
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(g.settings().ShowReceiveMessages);
    EXPECT_TRUE(r.logged("IniTool", " Equal sign not found on line nonsense line"));
    g.Shutdown();
    // Nothing changed, so nothing was rewritten.
    EXPECT_EQ(ReadFile(r.dir / "Config" / "Tarvelo.ini"), garbled);
}

// Entries written before the transport was up go out first, in order, then
// the port line and the time query.
TEST(GatewayStartup, HeldLogEntriesGoOutOverXapFirst) {
    Rig r;
    WriteFile(r.dir / "Config" / "Tarvelo.ini", "[UPB]\r\nDebugLog=true\r\n");
    Gateway& g = r.make();
    g.log().WriteLog("Tarvelo", "before the transport");
    ASSERT_TRUE(g.Start());
    EXPECT_TRUE(g.log().held().empty());
    const std::vector<std::string> sent = r.platform.udp.sentTo(3639);
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(sent[0].rfind("xap-hbeat\n", 0), 0u);
    EXPECT_NE(sent[1].find("Data=before the transport\n"), std::string::npos);
    EXPECT_NE(sent[2].find("Data=Web server "), std::string::npos);  // the web server starts before xAP
    EXPECT_NE(sent[3].find("Data=Using xAP port 32768\n"), std::string::npos);
    EXPECT_NE(sent[4].find("class=time.query\n"), std::string::npos);
    EXPECT_NE(sent.back().find("Data=Internal Timer Started\n"), std::string::npos);
}

// No loopback port free: the text log gets the line and the program ends
// without speaking to the PIM.
TEST(GatewayStartup, NoFreeXapPortEndsTheProgram) {
    Rig r;
    r.installation();
    r.pimWithDevices({});
    for (int p = kXapPort; p < kXapPort + 200; ++p) r.platform.udp.taken.push_back({"127.0.0.1", static_cast<uint16_t>(p)});
    Gateway& g = r.make();
    EXPECT_FALSE(g.Start());
    EXPECT_NE(ReadFile(r.dir / "Data" / "Tarvelo.txt").find("Tarvelo xAP Init Error -1 occurred"), std::string::npos);
    EXPECT_FALSE(g.initialised());
    EXPECT_EQ(r.net.connectCalls, 0);
    EXPECT_TRUE(r.net.pim.frames.empty());
}
