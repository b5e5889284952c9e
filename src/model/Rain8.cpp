#include "model/Rain8.h"

#include <cmath>

#include "common/Text.h"

namespace tarvelo::model {

int Rain8::AddRain8(const std::string& setting) {
    int added = 0;
    if (setting.empty()) return added;
    Guard(&log_, "AddRain8", [&] {
        for (const std::string& entry : Split(setting, ",")) {
            const int16_t n = ToInt16(std::trunc(Val(entry)));
            for (int v = 1; v <= 8; ++v) {
                const int16_t id = ToInt16((n - 1.0) * 8 + v);
                auto module = std::make_shared<UPBModule>();
                module->ModuleID = Dec(id);
                module->index = id;
                module->NetId = network_.NetworkId;
                module->Kind = 8;
                module->Outputs = module->Inputs = module->Channels = 1;
                module->Room = "Rain8";
                module->name = "Rain8 Module " + entry + " Valve " + Dec(v);
                auto channel = std::make_shared<UPBChannel>();
                channel->Channel = 1;
                channel->Parent = module;
                auto state = std::make_shared<UPBLinkState>();
                state->OnLink = state->OffLink = "R" + module->ModuleID;
                state->Componentindex = 1;
                state->UIDindex = static_cast<int32_t>(id) * 256 + v;
                state->StatusMask = -1;  // any reported bit means the valve is open
                state->Controllable = true;
                channel->add(channel, state);
                module->AddChannel(channel);
                network_.UPBModules.add(module->ModuleID, module);
                ++added;
            }
        }
    });
    return added;
}

} // namespace tarvelo::model
