// A successful tick allocates nothing; every allocation in the process is
// counted.
#include <gtest/gtest.h>

#include "core/variable_map.h"
#include "tests/support/allocation_count.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/counting_box_line.h"

namespace bridge::testing {
namespace {

TEST(TickAllocations, SuccessfulTicksAllocateNothing) {
    FakeSimLink sim;
    FakeView view;
    CountingBoxLine port;
    TestBridge bridge(sim, view);
    BridgeState& state = bridge.state;
    MainCycle& cycle = bridge.cycle;
    BindBoxLine(&port);
    state.Settings.NumberOfEngines = 4;
    state.Settings.SL30Port = 1;
    state.Settings.SL40Port = 2;
    state.Link.SimLinkUp = true;
    state.Servos.BankEchoPending = state.Servos.PitchEchoPending = true;
    state.RadioWrites.Nav1ActiveWrite = 0x1050;
    state.Altimeter.AltimeterWritePending = true;
    for (const auto& e : offsets::kEngine) sim.Set<double>(e.egt, 1700.0);

    const long before = AllocationCount();
    for (int i = 0; i < 160; ++i) cycle.Tick();  // every output falls due at least once
    const long during = AllocationCount() - before;
    BindBoxLine(nullptr);

    EXPECT_EQ(during, 0);
    EXPECT_EQ(sim.exchanges, 160u);
    EXPECT_GT(port.bytes, 160 * 28);
}

}  // namespace
}  // namespace bridge::testing
