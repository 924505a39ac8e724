// A tick's requests to the simulator, queued in the main cycle's order, for
// the tests and benchmarks that run a tick's exchange without the cycle.
#pragma once

#include "core/variable_map.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge::testing {

// The largest tick: half-rate, the altimeter written, and both servos
// written when engaged (read back when free).
inline void QueueLargestTick(SimLinkApi& link, bool servosEngaged = true) {
    Bridge.Altimeter.AltimeterWritePending = true;
    QueueAttitudeReads(link);
    QueueAltimeterWrite(link);
    QueueServo(link, Servo::Bank, servosEngaged);
    QueueServo(link, Servo::Pitch, servosEngaged);
    QueueControlsDisconnect(link);
    QueueHalfRateRequests(link);
}

}  // namespace bridge::testing
