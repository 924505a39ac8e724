// When the line's totals go into the log file besides the close: every ten
// minutes of a monotonic clock. After a pause longer than that (a sleep, a
// window held), the next totals come ten minutes after the one written at
// the end of it, not once a tick until the schedule has caught up.
#pragma once

#include <cstdint>

namespace bridge {

class TotalsSchedule {
public:
    static constexpr std::uint64_t kEveryMs = 10 * 60 * 1000;

    // True when the totals are due at `nowMs`; the first call only starts
    // the schedule.
    bool Due(std::uint64_t nowMs) {
        if (!started_) {
            started_ = true;
            nextMs_ = nowMs + kEveryMs;
            return false;
        }
        if (nowMs < nextMs_) return false;
        nextMs_ = nowMs + kEveryMs;
        return true;
    }

private:
    bool started_ = false;
    std::uint64_t nextMs_ = 0;
};

}  // namespace bridge
