// Nanoseconds per half-rate tick with four engines, against an in-memory
// simulator link and a port that only counts bytes.
#include <benchmark/benchmark.h>

#include "boxlink/box_frames.h"
#include "core/main_cycle.h"
#include "core/variable_map.h"
#include "state/bridge_state.h"
#include "tests/support/counting_box_port.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"

namespace {

using namespace bridge;

void HalfRateTick(benchmark::State& state) {
    ResetBridgeState();
    testing::FakeSimLink sim;
    testing::FakeView view;
    testing::CountingBoxPort port;
    MainCycle cycle(sim, view);
    BindBoxPort(&port);
    Bridge.Engines.EngineAddressBase = 32;
    Bridge.Settings.NumberOfEngines = 4;
    Bridge.Settings.SL30Port = 1;
    Bridge.Settings.SL40Port = 2;
    for (const auto& e : offsets::kEngine) sim.Set<double>(e.egt, 1700.0);
    for (auto _ : state) {
        Bridge.Link.SimLinkUp = true;
        Bridge.Counters.TickPhase = 0;  // the next tick is a half-rate tick
        cycle.Tick();
    }
    benchmark::DoNotOptimize(port.bytes);
    BindBoxPort(nullptr);
}
BENCHMARK(HalfRateTick);

}  // namespace

BENCHMARK_MAIN();
