// The values the telemetry frames carry, derived from the simulator snapshot.
// A conversion that fails (not a number, or beyond 64 bits) leaves its field
// as it was; the others still run.
#pragma once

#include "state/bridge_state.h"

namespace bridge {

// BankCentiDeg, then PitchUpCentiDeg; a failed conversion skips the rest of
// this pair. Every polled tick after a successful exchange.
void ComputeAttitudeValues(const SimValues& sim, DerivedValues& derived);

// Latitude, longitude, turn rate, headings, speeds and altitude, in this
// order. Half-rate ticks, after the attitude frame has gone.
void ComputeNavigationValues(const SimValues& sim, DerivedValues& derived);

}  // namespace bridge
