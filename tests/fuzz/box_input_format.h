// The input of fuzz_box_input: six set-up bytes, then the bytes the box sends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bridge::fuzzing {

struct BoxInputSetup {
    std::uint8_t sl30Port;         // any byte, as the settings file may hold
    std::uint8_t sl40Port;         // any byte
    std::uint8_t numberOfEngines;  // any byte; above 4 acts as 4
    std::uint8_t chunkSize;        // bytes per receive burst; 0 = the whole stream at once
    // Bits 0..1: main-cycle ticks after each burst; bit 2: a failed read
    // before each burst; bit 3: the receive event reports more bytes than wait.
    std::uint8_t burstMode;
    // The simulator's NAV state: bits 0..2 choose the NavRadioFlags bits 0x02,
    // 0x04 and 0x40, bits 3..5 the CDI and bits 6..7 the glideslope
    // deflection from a table of ordinary and faulty values.
    std::uint8_t navState;
};

inline constexpr std::size_t kBoxInputSetupSize = 6;

}  // namespace bridge::fuzzing
