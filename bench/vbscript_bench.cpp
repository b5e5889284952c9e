// The script engine in-process: a recursive Fib(25), 100000 string appends
// and a Scripting.Dictionary of 100000 keys, with the process's peak memory.
// bench/vbscript_compare.py runs the same programs against python3.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

namespace {

double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void RunProgram(benchmark::State& state, const char* code, const char* proc) {
    for (auto _ : state) {
        Engine e;
        try {
            e.AddCode(code);
            benchmark::DoNotOptimize(e.Run(proc));
        } catch (const ScriptException& ex) {
            state.SkipWithError(ex.info.description.c_str());
            return;
        }
    }
    state.counters["peak_MiB"] = PeakMiB();
}

void BM_Fib25(benchmark::State& state) {
    RunProgram(state,
               "Function Fib(n)\nIf n < 2 Then\nFib = n\nElse\nFib = Fib(n - 1) + Fib(n - 2)\nEnd If\nEnd Function\n"
               "Function Main()\nMain = Fib(25)\nEnd Function\n",
               "Main");
}
BENCHMARK(BM_Fib25)->Unit(benchmark::kMillisecond);

void BM_Append100k(benchmark::State& state) {
    RunProgram(state,
               "Function Main()\nDim s, i\nFor i = 1 To 100000\ns = s & \"x\"\nNext\nMain = s\nEnd Function\n", "Main");
}
BENCHMARK(BM_Append100k)->Unit(benchmark::kMillisecond);

void BM_Dictionary100k(benchmark::State& state) {
    RunProgram(state,
               "Function Main()\nDim d, i\nSet d = CreateObject(\"Scripting.Dictionary\")\n"
               "For i = 1 To 100000\nd.Add \"key\" & i, i\nNext\nMain = d.Count\nEnd Function\n",
               "Main");
}
BENCHMARK(BM_Dictionary100k)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
