// Measures, against the simulator emulator in its own process, the time of
// one exchange of the largest tick (70 requests) through the real client and
// Windows transport, beside a one-request exchange and a bare
// SendMessageTimeout round trip to the same window. Prints a table; the
// figures are medians of five runs.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "simlink/sim_link_client.h"
#include "simlink/win32/sim_link_transport_win32.h"
#include "state/bridge_state.h"
#include "tests/support/tick_requests.h"
#include "tests/win32/sim_emulator_process.h"

namespace {

using namespace bridge;

constexpr int kRuns = 5;
constexpr int kPerRun = 1000;

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Microseconds per call of `step` over kPerRun calls; negative on failure.
template <typename Step>
double Microseconds(Step step) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kPerRun; ++i) {
        if (!step()) return -1.0;
    }
    QueryPerformanceCounter(&end);
    return Seconds(start, end) * 1e6 / kPerRun;
}

double Median(std::array<double, kRuns> runs) {
    std::sort(runs.begin(), runs.end());
    return runs[kRuns / 2];
}

BridgeState tickState{};

bool LargestTick(SimLinkClient& client) {
    testing::QueueLargestTick(client, tickState);
    SimLinkResult result;
    return client.Process(result);
}

bool OneRead(SimLinkClient& client) {
    std::int32_t altitude = 0;
    SimLinkResult result;
    return client.Read(0x0574, 4, &altitude, result) && client.Process(result);
}

}  // namespace

int main() {
    testing::SimEmulatorProcess emulator;
    if (!emulator.Start("")) {
        std::fprintf(stderr, "the emulator did not start\n");
        return 1;
    }
    SimLinkClient client(&Win32SimLinkTransport());
    SimLinkResult result;
    if (!client.Open(0, result)) {
        std::fprintf(stderr, "open: %s\n", SimLinkResultText(result));
        return 1;
    }
    // A registered message the emulator does not know: the default window
    // procedure answers it, so this is the bare cost of the round trip.
    HWND window = emulator.window();
    const UINT unknown = RegisterWindowMessageA("SimLinkBench:Nothing");
    const auto bare = [window, unknown] {
        DWORD_PTR reply = 0;
        return SendMessageTimeoutA(window, unknown, 0, 0, SMTO_NORMAL, 400, &reply) != 0;
    };
    for (int i = 0; i < 100; ++i) LargestTick(client);  // warm up

    // The three measurements take turns, so that a busy machine weighs on all alike.
    std::array<double, kRuns> bareRuns{}, oneRuns{}, tickRuns{};
    for (int run = 0; run < kRuns; ++run) {
        bareRuns[run] = Microseconds(bare);
        oneRuns[run] = Microseconds([&] { return OneRead(client); });
        tickRuns[run] = Microseconds([&] { return LargestTick(client); });
        if (bareRuns[run] <= 0 || oneRuns[run] <= 0 || tickRuns[run] <= 0) {
            std::fprintf(stderr, "an exchange failed\n");
            return 1;
        }
    }
    const double bareUs = Median(bareRuns), oneUs = Median(oneRuns), tickUs = Median(tickRuns);
    std::printf("Simulator link under Wine, median of %d runs of %d calls\n\n", kRuns, kPerRun);
    std::printf("| %-42s | %10s | %8s |\n", "call", "us / call", "ratio");
    std::printf("|%s|%s|%s|\n", std::string(44, '-').c_str(), std::string(12, '-').c_str(),
                std::string(10, '-').c_str());
    std::printf("| %-42s | %10.1f | %8.2f |\n", "bare SendMessageTimeout round trip", bareUs, 1.0);
    std::printf("| %-42s | %10.1f | %8.2f |\n", "exchange of one 4-byte read", oneUs,
                oneUs / bareUs);
    std::printf("| %-42s | %10.1f | %8.2f |\n", "exchange of the largest tick (70 requests)",
                tickUs, tickUs / bareUs);
    client.Close();
    return 0;
}
