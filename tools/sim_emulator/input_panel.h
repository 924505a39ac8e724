// What the emulator's window shows (with --show): the inputs its clients
// wrote (the controls and their disconnect bits, the altimeter setting, the
// radio frequencies) and the attitude they lead to, so that a servo command
// from the box can be watched arriving in the simulator.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sim_emulator/sim_image.h"

namespace simemu {

// Lines ending in CR LF, ready for the window.
std::string InputPanelText(const Image& image, std::uint32_t exchanges);

}  // namespace simemu
