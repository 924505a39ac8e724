// The line errors a port's status query reports, counted by kind. Kept free
// of system headers so the counting is tested natively; the flags are the
// platform's (CE_RXOVER, CE_OVERRUN, CE_RXPARITY, CE_FRAME).
#pragma once

#include <cstdint>

namespace bridge {

inline constexpr std::uint32_t kLineErrorInputOverflow = 0x0001;  // CE_RXOVER
inline constexpr std::uint32_t kLineErrorOverrun = 0x0002;        // CE_OVERRUN
inline constexpr std::uint32_t kLineErrorParity = 0x0004;         // CE_RXPARITY
inline constexpr std::uint32_t kLineErrorFraming = 0x0008;        // CE_FRAME

struct LineErrorCounts {
    std::uint32_t framing = 0;
    std::uint32_t parity = 0;
    // Bytes lost because the receiver or its queue could not keep up.
    std::uint32_t overrun = 0;

    std::uint32_t Total() const { return framing + parity + overrun; }
    // Counts the errors of one status query (a query clears them on the port,
    // so each is counted once). Other flags (a break, the transmit queue) are
    // not line errors.
    void Count(std::uint32_t errorFlags);
};

}  // namespace bridge
