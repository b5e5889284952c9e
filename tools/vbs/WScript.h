// The WScript object of the command-line runner, as a console script host has
// it: Echo, Arguments (with Named and Unnamed), Quit, Sleep, ScriptName,
// ScriptFullName, FullName, Name, Path, Version, Interactive, CreateObject,
// GetObject, StdIn, StdOut and StdErr.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

struct HostInfo {
    std::string scriptPath;          // as given on the command line
    std::vector<std::string> args;   // the script's own arguments
    std::string hostFolder;          // WScript.Path: the folder of the runner
};

// rt: the engine the object is added to (Sleep keeps to its time-out).
ObjectRef MakeWScript(Runtime& rt, HostInfo info);

}  // namespace tarvelo::vbs
