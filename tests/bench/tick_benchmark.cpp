// Nanoseconds per half-rate tick with four engines, against an in-memory
// simulator link and a port that only counts bytes.
#include <benchmark/benchmark.h>

#include "boxlink/box_frames.h"
#include "core/variable_map.h"
#include "tests/support/counting_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

namespace {

using namespace bridge;

void HalfRateTick(benchmark::State& run) {
    testing::FakeSimLink sim;
    testing::FakeView view;
    testing::CountingBoxLine port;
    testing::TestBridge bridge(sim, view);
    BridgeState& state = bridge.state;
    BindBoxLine(&port);
    state.Settings.NumberOfEngines = 4;
    state.Settings.SL30Port = 1;
    state.Settings.SL40Port = 2;
    for (const auto& e : offsets::kEngine) sim.Set<double>(e.egt, 1700.0);
    for (auto _ : run) {
        state.Link.SimLinkUp = true;
        state.Counters.TickPhase = 0;  // the next tick is a half-rate tick
        bridge.cycle.Tick();
    }
    benchmark::DoNotOptimize(port.bytes);
    BindBoxLine(nullptr);
}
BENCHMARK(HalfRateTick);

}  // namespace

BENCHMARK_MAIN();
