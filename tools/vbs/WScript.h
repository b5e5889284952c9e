// The WScript object of the command-line runner: Echo, Arguments, Quit,
// ScriptName, ScriptFullName, Sleep, StdOut and StdErr.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

// rt: the engine the object is added to (Sleep keeps to its time-out).
ObjectRef MakeWScript(Runtime& rt, std::string scriptPath, std::vector<std::string> args);

}  // namespace tarvelo::vbs
