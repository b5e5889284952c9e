#pragma once
// Rain8 irrigation controllers: not in the UPStart export, listed by the
// Rain8Modules setting ("1,2"). Controller n owns the UPB ids (n-1)*8+1 ..
// (n-1)*8+8; each valve becomes a one-channel module of kind 8 of its own.

#include <string>

#include "common/Guard.h"
#include "model/Network.h"

namespace tarvelo::model {

class Rain8 {
public:
    Rain8(Network& network, LogSink& log) : network_(network), log_(log) {}

    // Adds the valves of every listed controller; stops (one "AddRain8" log
    // entry) at an id that is already a module. Returns the valves added.
    int AddRain8(const std::string& setting);

private:
    Network& network_;
    LogSink& log_;
};

} // namespace tarvelo::model
