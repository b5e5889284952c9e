// CreateObject("Tarvelo.Application") in the runner: the running gateway's
// script host object, reached through its local socket.
#pragma once

#include <string>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

// The gateway is looked for, in order: beside a script kept in a base
// folder's Scripts folder (where spawned jobs are written), in
// $TARVELO_HOME, and in the runner's own folder.
void AddGatewayClass(Runtime& rt, const std::string& scriptPath, const std::string& hostFolder);

// The socket that would be tried for a script (for messages and tests).
std::string GatewaySocketFor(const std::string& scriptPath, const std::string& hostFolder);

}  // namespace tarvelo::vbs
