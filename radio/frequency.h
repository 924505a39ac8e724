// Radio frequencies in the three forms the bridge meets: the simulator's BCD
// word (0x1835 is 118.35 MHz: the MHz digits without the leading 1 and the
// last digit), kHz, and the two letters the SL30 and SL40 use in sentences.
#pragma once

#include <array>
#include <cstdint>

namespace bridge {

inline constexpr std::int32_t kNavLowestKhz = 108000;
inline constexpr std::int32_t kNavHighestKhz = 117975;
inline constexpr std::int32_t kComLowestKhz = 118000;
inline constexpr std::int32_t kComHighestKhz = 136000;  // not 136975: the radios stop there

using FrequencyLetters = std::array<std::uint8_t, 2>;

// Nibbles above 9 count at face value (0xF000 is 250.000 MHz).
std::int32_t BcdToKhz(std::uint16_t bcd);

// The last 5 kHz are dropped; any value is converted at face value and kept
// to 16 bits, so a frequency below 100 MHz gives a meaningless word.
std::uint16_t KhzToBcd(std::int32_t kHz);

// First letter: MHz - 48; second: the 25 kHz steps within the MHz + 48. The
// frequency is first limited to the radio's band.
FrequencyLetters NavLetters(std::int32_t kHz);
FrequencyLetters ComLetters(std::int32_t kHz);

// The letters of a reply back to kHz, any byte at face value.
std::int32_t LettersToKhz(std::uint8_t first, std::uint8_t second);

}  // namespace bridge
