// The simulator emulator's 64 KiB image of FSUIPC offsets, with little-endian
// stores and loads assembled byte by byte.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace simemu {

inline constexpr std::size_t kImageSize = 0x10000;
using Image = std::array<std::uint8_t, kImageSize>;

// Offsets past the image are ignored by the stores and read as 0.
template <typename Unsigned>
void PutLittle(Image& image, std::uint32_t offset, Unsigned value) {
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        if (offset + i >= kImageSize) return;
        image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

template <typename Unsigned>
Unsigned GetLittle(const Image& image, std::uint32_t offset) {
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned) && offset + i < kImageSize; ++i) {
        const auto byte = static_cast<Unsigned>(image[offset + i]);
        value = static_cast<Unsigned>(value | (byte << (8 * i)));
    }
    return value;
}

inline void PutU8(Image& m, std::uint32_t at, std::uint8_t v) { PutLittle(m, at, v); }
inline void PutU16(Image& m, std::uint32_t at, std::uint16_t v) { PutLittle(m, at, v); }
inline void PutI16(Image& m, std::uint32_t at, std::int16_t v) {
    PutLittle(m, at, static_cast<std::uint16_t>(v));
}
inline void PutU32(Image& m, std::uint32_t at, std::uint32_t v) { PutLittle(m, at, v); }
inline void PutI32(Image& m, std::uint32_t at, std::int32_t v) {
    PutLittle(m, at, static_cast<std::uint32_t>(v));
}
inline void PutI64(Image& m, std::uint32_t at, std::int64_t v) {
    PutLittle(m, at, static_cast<std::uint64_t>(v));
}
inline void PutF32(Image& m, std::uint32_t at, float v) {
    PutLittle(m, at, std::bit_cast<std::uint32_t>(v));
}
inline void PutF64(Image& m, std::uint32_t at, double v) {
    PutLittle(m, at, std::bit_cast<std::uint64_t>(v));
}

inline std::int16_t GetI16(const Image& m, std::uint32_t at) {
    return static_cast<std::int16_t>(GetLittle<std::uint16_t>(m, at));
}
inline std::uint16_t GetU16(const Image& m, std::uint32_t at) {
    return GetLittle<std::uint16_t>(m, at);
}
inline std::uint32_t GetU32(const Image& m, std::uint32_t at) {
    return GetLittle<std::uint32_t>(m, at);
}
inline double GetF64(const Image& m, std::uint32_t at) {
    return std::bit_cast<double>(GetLittle<std::uint64_t>(m, at));
}

// Rounds to the nearest integer of type Int, limited to its range; NaN gives 0.
template <typename Int>
Int ToInt(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLow = static_cast<double>(std::numeric_limits<Int>::min());
    // The largest double below max + 1 (max itself may round up past the range).
    constexpr double kHighExclusive =
        static_cast<double>(std::numeric_limits<Int>::max() / 2 + 1) * 2.0;
    const double rounded = std::nearbyint(value);
    if (rounded <= kLow) return std::numeric_limits<Int>::min();
    if (rounded >= kHighExclusive) return std::numeric_limits<Int>::max();
    return static_cast<Int>(rounded);
}

}  // namespace simemu
