#include "simlink/exchange_counts.h"

#include <algorithm>

namespace bridge {

void ExchangeCounts::Add(bool succeeded, std::int64_t startUs, std::int64_t durationUs,
                         std::uint32_t result) {
    ++exchanges_;
    if (!succeeded) {
        ++failures_;
        lastFailure_ = result;
    }
    const std::int64_t clamped = std::clamp<std::int64_t>(durationUs, 0, UINT32_MAX);
    times_[next_] = {startUs, static_cast<std::uint32_t>(clamped)};
    next_ = (next_ + 1) % kKept;
    kept_ = std::min(kept_ + 1, kKept);
}

ExchangeTimeSummary ExchangeCounts::LastMinute(std::int64_t nowUs) const {
    std::array<std::uint32_t, kKept> within;  // on the stack: no allocation
    std::size_t n = 0;
    for (std::size_t i = 0; i < kept_; ++i) {
        const Timed& t = times_[i];
        if (nowUs - t.startUs <= kWindowUs) within[n++] = t.durationUs;
    }
    if (n == 0) return {0, 0, 0};
    const auto middle = within.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(within.begin(), middle, within.begin() + static_cast<std::ptrdiff_t>(n));
    const std::uint32_t longest =
        *std::max_element(within.begin(), within.begin() + static_cast<std::ptrdiff_t>(n));
    return {static_cast<std::uint32_t>(n), *middle, longest};
}

}  // namespace bridge
