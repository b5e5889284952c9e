// tarvelo-vbs FILE [ARGS...]: runs a script the way a console script host does.
// tarvelo-vbs --check FILE...: compiles scripts without running them.
// Files are read as the gateway's loader reads them (byte-order marks,
// "#include" directives). Errors print "FILE(line, column) description (error N)"
// to standard error; WScript.Quit sets the exit code.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "GatewayLink.h"
#include "WScript.h"
#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/Engine.h"
#include "scripting/vbscript/ScriptFiles.h"

using namespace tarvelo::vbs;
namespace fs = std::filesystem;

namespace {

void Usage(std::FILE* f) {
    std::fputs(
        "usage: tarvelo-vbs [--timeout MS] [--scripts DIR] FILE [ARGS...]\n"
        "       tarvelo-vbs --check [--scripts DIR] FILE...\n"
        "\n"
        "Runs a VBScript file with the gateway's script engine, the way a console\n"
        "script host runs one. The WScript object has Echo, Arguments (with Named\n"
        "\"/name:value\" and \"/flag\" arguments and Unnamed ones), StdIn, StdOut, StdErr,\n"
        "Quit, Sleep, CreateObject, GetObject, ScriptName, ScriptFullName, Path,\n"
        "Version and Interactive. WScript.FullName ends in \"cscript.exe\": this is a\n"
        "console host, and scripts that relaunch themselves under one see that they\n"
        "already run in one.\n"
        "\n"
        "Files are read as the gateway loads scripts: UTF-16 and UTF-8 files with a\n"
        "byte-order mark are converted, other files are taken as they are; each\n"
        "#include \"name\" directive loads the named file first (found in the folder of\n"
        "FILE, or in DIR given with --scripts).\n"
        "\n"
        "An error prints FILE(line, column) description (error N) to standard error\n"
        "and exits with 1; WScript.Quit N exits with N.\n"
        "\n"
        "Options:\n"
        "  --check        compile each FILE and the files it includes without running\n"
        "                 anything; print each syntax error; exit 0 when every file\n"
        "                 compiles, 1 otherwise\n"
        "  --timeout MS   stop the script after MS milliseconds\n"
        "  --scripts DIR  the folder #include names are looked up in\n"
        "  --time         print the script's own CPU time (start-up excluded) and the\n"
        "                 peak memory to standard error (bench/vbscript_compare.py)\n"
        "  -h, --help     show this text\n",
        f);
}

std::optional<std::string> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buf;
    buf << in.rdbuf();
    return buf.str();
}

// Where the loader finds an included name: the scripts folder, whatever the
// name's Windows-style separators; a name with a drive letter is used as it is.
fs::path IncludePath(const fs::path& scripts, std::string name) {
    if (name.find(':') != std::string::npos) return name;
    for (char& c : name)
        if (c == '\\') c = '/';
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    return scripts / name;
}

// The file and its includes, as the engine is to receive them. nullopt when FILE cannot be read.
struct Loaded {
    std::vector<SourcePiece> pieces;  // file: the path to report
};

std::optional<Loaded> Load(const std::string& file, const std::string& scriptsOption) {
    std::optional<std::string> bytes = ReadBytes(file);
    if (!bytes) return std::nullopt;
    fs::path scripts = scriptsOption.empty() ? fs::path(file).parent_path() : fs::path(scriptsOption);
    std::vector<std::string> notes;
    ReadScriptFile read = [&](const std::string& name) -> std::optional<std::string> {
        fs::path p = IncludePath(scripts, name);
        std::optional<std::string> b = ReadBytes(p);
        if (!b) {
            notes.push_back(file + ": #include \"" + name + "\": " + p.string() + " not found, left out");
            return std::nullopt;
        }
        return ScriptTextFromFile(*b);
    };
    Loaded out;
    out.pieces = ExpandIncludes(file, ScriptTextFromFile(*bytes), read, notes);
    for (auto& piece : out.pieces)
        if (piece.file != file) piece.file = IncludePath(scripts, piece.file).string();
    for (const auto& n : notes) std::fprintf(stderr, "%s\n", n.c_str());
    return out;
}

void PrintError(const std::string& file, const ScriptErrorInfo& err) {
    std::fprintf(stderr, "%s(%d, %d) %s (error %d)\n", file.c_str(), err.line, err.column, err.Message().c_str(),
                 err.number);
}

int Check(const std::vector<std::string>& files, const std::string& scripts) {
    int rc = 0;
    for (const std::string& file : files) {
        std::optional<Loaded> loaded = Load(file, scripts);
        if (!loaded) {
            std::fprintf(stderr, "%s: cannot open file\n", file.c_str());
            rc = 1;
            continue;
        }
        for (const SourcePiece& piece : loaded->pieces) {
            if (std::optional<ScriptErrorInfo> err = CheckScript(piece.text)) {
                PrintError(piece.file, *err);
                rc = 1;
            }
        }
    }
    return rc;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The process's peak resident memory (VmHWM), 0 where the system does not say.
double PeakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

std::string HostFolder(const char* argv0) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) exe = fs::absolute(argv0, ec);
    return exe.parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    long timeout = 0;
    bool check = false, timing = false;
    std::string scripts;
    int i = 1;
    for (; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--check")) {
            check = true;
        } else if (!std::strcmp(argv[i], "--timeout") && i + 1 < argc) {
            timeout = std::atol(argv[++i]);
        } else if (!std::strcmp(argv[i], "--time")) {
            timing = true;
        } else if (!std::strcmp(argv[i], "--scripts") && i + 1 < argc) {
            scripts = argv[++i];
        } else {
            break;
        }
    }
    if (i >= argc) {
        Usage(stderr);
        return 2;
    }
    if (check) return Check(std::vector<std::string>(argv + i, argv + argc), scripts);

    std::string path = argv[i];
    std::optional<Loaded> loaded = Load(path, scripts);
    if (!loaded) {
        std::fprintf(stderr, "%s: cannot open file\n", path.c_str());
        return 1;
    }
    Engine engine;
    engine.SetTimeout(timeout);
    HostInfo host{path, std::vector<std::string>(argv + i + 1, argv + argc), HostFolder(argv[0])};
    AddGatewayClass(engine.GetRuntime(), host.scriptPath, host.hostFolder);
    engine.AddObject("WScript", MakeWScript(engine.GetRuntime(), std::move(host)), false);
    int rc = 0;
    double started = CpuSeconds();
    for (const SourcePiece& piece : loaded->pieces) {
        try {
            engine.AddCode(piece.text);
        } catch (const ScriptException& e) {
            std::fflush(stdout);
            PrintError(piece.file, e.info);
            rc = 1;
            break;
        } catch (const ScriptQuit& q) {
            rc = q.exitCode;
            break;
        }
    }
    std::fflush(stdout);
    if (timing) std::fprintf(stderr, "time: %.6f\npeak: %.1f\n", CpuSeconds() - started, PeakMiB());
    return rc;
}
