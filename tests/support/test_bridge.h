// The bridge's core on a state of its own, at the zero of program start and
// with the engine address base the start-up sets: the one way tests make a
// bridge state.
#pragma once

#include "app/shell/bridge_core.h"
#include "core/telemetry.h"

namespace bridge::testing {

struct TestBridge : BridgeCore {
    TestBridge(SimLinkApi& sim, BridgeView& view) : BridgeCore(sim, view) {
        state.Engines.EngineAddressBase = kEngineAddressBase;  // as the start-up sets it
    }
};

}  // namespace bridge::testing
