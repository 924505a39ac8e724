// A successful tick allocates nothing. This executable replaces the global
// operator new so that every allocation in the process is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/variable_map.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/counting_box_port.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace bridge::testing {
namespace {

TEST(TickAllocations, SuccessfulTicksAllocateNothing) {
    ResetBridgeState();
    FakeSimLink sim;
    FakeView view;
    CountingBoxPort port;
    MainCycle cycle(sim, view);
    BindBoxPort(&port);
    Bridge.EngineAddressBase = 32;
    Bridge.NumberOfEngines = 4;
    Bridge.SL30Port = 1;
    Bridge.SL40Port = 2;
    Bridge.SimLinkUp = true;
    Bridge.BankEchoPending = Bridge.PitchEchoPending = true;
    Bridge.Nav1ActiveWrite = 0x1050;
    Bridge.AltimeterWritePending = true;
    for (const auto& e : offsets::kEngine) sim.Set<double>(e.egt, 1700.0);

    const long before = allocations.load();
    for (int i = 0; i < 160; ++i) cycle.Tick();  // every output falls due at least once
    const long during = allocations.load() - before;
    BindBoxPort(nullptr);

    EXPECT_EQ(during, 0);
    EXPECT_EQ(sim.exchanges, 160u);
    EXPECT_GT(port.bytes, 160 * 28);
}

}  // namespace
}  // namespace bridge::testing
