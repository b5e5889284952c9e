// Settings files come from users' editors and other programs: any bytes must
// load, and what Save writes must load back to the same values.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "app/IniTool.h"

using tarvelo::app::IniTool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One scratch folder per process, removed at exit.
    static const struct Scratch {
        std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("tarvelo-ini-fuzz-" + std::to_string(::getpid()));
        Scratch() { std::filesystem::create_directories(dir); }
        ~Scratch() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } scratch;
    const auto file = scratch.dir / "f.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    IniTool ini;
    ini.Load(file);
    for (const auto& section : ini.Headers()) ini.Keys(section);
    if (!ini.Save()) return 0;
    IniTool back;
    back.Load(file);
    for (const auto& section : ini.Headers())
        for (const auto& key : ini.Keys(section))
            if (!key.empty() && ini.Read(section, key, "") != back.Read(section, key, "")) __builtin_trap();
    return 0;
}
