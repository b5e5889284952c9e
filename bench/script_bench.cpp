// The script host in a gateway on the simulation platform: the cost of one
// host-member call from a script (against a built-in call), of a state change
// until "Main" has run with its tag (the queue timer's 5 ms wait is virtual
// here and not counted), and of one member call through the local-socket
// bridge's codec and dispatch (virtual-time transport).
#include <benchmark/benchmark.h>

#include "scripting/ApplicationBridge.h"
#include "support/ScriptGateway.h"

using namespace tarvelo;
using tarvelo::testing::ScriptGateway;
using tarvelo::testing::WriteFile;

namespace {

const char* kScript =
    "Dim runs\n"
    "Sub Main(tag)\n  runs = runs + 1\nEnd Sub\n"
    "Sub Members(n)\n  Dim i, x\n  For i = 1 To n\n    x = Sequence(\"Lamp\")\n  Next\nEnd Sub\n"
    "Sub Requests(n)\n  Dim i, x\n  For i = 1 To n\n    Set x = Request(\"Lamp\")\n  Next\nEnd Sub\n"
    "Sub Builtins(n)\n  Dim i, x\n  For i = 1 To n\n    x = Len(\"Lamp\")\n  Next\nEnd Sub\n";

ScriptGateway& Rig() {
    static ScriptGateway* rig = [] {
        auto* g = new ScriptGateway(kScript);
        g->Start();
        return g;
    }();
    return *rig;
}

void Loop(benchmark::State& state, const char* procedure) {
    ScriptGateway& g = Rig();
    constexpr int kCalls = 1000;
    for (auto _ : state) g.app().mainScript()->Run(procedure, std::to_string(kCalls));
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void BM_HostMemberCall(benchmark::State& state) { Loop(state, "Members"); }
void BM_HostRequestCall(benchmark::State& state) { Loop(state, "Requests"); }
void BM_BuiltinCallForComparison(benchmark::State& state) { Loop(state, "Builtins"); }

// A notifying link state changes; the tick after it runs "Main" with its tag.
void BM_StateChangeToMain(benchmark::State& state) {
    ScriptGateway& g = Rig();
    auto device = *g.gateway->xap().devices().devices().find("Lamp");
    auto lamp = device->Link;
    int16_t level = 0;
    for (auto _ : state) {
        level = level == 100 ? 0 : 100;
        lamp->Value = level;
        g.gateway->xap().NotifyUPBState(lamp);  // the BSC event, and the script event
        g.platform.advance(6);
    }
    benchmark::DoNotOptimize(g.app().engine().Eval("runs"));
}

void BM_BridgeCallSim(benchmark::State& state) {
    ScriptGateway& g = Rig();
    vbs::ObjectRef proxy = scripting::ConnectApplication(g.platform, g.app().SocketPath());
    std::vector<vbs::Value> args{vbs::Value::Str("Lamp")};
    for (auto _ : state) {
        vbs::CallArgs call(args.data(), args.size());
        benchmark::DoNotOptimize(proxy->Invoke("Sequence", vbs::InvokeKind::Get, call));
    }
}

} // namespace

BENCHMARK(BM_HostMemberCall);
BENCHMARK(BM_HostRequestCall);
BENCHMARK(BM_BuiltinCallForComparison);
BENCHMARK(BM_StateChangeToMain);
BENCHMARK(BM_BridgeCallSim);
BENCHMARK_MAIN();
