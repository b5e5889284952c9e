#pragma once
// One read-only picture of the running gateway, taken on demand. The status
// page and the desktop read this instead of reaching into the subsystems.

#include <cstddef>
#include <cstdint>

#include "upb/UpbInterface.h"
#include "xap/XapService.h"

namespace tarvelo {

struct ModelSizes {
    size_t modules = 0;
    size_t channels = 0;
    size_t states = 0;
    size_t links = 0;
    size_t delayTimers = 0;
    int rain8Valves = 0;
};

struct Status {
    upb::UpbStatus upb;
    xap::XapStatus xap;
    uint64_t logEntriesDropped = 0;  // held before xAP was ready, oldest first
    uint64_t logRepeatsLeftOut = 0;  // identical entries beyond a few a second
    int64_t uptimeSeconds = 0;       // since Start
    ModelSizes model;
};

} // namespace tarvelo
