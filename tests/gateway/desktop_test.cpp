// The desktop as the gateway drives it, in virtual time: the tray menu's
// items, "Exit" and the order of the shut-down, the settings form's load and
// save (the PIM reconnected only for a new port), and the headless default.
#include <gtest/gtest.h>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"
#include "upb/codec/Packet.h"

using namespace tarvelo;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

namespace {

const char* kExport =
    "0,5,3,2,1,0\r\n"
    "2,1,Evening\r\n"
    "3,5,1,5,1,3,2,2,1,1,6,Living Room,Ceiling,0\r\n"
    "8,0,5,1,3\r\n"
    "4,0,0,5,1,100,3\r\n"
    "1\r\n";

struct Rig;

// Records what the gateway asks of it, and lets a test look at the world at
// that moment.
class RecordingDesktop final : public Desktop {
public:
    explicit RecordingDesktop(Rig& rig) : rig_(rig) {}
    void ShowTrayIcon() override;
    void RemoveTrayIcon() override;
    void ShowTraceWindow() override;
    void ShowSettingsForm() override;
    void OpenBrowser(const std::string& url) override;
    void TraceChanged(bool scroll) override;
    void UnloadForms() override;

private:
    void called(const std::string& what);
    Rig& rig_;
};

struct Rig {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    std::unique_ptr<Gateway> gateway;
    DesktopHost host;
    std::vector<app::LogEntry> log;
    std::vector<std::string> calls;
    int traceChanges = 0, traceScrolls = 0;
    std::function<void(const std::string& call)> onCall;

    explicit Rig(std::string ini = "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n") {
        WriteFile(dir / "Data/Tarvelo/Tarvelo.upe", kExport);
        WriteFile(dir / "Config/Tarvelo.ini", ini + "UPB01_M05_C01_00=2026-12-05 22:14:09;0;False;False;;Ceiling;False;;\r\n");
        // The PIM acknowledges; the ceiling, asked for its state, reports 42.
        net.pim.onFrame = [this](const std::string& frame) {
            net.pim.send("PA\r", 10);
            if (frame[0] != '\x14' || frame.size() < 8) return;
            net.pim.send("PK\r", 285);
            const std::string packet = frame.substr(1, frame.size() - 4);
            if (packet.size() != 12 || packet.substr(10, 2) != "30") return;
            const std::string report = "0800" + packet.substr(4, 2) + "FF" + packet.substr(6, 2) + "86" "2A";
            net.pim.send("PU" + report + upb::Checksum(report) + "\r", 320);
        };
    }
    Gateway& make(bool withDesktop = true, std::string headlessReason = "") {
        app::Paths paths;
        paths.base = dir.path();
        Gateway::Options options{.mirrorLog = false,
                                 .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); }};
        if (withDesktop)
            options.desktop = [this](DesktopHost h) {
                host = std::move(h);
                return std::make_unique<RecordingDesktop>(*this);
            };
        options.headlessReason = std::move(headlessReason);
        gateway = std::make_unique<Gateway>(platform, paths, std::move(options));
        return *gateway;
    }
    Gateway& started() {
        Gateway& g = make();
        EXPECT_TRUE(g.Start());
        platform.advance(10000);
        return g;
    }
    size_t logged(const std::string& text) const {
        size_t n = 0;
        for (auto& e : log) n += e.data.find(text) != std::string::npos;
        return n;
    }
    std::string ini() const { return ReadFile(dir / "Config/Tarvelo.ini"); }
};

void RecordingDesktop::called(const std::string& what) {
    rig_.calls.push_back(what);
    if (rig_.onCall) rig_.onCall(what);
}
void RecordingDesktop::ShowTrayIcon() { called("show icon"); }
void RecordingDesktop::RemoveTrayIcon() { called("remove icon"); }
void RecordingDesktop::ShowTraceWindow() { called("trace window"); }
void RecordingDesktop::ShowSettingsForm() { called("settings form"); }
void RecordingDesktop::OpenBrowser(const std::string& url) { called("browser " + url); }
void RecordingDesktop::TraceChanged(bool scroll) {
    ++rig_.traceChanges;
    rig_.traceScrolls += scroll;
}
void RecordingDesktop::UnloadForms() { called("unload forms"); }

TEST(Desktop, TheMenuItemsDoWhatTheirCaptionsSay) {
    Rig r;
    r.started();
    ASSERT_EQ(r.calls, std::vector<std::string>{"show icon"});
    for (int item = 0; item < 7; ++item) r.host.menuChosen(item);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"show icon", "browser http://127.0.0.1:8016/stat", "settings form",
                                                 "trace window", "browser http://127.0.0.1:8016/help"}));
    EXPECT_FALSE(r.gateway->shutDown());
    // The start-up traffic reached the trace window: transmissions scroll it.
    EXPECT_GT(r.traceScrolls, 0);
    EXPECT_NE(r.host.traceText().find("Sent to PIM "), std::string::npos);
    EXPECT_EQ(r.host.traceStatus(), "Port Open / 0 tries");
}

TEST(Desktop, TheBrowserGoesToThePortListenedOnAndNowhereWhenThePagesAreOff) {
    Rig any("[UPB]\r\nHTTPPort=0\r\n");
    any.started();
    any.host.menuChosen(kMenuBrowser);
    ASSERT_EQ(any.calls.size(), 2u);
    EXPECT_EQ(any.calls[1], "browser http://127.0.0.1:" + std::to_string(any.gateway->web().server().port()) + "/stat");
    EXPECT_NE(any.calls[1], "browser http://127.0.0.1:0/stat");

    Rig off("[UPB]\r\nHTTPPort=\"\"\r\n");
    off.started();
    off.host.menuChosen(kMenuHelp);
    EXPECT_EQ(off.calls, std::vector<std::string>{"show icon"});
    EXPECT_EQ(off.logged("No page to open: the web server is off"), 1u);
}

// "Exit": the closing flag first, then the states are saved, the icon goes,
// the windows close before the PIM port, and the gateway closing its own
// bridge connection is not reported as a lost one.
TEST(Desktop, ExitShutsDownInOrderWithoutReportingTheClosedBridge) {
    Rig r;
    Gateway& g = r.started();
    ASSERT_TRUE(r.net.connected());
    std::string savedAtIconRemoval;
    bool closingAtIconRemoval = false, pimOpenWhileFormsClose = false;
    r.onCall = [&](const std::string& call) {
        if (call == "remove icon") {
            savedAtIconRemoval = r.ini();
            closingAtIconRemoval = g.closing();
        }
        if (call == "unload forms") pimOpenWhileFormsClose = r.net.connected();
    };
    r.host.menuChosen(kMenuExit);
    EXPECT_TRUE(g.shutDown());
    EXPECT_EQ(r.calls, (std::vector<std::string>{"show icon", "remove icon", "unload forms"}));
    EXPECT_TRUE(closingAtIconRemoval);
    EXPECT_NE(savedAtIconRemoval.find(";42;"), std::string::npos)
        << savedAtIconRemoval;
    EXPECT_TRUE(pimOpenWhileFormsClose) << r.ini();
    EXPECT_FALSE(r.net.connected());
    r.platform.advance(120000);
    EXPECT_EQ(r.logged("UPB PIM IP Connection Closed"), 0u);

    // A form saved just before "Exit" arrives too late to reopen the port.
    const int connects = r.net.connectCalls;
    const std::string saved = r.ini();
    r.host.saveSetupForm({"2102", "192.168.1.50", "8016", "False", "Black", "StyleNoBody.css", "FF.0002:00", "false",
                          "0", "false", ""});
    EXPECT_EQ(r.net.connectCalls, connects);
    EXPECT_EQ(r.ini(), saved);
}

TEST(Desktop, TheSettingsFormShowsWhatTheProgramUsesAndAnUntouchedSaveChangesNothing) {
    Rig r;
    r.started();
    const std::vector<std::string> boxes = r.host.loadSetupForm();
    EXPECT_EQ(boxes, (std::vector<std::string>{"2101", "192.168.1.50", "8016", "False", "Black", "StyleNoBody.css",
                                               "FF.0002:00", "false", "0", "false", ""}));
    const int connects = r.net.connectCalls;
    r.host.saveSetupForm(boxes);
    EXPECT_EQ(r.net.connectCalls, connects);  // the same port: the connection stays
    EXPECT_TRUE(r.net.connected());
    EXPECT_NE(r.ini().find("HTTPPort=8016\r\n"), std::string::npos);  // not an empty port that turns the pages off
    EXPECT_EQ(r.gateway->web().server().port(), 8016);
    EXPECT_FALSE(r.gateway->periodicScriptTimer().enabled());
}

// Boxes 7 to 10 edit the settings their labels name; the interval takes
// effect at once.
TEST(Desktop, TheLabelledBoxesEditTheirSettingsAndTheIntervalIsArmedAtOnce) {
    Rig r;
    Gateway& g = r.started();
    std::vector<std::string> boxes = r.host.loadSetupForm();
    boxes[3] = "1";
    boxes[7] = "true";
    boxes[8] = "2";
    boxes[9] = "true";
    boxes[10] = "90";
    r.host.saveSetupForm(boxes);
    const std::string ini = r.ini();
    for (const char* line : {"DebugLog=1\r\n", "ShowOnlyUsed=true\r\n", "ShowStatus=2\r\n", "ShowReceiveDetail=true\r\n",
                             "PeriodicScriptInterval=90\r\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;
    EXPECT_TRUE(g.settings().DebugLog);
    EXPECT_TRUE(g.settings().ShowOnlyUsed);
    EXPECT_EQ(g.settings().ShowStatus, 2);
    EXPECT_TRUE(g.settings().ShowReceiveDetail);
    EXPECT_TRUE(g.periodicScriptTimer().enabled());
    EXPECT_EQ(g.periodicScriptTimer().interval(), 30000);
    EXPECT_EQ(g.periodicSchedule().wholeMinutes, 1);

    boxes[10] = "";
    r.host.saveSetupForm(boxes);
    EXPECT_FALSE(g.periodicScriptTimer().enabled());
}

TEST(Desktop, ANewPortOrBridgeAddressInTheFormReconnectsThePim) {
    Rig r;
    Gateway& g = r.started();
    std::vector<std::string> boxes = r.host.loadSetupForm();
    r.net.bridgePort = 2102;  // the old port refuses from now on
    boxes[0] = "2102";
    const int connects = r.net.connectCalls;
    r.host.saveSetupForm(boxes);
    EXPECT_TRUE(r.net.connected());
    EXPECT_EQ(r.net.connectCalls, connects + 1);
    EXPECT_EQ(g.settings().UPBCommPort, "2102");
    EXPECT_EQ(r.logged("UPB PIM Comm Port 2102 Opened"), 1u);
    EXPECT_NE(r.ini().find("UPBCommPort=2102\r\n"), std::string::npos);

    r.net.bridgeHost = "192.168.1.51";
    boxes[1] = "192.168.1.51";
    r.host.saveSetupForm(boxes);
    EXPECT_TRUE(r.net.connected());
    EXPECT_EQ(r.net.connectCalls, connects + 2);
    EXPECT_EQ(r.logged("UPB PIM IP Connection Closed"), 0u);
    EXPECT_NE(r.host.traceStatus().find("Port Open"), std::string::npos);
}

TEST(Desktop, WithoutADesktopTheGatewayRunsAndSaysWhyOnce) {
    Rig r;
    Gateway& g = r.make(false, "the desktop has no system tray");
    ASSERT_TRUE(g.Start());
    r.platform.advance(10000);
    EXPECT_EQ(r.logged("No tray icon: the desktop has no system tray"), 1u);
    g.MenuChosen(kMenuGUI);  // nothing to show, nothing breaks
    g.RequestExit();
    EXPECT_TRUE(g.shutDown());
    EXPECT_EQ(r.logged("No tray icon"), 1u);
}

} // namespace
