// The input of fuzz_request_block: three set-up bytes, the requests to queue,
// then what the hostile server does to the block it returns.
//
//   byte 0   reply mode: bits 0..1 how the reply is made (ReplyMode below);
//            bit 2: calls from inside the exchange (messages dispatched while
//            the send waits) try to queue, to exchange and to change the block;
//            bit 3: a close from inside the exchange; bit 4: the server is
//            hostile to the version handshake of a new open instead of to a
//            batch (the requests are then not queued)
//   byte 1   parameter of the reply mode
//   byte 2   number of requests (at most kMaxFuzzRequests are read)
//   then per request 4 bytes: flags and size high bits (bit 7 write, bit 6 a
//            read without destination, bits 0..5 size bits 8..13), size low
//            byte, simulator offset low byte, high byte
//   then the rest: patches or the whole block, by the reply mode
#pragma once

#include <cstddef>
#include <cstdint>

namespace bridge::fuzzing {

enum class ReplyMode : std::uint8_t {
    // The server carries out the requests, then patches go over its reply:
    // position low, high (bit 15 set: anywhere in the block, else within the
    // requests and the end marker), length, that many bytes.
    Patched = 0,
    // The server's reply is replaced by the rest of the input, repeated over
    // the whole 32 KiB block.
    WholeBlock = 1,
    // The server applies one of its own faults (parameter modulo 9), then the
    // patches as in Patched.
    ServerFault = 2,
    // The exchange itself goes wrong: parameter bit 7 set, the first
    // (parameter & 0x0F) sends fail (bit 6: with a system error other than a
    // timeout); bit 7 clear, the server answers the parameter instead of 1
    // (a parameter of 1 stands for 0x101).
    BadExchange = 3,
};

inline constexpr std::uint8_t kNestedCallsBit = 0x04;
inline constexpr std::uint8_t kNestedCloseBit = 0x08;
inline constexpr std::uint8_t kHostileOpenBit = 0x10;
inline constexpr std::uint8_t kWriteRequestBit = 0x80;
inline constexpr std::uint8_t kNoDestinationBit = 0x40;
inline constexpr std::size_t kRequestBlockSetupSize = 3;
inline constexpr std::size_t kRequestDescriptorSize = 4;
inline constexpr std::size_t kMaxFuzzRequests = 48;
inline constexpr std::uint16_t kAnywhereBit = 0x8000;

}  // namespace bridge::fuzzing
