// The SL30 and SL40 radios as the box's RS232 ports see them: their sentences,
// built from the simulator's radio state every tenth tick, and the radio port
// mask that tells the box which ports carry radios.
#pragma once

namespace bridge {

// Computes the radio fields and sends the SL30's six sentences and the SL40's
// one to their configured box ports.
void RunRadioCycle();

// RadioPortMask from SL30Port and SL40Port.
void ComputeRadioPortMask();

}  // namespace bridge
