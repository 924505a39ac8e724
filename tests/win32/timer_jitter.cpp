// Measures the threaded timer's pauses: the time from the end of one OnTimer
// call to the start of the next, which should equal the interval. Not a test:
// it prints a table.
//
//   timer_jitter.exe [ticks=1000] [interval_ms=50]
//
// On Windows run it directly; here, under Wine:
//   scripts/wine-exec build/mingw/tests/win32/timer_jitter.exe
// A run of 1000 ticks at 50 ms takes about 50 s.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/timer/win32/precise_wait.h"
#include "platform/timer/win32/threaded_timer.h"

using bridge::NowMicroseconds;

namespace {

double Percentile(std::vector<std::int64_t> v, double p) {
    std::sort(v.begin(), v.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return static_cast<double>(v[index]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;
    const int intervalMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 50;

    std::vector<std::int64_t> starts, ends;
    starts.reserve(static_cast<std::size_t>(ticks) + 1);
    ends.reserve(static_cast<std::size_t>(ticks) + 1);

    bridge::TThreadedTimer timer;
    timer.SetInterval(static_cast<std::uint32_t>(intervalMs));
    timer.OnTimer = [&](bridge::TThreadedTimer& sender) {
        starts.push_back(NowMicroseconds());
        if (starts.size() > static_cast<std::size_t>(ticks)) {
            sender.SetEnabled(false);
            PostQuitMessage(0);
        }
        ends.push_back(NowMicroseconds());
    };
    timer.SetEnabled(true);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);

    std::vector<std::int64_t> deviation, magnitude;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        const std::int64_t pause = starts[i + 1] - ends[i];
        deviation.push_back(pause - std::int64_t{intervalMs} * 1000);
        magnitude.push_back(std::llabs(deviation.back()));
    }
    const bool highResolution = timer.WaitMode() == bridge::PreciseWait::Mode::HighResolutionTimer;
    std::printf("threaded timer pauses, interval %d ms, %zu pauses\n", intervalMs,
                deviation.size());
    std::printf("wait: %s\n", highResolution ? "high-resolution waitable timer"
                                             : "timed wait, timer resolution raised to 1 ms");
    std::printf("%-28s %10s\n", "deviation from interval", "ms");
    std::printf("%-28s %10.3f\n", "median (signed)", Percentile(deviation, 0.5));
    std::printf("%-28s %10.3f\n", "median |deviation|", Percentile(magnitude, 0.5));
    std::printf("%-28s %10.3f\n", "p90 |deviation|", Percentile(magnitude, 0.90));
    std::printf("%-28s %10.3f\n", "p99 |deviation|", Percentile(magnitude, 0.99));
    std::printf("%-28s %10.3f\n", "max |deviation|", Percentile(magnitude, 1.0));
    std::printf("%-28s %10.3f\n", "min (signed)", Percentile(deviation, 0.0));
    return 0;
}
