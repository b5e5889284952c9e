// Scripts come from users: any bytes must give a result or a positioned
// error, never a crash or a hang. Code that compiles also runs, briefly.
#include <cstdint>
#include <string>

#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string code(reinterpret_cast<const char*>(data), size);
    Engine engine;
    engine.SetTimeout(50);
    engine.Host().msgBox = [](const std::string&, int, const std::string&) { return 1; };
    engine.Host().inputBox = [](const std::string&, const std::string&, const std::string& d) { return d; };
    try {
        engine.AddCode(code);
    } catch (const ScriptException& e) {
        if (e.info.number == 0) __builtin_trap();
        if (e.info.number >= 1000 && e.info.number < 1100 && (e.info.line < 1 || e.info.column < 1)) __builtin_trap();
    } catch (const ScriptQuit&) {
    }
    return 0;
}
