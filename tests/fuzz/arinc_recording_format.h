// The input of fuzz_arinc_recording: three set-up bytes, then the recording.
//
//   byte 0   the first playback: bits 0..6 + 1 = the tick before which it is
//            stopped (1..128); bit 7: stopped by closing the window (the stop
//            handshake of the main cycle) instead of a second click
//   byte 1   0: no second playback; else a second one, coded as byte 0
//   byte 2   bit 0: the simulator link is up, so the ticks send their other
//            frames as well
//   then     the recording file, 5-byte records and any trailing bytes
#pragma once

#include <cstddef>
#include <cstdint>

namespace bridge::fuzzing {

inline constexpr std::size_t kArincSetupSize = 3;
inline constexpr std::uint8_t kStopTickMask = 0x7F;
inline constexpr std::uint8_t kStopByCloseBit = 0x80;
inline constexpr std::uint8_t kLinkUpBit = 0x01;

}  // namespace bridge::fuzzing
