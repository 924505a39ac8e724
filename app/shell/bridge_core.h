// The bridge's portable core, wired: the one bridge state, the window's log,
// the servos' release, the box's command handlers and receiver, and the main
// cycle, each given the groups of the state it works on. The main window
// makes one and the tests make theirs the same way.
#pragma once

#include "app/fail_safe/servo_release.h"
#include "boxlink/box_commands.h"
#include "boxlink/receiver.h"
#include "core/bridge_view.h"
#include "core/main_cycle.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge {

struct BridgeCore {
    BridgeCore(SimLinkApi& sim, BridgeView& view)
        : log(state.Link.LogLine, view),
          release(state.Servos, view, log),
          commands(state.Receive, state.Servos, state.Altimeter, state.BoxPorts),
          receiver(state.Receive, commands),
          cycle(state, sim, view) {}
    BridgeCore(const BridgeCore&) = delete;
    BridgeCore& operator=(const BridgeCore&) = delete;

    BridgeState state{};  // zero, as at program start
    WindowLog log;
    ServoRelease release;
    BoxCommands commands;
    Receiver receiver;
    MainCycle cycle;
};

}  // namespace bridge
