// The file-system and shell objects as scripts drive them: ReadLine and ReadAll
// through a 10 MB file (8-bit and UTF-16), WriteLine, and starting commands.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scripting/vbscript/Engine.h"
#include "scripting/vbscript/SystemObjects.h"
#include "support/TempDir.h"

using namespace tarvelo::vbs;
namespace fs = std::filesystem;

namespace {

constexpr size_t kFileBytes = 10u << 20;
constexpr int kLineLength = 78;  // plus CR LF

// A 10 MB file of CR LF lines, made once; UTF-16 (with its mark) when wide.
const fs::path& TestFile(bool wide) {
    static tarvelo::testing::TempDir dir;
    static fs::path paths[2];
    fs::path& p = paths[wide ? 1 : 0];
    if (p.empty()) {
        p = dir / (wide ? "wide.txt" : "narrow.txt");
        std::ofstream out(p, std::ios::binary);
        std::string line(kLineLength, 'x');
        line += "\r\n";
        if (wide) {
            out << "\xFF\xFE";
            std::string w;
            for (char c : line) {
                w += c;
                w += '\0';
            }
            line = w;
        }
        for (size_t written = 0; written < kFileBytes; written += line.size()) out << line;
    }
    return p;
}

std::unique_ptr<Engine> Scripted(const std::string& code) {
    auto e = std::make_unique<Engine>();
    RegisterSystemObjects(e->GetRuntime());
    e->AddCode("Dim fso, sh\nSet fso = CreateObject(\"Scripting.FileSystemObject\")\n"
               "Set sh = CreateObject(\"WScript.Shell\")\n" + code);
    return e;
}

void ReadLines(benchmark::State& state, bool wide) {
    auto e = Scripted(
        "Function ReadLines(p)\n"
        "  Dim ts, n : Set ts = fso.OpenTextFile(p)\n"
        "  Do Until ts.AtEndOfStream : ts.ReadLine : n = n + 1 : Loop\n"
        "  ReadLines = n\n"
        "End Function\n");
    const std::string path = TestFile(wide).string();
    int64_t lines = 0;
    for (auto _ : state) lines += ToLong(e->Run("ReadLines", {Value::Str(path)}));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
    state.SetItemsProcessed(lines);
}

void BM_ReadLine10MB(benchmark::State& state) { ReadLines(state, false); }
void BM_ReadLine10MBUtf16(benchmark::State& state) { ReadLines(state, true); }

void BM_ReadAll10MB(benchmark::State& state) {
    auto e = Scripted("Function ReadIt(p) : ReadIt = Len(fso.OpenTextFile(p).ReadAll) : End Function\n");
    const std::string path = TestFile(false).string();
    for (auto _ : state) benchmark::DoNotOptimize(e->Run("ReadIt", {Value::Str(path)}));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
}

void BM_WriteLine(benchmark::State& state) {
    tarvelo::testing::TempDir dir;
    auto e = Scripted(
        "Function WriteLines(p, n)\n"
        "  Dim ts, i : Set ts = fso.CreateTextFile(p, True)\n"
        "  For i = 1 To n : ts.WriteLine \"a line of about forty characters, say..\" : Next\n"
        "  ts.Close\n"
        "End Function\n");
    const std::string path = (dir / "out.txt").string();
    const int n = 100000;
    for (auto _ : state) e->Run("WriteLines", {Value::Str(path), Value::Long(n)});
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_ShellRunTrue(benchmark::State& state) {
    auto e = Scripted("Function RunIt() : RunIt = sh.Run(\"true\", 0, True) : End Function\n");
    for (auto _ : state) benchmark::DoNotOptimize(e->Run("RunIt"));
}

void BM_ShellExecEcho(benchmark::State& state) {
    auto e = Scripted("Function ExecIt() : ExecIt = sh.Exec(\"echo x\").StdOut.ReadAll : End Function\n");
    for (auto _ : state) benchmark::DoNotOptimize(e->Run("ExecIt"));
}

}  // namespace

BENCHMARK(BM_ReadLine10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLine10MBUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAll10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShellRunTrue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShellExecEcho)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
