// tarvelo-vbs FILE [ARGS...]: runs a script (.vbs) or a job file (.wsf) the
// way a console script host does.
// tarvelo-vbs --check FILE...: compiles scripts without running them.
// Files are read as the gateway's loader reads them (byte-order marks,
// "#include" directives). Errors print "FILE(line, column) description (error N)"
// to standard error; WScript.Quit sets the exit code.
#include <cctype>
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
#include "scripting/vbscript/JobFiles.h"
#include "scripting/vbscript/ScriptFiles.h"
#include "scripting/vbscript/SystemObjects.h"

using namespace tarvelo::vbs;
namespace fs = std::filesystem;

namespace {

void Usage(std::FILE* f) {
    std::fputs(
        "usage: tarvelo-vbs [--timeout MS] [--scripts DIR] [--job ID] FILE [ARGS...]\n"
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
        "A FILE ending in .wsf is a job file, such as the gateway's Spawn writes: the\n"
        "<script language=\"VBScript\"> elements of its first <job> (or the one named\n"
        "with --job) run in order as one program, inline code and files named with\n"
        "src=\"...\" (relative to the job file; a name not found there is looked for\n"
        "beside the job file) alike; <object id=\"x\" progid=\"...\"/> elements are\n"
        "made first. Other script languages are an error.\n"
        "\n"
        "Scripts can create Scripting.FileSystemObject, WScript.Shell (commands run\n"
        "through /bin/sh -c), Scripting.Dictionary and VBScript.RegExp.\n"
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
        "  --job ID       the job of a .wsf file to run (default: the first)\n"
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

bool IsJobFile(const std::string& file) {
    std::string ext = fs::path(file).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wsf";
}

// A job file's scripts, in order, each file named by src with its includes.
struct LoadedJob {
    Loaded code;
    std::vector<JobObject> objects;
};

std::optional<LoadedJob> LoadJob(const std::string& file, const std::string& scripts, const std::string& jobId) {
    std::optional<std::string> bytes = ReadBytes(file);
    if (!bytes) {
        std::fprintf(stderr, "%s: cannot open file\n", file.c_str());
        return std::nullopt;
    }
    JobFile job = ParseJobFile(ScriptTextFromFile(*bytes), jobId);
    if (job.error) {
        std::fprintf(stderr, "%s(%d, %d) %s\n", file.c_str(), job.error->line, job.error->column,
                     job.error->message.c_str());
        return std::nullopt;
    }
    LoadedJob out;
    out.objects = job.objects;
    for (const JobScript& s : job.scripts) {
        if (!s.src.empty()) {
            fs::path src = JobSourcePath(file, s.src);
            // Included names are found where the job file is, as for a started .vbs file.
            std::string folder = fs::path(file).parent_path().string();
            std::optional<Loaded> loaded = Load(src.string(), scripts.empty() ? (folder.empty() ? "." : folder) : scripts);
            if (!loaded) {
                std::fprintf(stderr, "%s(%d, %d) script src \"%s\": %s not found\n", file.c_str(), s.line, s.column,
                             s.src.c_str(), src.string().c_str());
                return std::nullopt;
            }
            for (SourcePiece& piece : loaded->pieces) out.code.pieces.push_back(std::move(piece));
        }
        if (s.hasCode) out.code.pieces.push_back(SourcePiece{file, s.code});
    }
    return out;
}

void PrintError(const std::string& file, const ScriptErrorInfo& err) {
    std::fprintf(stderr, "%s(%d, %d) %s (error %d)\n", file.c_str(), err.line, err.column, err.Message().c_str(),
                 err.number);
}

int Check(const std::vector<std::string>& files, const std::string& scripts) {
    int rc = 0;
    for (const std::string& file : files) {
        std::optional<Loaded> loaded;
        if (IsJobFile(file)) {
            std::optional<LoadedJob> job = LoadJob(file, scripts, {});
            if (!job) {
                rc = 1;
                continue;
            }
            loaded = std::move(job->code);
        } else {
            loaded = Load(file, scripts);
        }
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
    std::string scripts, jobId;
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
        } else if (!std::strcmp(argv[i], "--job") && i + 1 < argc) {
            jobId = argv[++i];
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
    std::optional<Loaded> loaded;
    std::vector<JobObject> objects;
    if (IsJobFile(path)) {
        std::optional<LoadedJob> job = LoadJob(path, scripts, jobId);
        if (!job) return 1;
        loaded = std::move(job->code);
        objects = std::move(job->objects);
        // A job's syntax errors stop it before any of its scripts runs.
        for (const SourcePiece& piece : loaded->pieces) {
            if (std::optional<ScriptErrorInfo> err = CheckScript(piece.text)) {
                PrintError(piece.file, *err);
                return 1;
            }
        }
    } else {
        loaded = Load(path, scripts);
    }
    if (!loaded) {
        std::fprintf(stderr, "%s: cannot open file\n", path.c_str());
        return 1;
    }
    Engine engine;
    engine.SetTimeout(timeout);
    RegisterSystemObjects(engine.GetRuntime());
    HostInfo host{path, std::vector<std::string>(argv + i + 1, argv + argc), HostFolder(argv[0])};
    AddGatewayClass(engine.GetRuntime(), host.scriptPath, host.hostFolder);
    engine.AddObject("WScript", MakeWScript(engine.GetRuntime(), std::move(host)), false);
    for (const JobObject& o : objects) {
        try {
            engine.AddObject(o.id, engine.GetRuntime().CreateObject(o.progId), false);
        } catch (const ScriptError& e) {
            std::fprintf(stderr, "%s(%d, %d) <object id=\"%s\" progid=\"%s\">: %s (error %d)\n", path.c_str(), o.line,
                         o.column, o.id.c_str(), o.progId.c_str(),
                         (e.description.empty() ? StandardErrorText(e.number) : e.description).c_str(), e.number);
            return 1;
        }
    }
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
