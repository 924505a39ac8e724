// The main cycle with fake neighbours, built once per fuzz process: the fake
// port reserves 1 MiB, far too much to build for every input.
#pragma once

#include "core/main_cycle.h"
#include "tests/support/fake_box_port.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"

namespace bridge::fuzzing {

struct CycleWorld {
    testing::FakeSimLink sim;
    testing::FakeBoxPort port;
    testing::FakeView view;
    MainCycle cycle{sim, view};
};

inline CycleWorld& TheCycleWorld() {
    static CycleWorld* world = new CycleWorld;
    return *world;
}

}  // namespace bridge::fuzzing
