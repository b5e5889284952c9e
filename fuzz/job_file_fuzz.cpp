// Job files (.wsf) come from users and from the gateway: any bytes must give a
// job or a positioned error, never a crash or a hang, and inline code always
// starts at a line of the file.
#include <cstdint>
#include <string>

#include "scripting/vbscript/JobFiles.h"

using namespace tarvelo::vbs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    JobFile job = ParseJobFile(text);
    if (job.error) {
        if (job.error->line < 1 || job.error->column < 1 || job.error->message.empty()) __builtin_trap();
        return 0;
    }
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    for (const JobScript& s : job.scripts) {
        size_t codeLines = 1;
        for (char c : s.code) codeLines += c == '\n';
        if (s.hasCode && codeLines > lines) __builtin_trap();
    }
    return 0;
}
