// What the simulator link's exchanges came to: how many, how many failed,
// and how long each took, kept for the last minute. Fixed storage: counting
// an exchange allocates nothing, nor does the summary.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace bridge {

// The clock exchanges are timed by: a monotonic clock's microseconds.
inline std::int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ExchangeTimeSummary {
    std::uint32_t count;     // exchanges within the minute
    std::uint32_t medianUs;  // 0 when none
    std::uint32_t longestUs;
};

class ExchangeCounts {
public:
    static constexpr std::int64_t kWindowUs = 60'000'000;
    // A minute of exchanges at the cycle's 20 a second, with room to spare.
    static constexpr std::size_t kKept = 1500;

    // An exchange that started at startUs and took durationUs (on
    // SteadyMicroseconds); a failed one with its result code.
    void Add(bool succeeded, std::int64_t startUs, std::int64_t durationUs,
             std::uint32_t result = 0);

    std::uint64_t Exchanges() const { return exchanges_; }
    std::uint64_t Failures() const { return failures_; }
    // The result code of the last failed exchange (0: none yet).
    std::uint32_t LastFailure() const { return lastFailure_; }
    // The exchanges that started within the minute before nowUs.
    ExchangeTimeSummary LastMinute(std::int64_t nowUs) const;

private:
    struct Timed {
        std::int64_t startUs;
        std::uint32_t durationUs;
    };

    std::uint64_t exchanges_ = 0;
    std::uint64_t failures_ = 0;
    std::uint32_t lastFailure_ = 0;
    std::array<Timed, kKept> times_{};
    std::size_t next_ = 0;  // the oldest entry once the ring is full
    std::size_t kept_ = 0;
};

}  // namespace bridge
