#pragma once
// Shared helpers of the model tests: export text and model lookups.

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/Network.h"

namespace tarvelo::testing {

// Lines joined with CR LF, as the configuration tool writes them.
inline std::string Crlf(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

inline std::shared_ptr<model::UPBModule> Module(model::Network& net, const std::string& id) {
    auto* m = net.UPBModules.find(id);
    if (!m) throw std::runtime_error("no module " + id);
    return *m;
}

// State at 1-based channel and state positions of a module.
inline std::shared_ptr<model::UPBLinkState> State(model::Network& net, const std::string& id, size_t channel,
                                                  size_t state) {
    return Module(net, id)->Channel(channel)->LinkCollection.at(state - 1);
}

inline size_t StateCount(model::Network& net, const std::string& id) {
    size_t n = 0;
    for (auto& ch : Module(net, id)->ChannelCollection()) n += ch->LinkCollection.size();
    return n;
}

// A module of the given kind with one channel (number 0), added to the network.
inline std::shared_ptr<model::UPBModule> AddModule(model::Network& net, const std::string& id, int16_t kind,
                                                   const std::string& netId = "1") {
    auto m = std::make_shared<model::UPBModule>();
    m->ModuleID = id;
    m->NetId = netId;
    m->Kind = kind;
    m->name = "Device " + id;
    m->Room = "Room";
    auto ch = std::make_shared<model::UPBChannel>();
    ch->Parent = m;
    m->AddChannel(ch);
    net.UPBModules.add(id, m);
    return m;
}

// A tracked state on the module's first channel.
inline std::shared_ptr<model::UPBLinkState> AddState(const std::shared_ptr<model::UPBModule>& m, int16_t mask,
                                                     const std::string& link, int16_t component = 0) {
    auto s = std::make_shared<model::UPBLinkState>();
    s->StatusMask = mask;
    s->OnLink = s->OffLink = link;
    s->Componentindex = component;
    auto ch = m->Channel(1);
    ch->add(ch, s);
    return s;
}

// A link entry: id, name, UID, then the modules using it.
inline void AddLink(model::Network& net, const std::string& id, std::vector<std::string> modules) {
    model::LinkEntry e;
    e.items = {id, "Link " + id, std::to_string(net.UPBLinks.count() + 1)};
    e.items.insert(e.items.end(), modules.begin(), modules.end());
    net.UPBLinks.add(std::move(e), id + "~");
}

} // namespace tarvelo::testing
