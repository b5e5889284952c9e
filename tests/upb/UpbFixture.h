#pragma once
// A UPB interface on the simulation platform, with the PIM's end of the line,
// a captured log and a small installation: network 1, a switch (kind 2) with
// id 5, an input module (kind 3) with id 12, and the scene module "0" whose
// state drives link 7 (shared by 12 and 15).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramSettings.h"
#include "model/ModelTestUtil.h"
#include "model/Network.h"
#include "sim/SimNet.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"
#include "upb/UpbInterface.h"

namespace tarvelo::testing {

// A device with one state, switched by Activate and Deactivate.
inline std::shared_ptr<model::UPBLinkState> AddDevice(model::Network& net, const std::string& id, int16_t kind) {
    auto state = AddState(AddModule(net, id, kind, net.NetworkId), 255, "");
    state->OnCommand = 0x20;
    state->OffCommand = 0x21;
    return state;
}

class UpbTest : public ::testing::Test {
protected:
    UpbTest() {
        settings.UPBCommPort = "3";
        network.NetworkId = "1";
        switchState = AddDevice(network, "5", model::KindSwitch);
        inputState = AddDevice(network, "12", model::KindInput);
        AddDevice(network, "15", model::KindInput);
        sceneState = AddDevice(network, "0", model::KindLink);
        AddLink(network, "7", {"12", "15"});
    }

    // Opens the serial line and lets the PIM answer like a real one.
    void openSerial() {
        ASSERT_TRUE(upb.connection().OpenCommPort("3"));
        net.pim.answerLikeAPim();
        log.entries.clear();
    }

    std::shared_ptr<model::UPBStatus> status(const std::shared_ptr<model::UPBLinkState>& s, int16_t value) {
        auto st = std::make_shared<model::UPBStatus>();
        st->Link = s;
        st->Value = value;
        return st;
    }

    // The frames written, without their lead character and CR.
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& f : net.pim.frames) out.push_back(f.substr(1, f.size() - 2));
        return out;
    }

    size_t logged(const std::string& data) const {
        return static_cast<size_t>(std::count_if(log.entries.begin(), log.entries.end(),
                                                 [&](const auto& e) { return e.second == data; }));
    }

    sim::SimPlatform p;
    sim::SimNet net{p};
    CapturingLog log;
    app::ProgramSettings settings;
    model::Network network;
    std::vector<std::string> received;
    std::vector<std::shared_ptr<model::UPBLinkState>> notified;
    upb::UpbInterface upb{p, log, settings, network,
                          {.upbReceive = [this](const std::string& packet) { received.push_back(packet); },
                           .NotifyUPBState = [this](const auto& s) { notified.push_back(s); }}};
    std::shared_ptr<model::UPBLinkState> switchState, inputState, sceneState;
};

} // namespace tarvelo::testing
