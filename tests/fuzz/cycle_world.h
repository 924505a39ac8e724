// The main cycle with fake neighbours, built once per fuzz process: the fake
// port reserves 1 MiB, far too much to build for every input.
#pragma once

#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

namespace bridge::fuzzing {

struct CycleWorld {
    testing::FakeSimLink sim;
    testing::FakeBoxLine port;
    testing::FakeView view;
    testing::TestBridge bridge{sim, view};
    BridgeState& state = bridge.state;
    MainCycle& cycle = bridge.cycle;
};

inline CycleWorld& TheCycleWorld() {
    static CycleWorld* world = new CycleWorld;
    return *world;
}

}  // namespace bridge::fuzzing
