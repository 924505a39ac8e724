// The bridge's parts on a state of their own, at the zero of program start,
// wired as the main window wires them: the one way tests make a bridge state.
#pragma once

#include "app/fail_safe/servo_release.h"
#include "boxlink/box_commands.h"
#include "boxlink/receiver.h"
#include "core/main_cycle.h"
#include "core/telemetry.h"
#include "state/bridge_state.h"

namespace bridge::testing {

struct TestBridge {
    TestBridge(SimLinkApi& sim, BridgeView& view)
        : log(state.Link.LogLine, view), release(state.Servos, view, log), cycle(state, sim, view) {
        state.Engines.EngineAddressBase = kEngineAddressBase;  // as the start-up sets it
    }
    TestBridge(const TestBridge&) = delete;
    TestBridge& operator=(const TestBridge&) = delete;

    BridgeState state{};
    WindowLog log;
    ServoRelease release;
    BoxCommands commands{state.Receive, state.Servos, state.Altimeter, state.BoxPorts};
    Receiver receiver{state.Receive, commands};
    MainCycle cycle;
};

}  // namespace bridge::testing
