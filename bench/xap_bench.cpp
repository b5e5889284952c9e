// xAP costs: parsing a typical BSC command, building a BSC event, and the
// gateway's own work from a BSC command's arrival to the PIM frame written
// (the 50 ms burst wait and the PIM's answer are outside the timed part).
#include <benchmark/benchmark.h>

#include "gateway/Gateway.h"
#include "sim/SimNet.h"
#include "support/TempDir.h"
#include "upb/codec/Packet.h"
#include "xap/Bsc.h"
#include "xap/XapMessage.h"

namespace {

using namespace tarvelo;

// ID 0702: the lamp's one component is its private link's preset (the second
// id the device's records take), which stands for the load.
const std::string kCmd =
    "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=xAPBSC.cmd\nsource=acme.tool.host\n"
    "target=zantu.UPB.TESTBOX:>\n}\noutput.state.1\n{\nID=0702\nState=on\nLevel=3\n}\n";

void BM_ParseBscCommand(benchmark::State& state) {
    for (auto _ : state) {
        xap::XapMessage m;
        m.FromXap(kCmd);
        benchmark::DoNotOptimize(m.GetItem("output.state.1", "ID"));
        benchmark::DoNotOptimize(m.GetItem("output.state.1", "State"));
        benchmark::DoNotOptimize(m.GetItem("output.state.1", "Level"));
        benchmark::DoNotOptimize(m.CompareTarget("zantu.UPB.TESTBOX"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseBscCommand);

void BM_BuildBscEvent(benchmark::State& state) {
    model::Network net;
    auto module = std::make_shared<model::UPBModule>();
    module->ModuleID = "7";
    module->NetId = "1";
    module->Kind = 2;
    module->Room = "Living Room";
    module->name = "Ceiling";
    auto channel = std::make_shared<model::UPBChannel>();
    channel->Parent = module;
    module->AddChannel(channel);
    auto s = std::make_shared<model::UPBLinkState>();
    s->Componentindex = -1;
    s->UIDindex = 0x0701;
    s->Values = upb::CommandList(2);
    s->LastCommand = "3";
    s->Value = 100;
    s->Controllable = true;
    channel->add(channel, s);
    net.UPBModules.add("7", module);
    for (auto _ : state) {
        const xap::BscName name = xap::BscNameOf(net, *s, nullptr);
        xap::XapMessage m;
        m.MsgClass("xapbsc.event");
        m.MsgSource("zantu.UPB.TESTBOX:" + xap::JoinName(name));
        m.MsgTarget("");
        m.MsgUID(xap::LinkUID("FF.0002:00", s->UIDindex));
        m.AddHeader();
        m.AddSection("output.state");
        xap::ForEachItem(xap::IncludeContent(*s, 2), [&](std::string_view k, std::string_view v) { m.AddItem("", k, v); });
        benchmark::DoNotOptimize(m.ToXap());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildBscEvent);

// A whole gateway on the simulation platform: Readmessage of the command
// through to the frame handed to the PIM line. Between rounds the gateway
// runs 20 s of simulated time (seconds of CPU time): a few rounds only.
void BM_CommandToPimFrame(benchmark::State& state) {
    testing::TempDir dir;
    sim::SimPlatform platform;
    sim::SimNet net{platform};
    net.pim.answerLikeAPim(0, 0);
    testing::WriteFile(dir / "Data/Tarvelo/Tarvelo.upe",
                       "0,5,2,3,1,0\r\n2,5,Hall\r\n3,7,1,1,1,1,0,2,1,0,1,Hall,Lamp,0\r\n8,0,7,1,0\r\n4,0,0,7,5,100,0\r\n1\r\n");
    testing::WriteFile(dir / "Config/Tarvelo.ini", "[UPB]\r\nSerialIP=192.168.1.50\r\nUPBCommPort=2101\r\n");
    app::Paths paths;
    paths.base = dir.path();
    Gateway g(platform, paths, Gateway::Options{false});
    g.Start();
    platform.advance(60000);
    for (auto _ : state) {
        const size_t before = net.pim.frames.size();
        g.xap().Readmessage(kCmd);
        try {
            platform.runUntil([&] { return net.pim.frames.size() != before; }, 10000);
        } catch (const std::exception& e) {
            // Not a figure of the gateway's speed: say so instead of waiting forever.
            state.SkipWithError(("no PIM frame for the command: " + std::string(e.what())).c_str());
            break;
        }
        state.PauseTiming();
        platform.advance(20000);  // acknowledge, hold, follow-up poll
        platform.udp.sent.clear();
        net.pim.frames.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommandToPimFrame)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
