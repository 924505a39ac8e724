// A tick's requests to the simulator, queued in the main cycle's order, for
// the tests and benchmarks that run a tick's exchange without the cycle.
#pragma once

#include "core/variable_map.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge::testing {

// The largest tick: half-rate, four engines, the altimeter written, and both
// servos written when engaged (read back when free): 70 requests.
inline void QueueLargestTick(SimLinkApi& link, BridgeState& s, bool servosEngaged = true) {
    VariableMap requests(link);
    s.Settings.NumberOfEngines = 4;
    s.Altimeter.AltimeterWritePending = true;
    requests.QueueAttitudeReads(s.Sim);
    requests.QueueAltimeterWrite(s.Altimeter);
    requests.QueueServo(s.Servos, Servo::Bank, servosEngaged);
    requests.QueueServo(s.Servos, Servo::Pitch, servosEngaged);
    requests.QueueControlsDisconnect(s.Servos);
    requests.QueueHalfRateRequests(s.Settings, s.Sim, s.Engines, s.RadioWrites);
}

}  // namespace bridge::testing
