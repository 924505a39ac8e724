// ARINC 429 words as the box takes them: the label (the word's low byte) goes
// out with its bit order reversed.
#pragma once

#include <cstdint>

namespace bridge {

constexpr std::uint8_t ReverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1u) << (7 - i)));
    return r;
}

constexpr std::uint32_t WithReversedLabel(std::uint32_t word) {
    return (word & 0xFFFFFF00u) | ReverseBits(static_cast<std::uint8_t>(word & 0xFFu));
}

}  // namespace bridge
