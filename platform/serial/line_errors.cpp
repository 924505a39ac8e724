#include "platform/serial/line_errors.h"

namespace bridge {

void LineErrorCounts::Count(std::uint32_t errorFlags) {
    // Unsigned counts wrap after four billion errors, which no line reaches.
    if ((errorFlags & kLineErrorFraming) != 0) framing = framing + 1u;
    if ((errorFlags & kLineErrorParity) != 0) parity = parity + 1u;
    if ((errorFlags & (kLineErrorOverrun | kLineErrorInputOverflow)) != 0) overrun = overrun + 1u;
}

}  // namespace bridge
