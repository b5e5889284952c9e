// The built-in function library: registers its functions, constants and
// creatable classes on a runtime. Called once for every engine created.
#pragma once

namespace tarvelo::vbs {

class Runtime;

void RegisterLibrary(Runtime& rt);

}  // namespace tarvelo::vbs
