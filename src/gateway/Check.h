#pragma once
// `tarvelo --check [--base DIR]`: loads the settings and the installation
// exactly as start-up does, without opening the PIM or any socket, and
// reports what it found. Run it after exporting a new configuration.

#include <ostream>

#include "app/Paths.h"
#include "platform/Platform.h"

namespace tarvelo {

// Prints the summary and every problem logged while loading to `out`.
// Returns the exit status: 0 when nothing was logged, 1 otherwise.
int RunCheck(platform::Platform& platform, const app::Paths& paths, std::ostream& out);

} // namespace tarvelo
