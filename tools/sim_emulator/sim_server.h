// The simulator emulator's side of the IPC request protocol, without the
// operating system: carries out a client's request block against the 64 KiB
// image, logs each exchange in a line format for tests, and injects faults.
//
// Bad clients exist too: the whole block is parsed and checked before anything
// is carried out, each header is read once (the client could change the block
// while it is parsed), and a block that is not well formed is refused with
// the answer 0 and left as it is.
//
// Log lines (one exchange: its request lines, then the X line; numbers in
// decimal unless marked hex; offsets as 4 hex digits, bytes as 2 hex digits):
//   R <exchange> <offset hex> <size> <destination reference, 8 hex>
//   W <exchange> <offset hex> <size> <written bytes hex, or - when none>
//   BAD <exchange> <reason> <byte position>
//   X <exchange> <answer> <request count> <fault name> [qpc_us=<time>]
// The X line carries the time only when one was given for the exchange (see
// StampNextExchange); readers skip fields they do not know. The program adds,
// after an exchange's X line, lines about the section it was served from:
//   CLIENT <exchange> <atom hex> <atom name>      the client stamp was written
//                                                 (a client's first handshake)
//   STALE <exchange> <atom hex> <name mapped> <atom name>
//                                                 served from a kept section
//                                                 that the atom no longer names
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/sim_emulator/sim_image.h"

namespace simemu {

inline constexpr std::size_t kBlockSize = 0x8000;
inline constexpr std::uint32_t kVersionOffset = 0x3304;
inline constexpr std::uint32_t kSimulatorWordOffset = 0x3308;
inline constexpr std::uint32_t kClientStampOffset = 0x330A;
inline constexpr std::uint32_t kDefaultVersion = 0x3A000000;        // any value from 0x19980005 up
inline constexpr std::uint32_t kDefaultSimulatorWord = 0xFADE0007;  // FS2004
inline constexpr std::uint32_t kWrongVersion = 0x19980004;

enum class Fault : std::uint8_t {
    None,
    NoReply,       // the window procedure answers only after the client gave up
    BadReply,      // answers 0 without carrying out the requests
    WrongVersion,  // serves 0x19980004 at 0x3304
    BadSize,       // after carrying out: first read's size field one larger
    HugeSize,      // after carrying out: first read's size field 0xFFFFFFF0
    BadMarker,     // after carrying out: last request's marker 7
    BadReference,  // after carrying out: first read's destination reference altered
    BadEnd,        // after carrying out: end marker 1
};
inline constexpr std::size_t kFaultCount = 9;

const char* FaultName(Fault fault);
std::optional<Fault> ParseFault(std::string_view name);

// Which exchanges fail: after `goodFirst` good exchanges, `count` exchanges
// fail with the fault (count 0: every one from then on), then all are good.
class FaultPlan {
public:
    void Set(Fault fault, std::uint32_t goodFirst, std::uint32_t count);
    // The fault for the next exchange (one call per exchange).
    Fault Next();
    Fault fault() const { return fault_; }

private:
    Fault fault_ = Fault::None;
    std::uint32_t goodFirst_ = 0;
    std::uint32_t remaining_ = 0;
    bool forever_ = false;
};

// The slow mode: for a while, each exchange is answered only after a delay
// drawn from [minMs, maxMs], then all are answered at once again. The delays
// come from a seeded generator, so a run can be repeated.
class SlowPlan {
public:
    explicit SlowPlan(std::uint32_t seed = 1) : state_(seed == 0 ? 1 : seed) {}
    // Slow from `nowMs` for `forMs` (0: from now on, until set again); a
    // maximum of 0 ends the slow mode.
    void Set(std::uint32_t minMs, std::uint32_t maxMs, std::uint32_t forMs, std::uint64_t nowMs);
    // The delay for an exchange that begins at `nowMs`: 0 when not slow.
    std::uint32_t Next(std::uint64_t nowMs);

private:
    std::uint32_t state_;
    std::uint32_t minMs_ = 0;
    std::uint32_t maxMs_ = 0;
    bool forever_ = false;
    std::uint64_t untilMs_ = 0;
};

class SimServer {
public:
    SimServer();

    Image& image() { return image_; }
    const Image& image() const { return image_; }
    // The values served at 0x3304 and 0x3308. Writes by clients to
    // 0x3304..0x330B do not change them; the stamp at 0x330A is kept apart.
    void SetIdentity(std::uint32_t version, std::uint32_t simulatorWord);
    std::uint16_t clientStamp() const { return clientStamp_; }
    // How many times a client has written its stamp: once per open.
    std::uint32_t stampWrites() const { return stampWrites_; }
    std::uint32_t exchanges() const { return exchanges_; }
    // The time the next exchange began, in microseconds of the caller's clock,
    // for its X line (as " qpc_us=<value>"); used by that exchange only.
    void StampNextExchange(std::uint64_t microseconds) { stampUs_ = microseconds; }

    // Carries out `block` (the client's whole section, usually 32 KiB) with
    // `fault` applied and returns the answer for the client: 1 when done,
    // 0 when refused. Appends the exchange's log lines to `log` when given.
    std::uintptr_t Serve(std::span<std::uint8_t> block, Fault fault, std::string* log);
    // Counts and logs an exchange whose block could not be reached (no atom
    // name, no section); the answer is 0.
    std::uintptr_t Refuse(const char* reason, Fault fault, std::string* log);

private:
    struct Request {
        std::uint32_t position, marker, offset, size, reference;
    };
    static constexpr std::size_t kMaxRequests = kBlockSize / 12;

    bool Parse(std::span<const std::uint8_t> block, std::string* log);
    void LogBad(const char* reason, std::size_t position, std::string* log) const;
    void LogEnd(std::uintptr_t answer, Fault fault, std::string* log) const;
    void Execute(std::span<std::uint8_t> block, Fault fault);
    void ApplyWrite(std::span<const std::uint8_t> bytes, std::uint32_t offset);
    void Corrupt(std::span<std::uint8_t> block, Fault fault) const;
    void LogRequests(std::span<const std::uint8_t> block, std::string& log) const;

    Image image_{};
    std::uint32_t version_ = kDefaultVersion;
    std::uint32_t simulatorWord_ = kDefaultSimulatorWord;
    std::uint16_t clientStamp_ = 0;
    std::uint32_t stampWrites_ = 0;
    std::uint32_t exchanges_ = 0;
    std::optional<std::uint64_t> stampUs_;
    std::size_t count_ = 0;
    std::size_t end_ = 0;  // position of the end marker
    std::array<Request, kMaxRequests> requests_{};
};

}  // namespace simemu
