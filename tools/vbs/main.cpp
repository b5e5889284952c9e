// tarvelo-vbs FILE [ARGS...]: runs a script the way a command-line script host
// does. Errors print "FILE(line, column) description (error N)" to standard
// error and exit with 1; WScript.Quit sets the exit code.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "WScript.h"
#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

namespace {

void Usage(std::FILE* f) {
    std::fputs("usage: tarvelo-vbs FILE [ARGS...]\n"
               "Runs a VBScript file. WScript.Echo writes to standard output; an error prints\n"
               "FILE(line, column) description (error N) to standard error and exits with 1.\n"
               "Options: --timeout MS  stop the script after MS milliseconds\n",
               f);
}

}  // namespace

int main(int argc, char** argv) {
    long timeout = 0;
    int i = 1;
    for (; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--timeout") && i + 1 < argc) {
            timeout = std::atol(argv[++i]);
            continue;
        }
        break;
    }
    if (i >= argc) {
        Usage(stderr);
        return 2;
    }
    std::string path = argv[i];
    std::vector<std::string> args(argv + i + 1, argv + argc);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open file\n", path.c_str());
        return 1;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    std::string code = buf.str();
    if (code.compare(0, 3, "\xEF\xBB\xBF") == 0) code.erase(0, 3);

    Engine engine;
    engine.SetTimeout(timeout);
    engine.AddObject("WScript", MakeWScript(engine.GetRuntime(), path, args), false);
    int rc = 0;
    try {
        engine.AddCode(code);
    } catch (const ScriptException& e) {
        std::fflush(stdout);
        const ScriptErrorInfo& err = e.info;
        std::fprintf(stderr, "%s(%d, %d) %s (error %d)\n", path.c_str(), err.line, err.column,
                     err.Message().c_str(), err.number);
        rc = 1;
    } catch (const ScriptQuit& q) {
        rc = q.exitCode;
    }
    std::fflush(stdout);
    return rc;
}
