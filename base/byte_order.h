// Little-endian loads and stores in fixed buffers, a byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace bridge {

inline void PutU16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v & 0xFFu);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void PutI16(std::span<std::uint8_t> out, std::size_t at, std::int16_t v) {
    PutU16(out, at, static_cast<std::uint16_t>(v));
}

inline void PutU32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutI32(std::span<std::uint8_t> out, std::size_t at, std::int32_t v) {
    PutU32(out, at, static_cast<std::uint32_t>(v));
}

inline std::uint16_t GetU16(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

inline std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
    return v;
}

}  // namespace bridge
