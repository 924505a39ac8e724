// CommsPort as the settings file has always kept it: the box's COM number
// less one (0 is COM1, 255 is COM256). The one place that number is turned
// into the COM number the program uses, and back. Header only: the box's
// port reaches this header and nothing else of the settings.
#pragma once

#include <cstdint>

#include "state/bridge_state.h"

namespace bridge {

inline unsigned BoxComNumber(const BridgeSettings& settings) { return settings.CommsPort + 1u; }

// `number` is 1..256; the settings keep its low eight bits less one.
inline void SetBoxComNumber(BridgeSettings& settings, unsigned number) {
    settings.CommsPort = static_cast<std::uint8_t>((number - 1u) & 0xFFu);
}

}  // namespace bridge
