// The simulator link's own cost for the largest tick (half-rate, four
// engines, servos and altimeter written: 70 requests): queuing them in the
// request block and walking the returned block, without a server; then the
// same with the emulator's server carrying out the block in memory.
#include <benchmark/benchmark.h>

#include <type_traits>

#include "simlink/sim_link_client.h"
#include "state/bridge_state.h"
#include "tests/support/fake_sim_transport.h"
#include "tests/support/tick_requests.h"

namespace {

using namespace bridge;

// Once the link is open, a server that answers 1 and leaves the block as it is.
class EchoTransport final : public testing::FakeSimTransport {
public:
    SendOutcome SendIpcMessage(NativeHandle window, std::uint32_t message, std::uint16_t atom,
                               std::uint32_t timeoutMs) override {
        if (!echo) return FakeSimTransport::SendIpcMessage(window, message, atom, timeoutMs);
        return SendOutcome{true, 1, 0};
    }
    bool echo = false;
};

template <typename Transport>
void LargestTick(benchmark::State& state) {
    BridgeState bridgeState{};
    static Transport transport;
    transport.recordCalls = false;
    if constexpr (std::is_same_v<Transport, EchoTransport>) transport.echo = false;
    SimLinkClient client(&transport);
    SimLinkResult result;
    if (!client.Open(0, result)) {
        state.SkipWithError(SimLinkResultText(result));
        return;
    }
    if constexpr (std::is_same_v<Transport, EchoTransport>) transport.echo = true;
    for (auto _ : state) {
        testing::QueueLargestTick(client, bridgeState);
        if (!client.Process(result)) {
            state.SkipWithError(SimLinkResultText(result));
            break;
        }
    }
    benchmark::DoNotOptimize(bridgeState.Engines.Snapshot[3].FuelPressurePsf);
    state.counters["requests"] = 70;
}

void QueueAndWalk(benchmark::State& state) { LargestTick<EchoTransport>(state); }
void QueueServeAndWalk(benchmark::State& state) { LargestTick<testing::FakeSimTransport>(state); }

BENCHMARK(QueueAndWalk);
BENCHMARK(QueueServeAndWalk);

}  // namespace

BENCHMARK_MAIN();
