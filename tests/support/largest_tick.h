// The largest tick's requests in the order the main cycle queues them
// (half-rate, four engines, the altimeter written, both servos written or
// read: 70 requests), for the tests and benchmarks that run them without a
// cycle.
#pragma once

#include "core/variable_map.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge::testing {

inline void QueueLargestTick(SimLinkApi& link, BridgeState& s, bool servosEngaged = true) {
    VariableMap requests(link, s.Counters);
    s.Settings.NumberOfEngines = 4;
    s.Altimeter.AltimeterWritePending = true;
    requests.QueueAttitudeReads(s.Sim);
    requests.QueueAltimeterWrite(s.Altimeter);
    requests.QueueServo(s.Servos, Servo::Bank, servosEngaged);
    requests.QueueServo(s.Servos, Servo::Pitch, servosEngaged);
    requests.QueueControlsDisconnect(s.Servos);
    requests.QueueHalfRateRequests(s.Settings, s.Sim, s.Engines, s.Radios);
}

}  // namespace bridge::testing
