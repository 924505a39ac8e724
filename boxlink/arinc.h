// ARINC 429 words as recordings hold them and as the box takes them.
#pragma once

#include <cstdint>
#include <span>

#include "base/byte_order.h"

namespace bridge {

// A recording is a headerless file of 5-byte records: a lead byte, then the
// word least significant byte first.
inline constexpr std::uint32_t kArincRecordSize = 5;

struct ArincRecord {
    std::uint8_t leadByte;
    std::uint32_t word;
};

inline ArincRecord DecodeArincRecord(std::span<const std::uint8_t, kArincRecordSize> bytes) {
    return {bytes[0], GetU32(bytes, 1)};
}

// Whole records in a file of that size; trailing bytes that make no record
// are ignored, and a count beyond 32 bits stops there.
constexpr std::uint32_t ArincRecordCount(std::uint64_t fileSize) {
    const std::uint64_t records = fileSize / kArincRecordSize;
    return records < 0xFFFFFFFFu ? static_cast<std::uint32_t>(records) : 0xFFFFFFFFu;
}

// The label (the word's low byte) goes out with its bit order reversed.

constexpr std::uint8_t ReverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1u) << (7 - i)));
    return r;
}

constexpr std::uint32_t WithReversedLabel(std::uint32_t word) {
    return (word & 0xFFFFFF00u) | ReverseBits(static_cast<std::uint8_t>(word & 0xFFu));
}

}  // namespace bridge
