#include "radio/frequency.h"

#include <algorithm>

namespace bridge {
namespace {

constexpr std::int32_t kLetterBase = 48;
constexpr std::int32_t kKhzPerStep = 25;

FrequencyLetters Letters(std::int32_t kHz, std::int32_t lowest, std::int32_t highest) {
    const std::int32_t f = std::clamp(kHz, lowest, highest);
    return {static_cast<std::uint8_t>(f / 1000 - kLetterBase),
            static_cast<std::uint8_t>(f % 1000 / kKhzPerStep + kLetterBase)};
}

}  // namespace

std::int32_t BcdToKhz(std::uint16_t bcd) {
    const std::int32_t d3 = (bcd >> 12) & 0x0F;
    const std::int32_t d2 = (bcd >> 8) & 0x0F;
    const std::int32_t d1 = (bcd >> 4) & 0x0F;
    const std::int32_t d0 = bcd & 0x0F;
    return 100000 + d3 * 10000 + d2 * 1000 + d1 * 100 + d0 * 10;
}

std::uint16_t KhzToBcd(std::int32_t kHz) {
    // In 64 bits so that no input overflows; division and remainder truncate
    // toward zero, and a negative difference gives negative digits that the
    // masks and the 16-bit result take as they come.
    const std::int64_t b = (std::int64_t{kHz} - 100000) / 10;
    const std::int64_t bcd = ((b / 1000) & 0x0F) * 4096 + ((b % 1000 / 100) & 0x0F) * 256 +
                             ((b % 100 / 10) & 0x0F) * 16 + b % 10;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(bcd));
}

FrequencyLetters NavLetters(std::int32_t kHz) {
    return Letters(kHz, kNavLowestKhz, kNavHighestKhz);
}

FrequencyLetters ComLetters(std::int32_t kHz) {
    return Letters(kHz, kComLowestKhz, kComHighestKhz);
}

std::int32_t LettersToKhz(std::uint8_t first, std::uint8_t second) {
    return (std::int32_t{first} + kLetterBase) * 1000 +
           (std::int32_t{second} - kLetterBase) * kKhzPerStep;
}

}  // namespace bridge
