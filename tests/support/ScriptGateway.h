#pragma once
// A whole gateway in virtual time with one tagged, notifying lamp (module 7,
// tag "Lamp"), a captured foreign device "Lounge", the user's main script
// and the log entries it wrote.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "sim/SimProcess.h"
#include "support/TempDir.h"

namespace tarvelo::testing {

struct ScriptGateway {
    TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    std::vector<app::LogEntry> log;
    std::vector<std::pair<std::string, int64_t>> mains;  // tag and virtual time of each "Main"
    std::unique_ptr<Gateway> gateway;

    // `script`: Scripts/Tarvelo.txt (none when empty); `upbSection`: more [UPB] keys.
    explicit ScriptGateway(const std::string& script, const std::string& upbSection = "") {
        net.pim.answerLikeAPim();
        WriteFile(dir / "Data/Tarvelo/Tarvelo.upe",
                  "0,5,2,3,1,0\r\n2,5,Hall\r\n3,7,1,1,1,1,0,2,1,0,1,Hall,Lamp,0\r\n8,0,7,1,0\r\n4,0,0,7,5,100,0\r\n1\r\n");
        WriteFile(dir / "Config/Tarvelo.ini",
                  "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n" + upbSection +
                      "UPB01_M07_C01_01=2026-12-06 06:00:00;0;False;True;;Lamp;True;;\r\n"
                      "[Received]\r\nacme.temp.host~xAPBSC.event=Lounge;1\r\n[Devices]\r\nLounge=2000-01-01 00:00:00\r\n");
        if (!script.empty()) WriteFile(dir / "Scripts/Tarvelo.txt", script);
        app::Paths paths;
        paths.base = dir.path();
        gateway = std::make_unique<Gateway>(
            platform, paths,
            Gateway::Options{.mirrorLog = false,
                             .runMain = [this](const std::string& tag) { mains.emplace_back(tag, platform.now()); },
                             .onLogEntry = [this](const app::LogEntry& e) { log.push_back(e); }});
    }

    void Start() {
        ASSERT_TRUE(gateway->Start());
        platform.advance(30000);  // the start-up polls are done
        net.pim.frames.clear();
        platform.udp.sent.clear();
    }

    scripting::Application& app() { return gateway->application(); }

    // An xAP command that switches the lamp on (a direct goto to module 7).
    void CommandLampOn() {
        platform.udp.deliver(32768,
                             "xap-header\r\n{\r\nv=13\r\nhop=1\r\nuid=FF.1234:00\r\nclass=xAPBSC.cmd\r\nsource=acme.tool.host\r\n"
                             "target=zantu.UPB.TESTBOX:>\r\n}\r\noutput.state.1\r\n{\r\nID=0702\r\nLevel=3\r\n}\r\n");
    }
    // A message the "Lounge" filter captures (a trigger).
    void LoungeSays(const std::string& text) {
        platform.udp.deliver(32768, "xap-header\n{\nclass=xAPBSC.event\nsource=acme.temp.host\n}\ninput.state\n{\nText=" +
                                        text + "\n}\n");
    }

    // The data of every log entry of that type, in order.
    std::vector<std::string> Logged(const std::string& type) const {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (e.type == type) out.push_back(e.data);
        return out;
    }
    // Log entries of any type whose data starts with `prefix`.
    std::vector<std::string> LoggedStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (e.data.rfind(prefix, 0) == 0) out.push_back(e.data);
        return out;
    }

    // Runs a statement list in a throw-away module, as a script would.
    void Exec(const std::string& code) {
        WriteFile(dir / "Scripts/exec.txt", "Sub Go()\n" + code + "\nEnd Sub\n");
        app().RunEx("exec.txt", "Go", "");
    }
};

} // namespace tarvelo::testing
