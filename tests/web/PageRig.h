#pragma once
// A status page over a small model, served to simulated requests: the row
// components of every kind, and what the page hands out through its callbacks.
#include <gtest/gtest.h>

#include <regex>

#include "support/TempDir.h"
#include "web/SimHttp.h"
#include "web/StatusPage.h"

namespace tarvelo::testing {

using model::UPBLinkState;


struct Sent {
    std::shared_ptr<UPBLinkState> state;
    int16_t value;
    bool isLink;
    int16_t destination;
    bool on;
    int16_t level;
};

struct PageRig {
    PageRig() {
        WriteFile(dir / "Config/Tarvelo.ini", "[UPB]\r\n");
        // Lamp module 12 (links 12 on, 13 off), a dimmer 5 with a command
        // list, a keypad button on link 6, an inverted relay 20 that shares
        // link 12 with the lamp, a Rain8 valve 9, and an untracked input.
        lamp = Add("12", model::KindModule, "Hall", "Lamp", "12", "13", 255);
        dimmer = Add("5", model::KindSwitch, "Living_Room", "Ceiling", "1", "1", 255);
        dimmer->Values = std::string("Deactivate\x02") + "0\x01" + "Activate\x02" + "1\x01" + "Off\x02" + "2\x01" + "On\x02" +
                         "3\x01" + "Dim_40\x02" + "4";
        dimmer->Value = 40;
        keypad = Add("3", model::KindKeypad, "Entry", "Keypad", "6", "6", 0);
        relay = Add("20", model::KindModule, "Garage", "Door", "12", "14", 255);
        relay->Invert = true;
        valve = Add("9", model::KindOther, "Rain8", "Rain8 Module 2 Valve 1", "R9", "R9", -1);
        network.UPBLinks.add(model::LinkEntry{{"12", "Evening", "1", "12"}}, "12~");
        network.UPBLinks.add(model::LinkEntry{{"6", "Porch", "1", "3"}}, "6~");
    }

    std::shared_ptr<UPBLinkState> Add(const std::string& id, int16_t kind, const std::string& room,
                                      const std::string& name, const std::string& on, const std::string& off,
                                      int16_t mask) {
        auto m = std::make_shared<model::UPBModule>();
        m->ModuleID = id;
        m->Kind = kind;
        m->Room = room;
        m->name = name;
        auto ch = std::make_shared<model::UPBChannel>();
        ch->Parent = m;
        m->AddChannel(ch);
        auto s = std::make_shared<UPBLinkState>();
        s->StatusMask = mask;
        s->OnLink = on;
        s->OffLink = off;
        s->Controllable = kind != model::KindKeypad;
        s->UIDindex = static_cast<int32_t>(std::stoi(id) * 256 + 1);
        s->Used = true;
        ch->add(ch, s);
        network.UPBModules.add(id, m);
        return s;
    }

    std::string Serve(const std::string& text, bool* redraw = nullptr) {
        web::Request r;
        r.ParsePage(text);
        r.setRemoteip("192.168.1.30");
        web::StatusPage::Result result = page.Serve(r);
        if (redraw) *redraw = !result.text.empty();
        return result.text;
    }
    std::string Render(int mode) {
        settings.ShowStatus = static_cast<int16_t>(mode);
        return Serve(Get("/stat"));
    }
    // The row identifiers a rendered page carries.
    static std::string ShownRows(const std::string& html) {
        std::smatch m;
        return std::regex_search(html, m, std::regex("name='ShownRows' value='([^']*)'")) ? m[1].str() : "<none>";
    }

    TempDir dir;
    WebSimPlatform platform;
    CapturingLog log;
    app::SettingsCache ini{dir / "Config", &log};
    app::ProgramSettings settings;
    model::Network network;
    web::PageFramework framework{platform, log, ini, settings, dir.path(), dir / "HTML"};
    std::vector<Sent> sent;
    std::vector<std::pair<std::shared_ptr<UPBLinkState>, std::string>> chosen;
    std::vector<std::string> queries, devices;
    xap::DevicesOfInterest interest{log, platform.clock(), network, ini, {}};
    web::StatusPage page{framework,
                         network,
                         ini,
                         settings,
                         interest,
                         log,
                         platform.clock(),
                         "1.2.3",
                         {.SendUPBCommand =
                              [this](const std::shared_ptr<model::UPBStatus>& s, bool isLink, int16_t d, bool on,
                                     int16_t level, int16_t command) {
                                  EXPECT_EQ(command, -1);
                                  sent.push_back({s->Link, s->Value, isLink, d, on, level});
                              },
                          .ControlUPBLink = [this](const auto& s, const std::string& v) { chosen.push_back({s, v}); },
                          .BSCQuery = [this](const std::string& t) { queries.push_back(t); },
                          .AddDeviceOfInterest = [this](const std::string& tag, const auto&) { devices.push_back(tag); },
                          .ReadScript = {},
                          .HttpPortSaved = [this](const std::string& p) { httpPorts.push_back(p); },
                          .ReopenPim = [this](const std::string& old) { reopened.push_back(old); },
                          .ArmPeriodicScript = [this](const std::string& s) { periodic.push_back(s); }}};
    std::vector<std::string> httpPorts, reopened, periodic;
    std::shared_ptr<UPBLinkState> lamp, dimmer, keypad, relay, valve;
};


} // namespace tarvelo::testing
