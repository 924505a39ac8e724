#include "platform/timer/win32/power_throttling.h"

#include <windows.h>

namespace bridge {

namespace {

// SetProcessInformation (Windows 8) and its power-throttling setting (Windows
// 10 1709), declared here: the program is compiled for Windows 7, whose
// declarations have neither.
constexpr int kProcessPowerThrottling = 4;  // in PROCESS_INFORMATION_CLASS
struct PowerThrottlingState {               // PROCESS_POWER_THROTTLING_STATE
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};
constexpr ULONG kPowerThrottlingCurrentVersion = 1;
constexpr ULONG kPowerThrottlingExecutionSpeed = 0x1;
constexpr ULONG kPowerThrottlingIgnoreTimerResolution = 0x4;
using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// Where the headers declare them anyway (MinGW's do), they must agree.
#ifdef PROCESS_POWER_THROTTLING_CURRENT_VERSION
static_assert(kProcessPowerThrottling == ProcessPowerThrottling);
static_assert(sizeof(PowerThrottlingState) == sizeof(PROCESS_POWER_THROTTLING_STATE));
static_assert(kPowerThrottlingCurrentVersion == PROCESS_POWER_THROTTLING_CURRENT_VERSION);
static_assert(kPowerThrottlingExecutionSpeed == PROCESS_POWER_THROTTLING_EXECUTION_SPEED);
static_assert(kPowerThrottlingIgnoreTimerResolution ==
              PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
#endif

}  // namespace

void OptOutOfPowerThrottling() noexcept {
    // Looked up, so that the program still starts where the call is missing.
    const auto setProcessInformation =
        reinterpret_cast<SetProcessInformationFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    if (setProcessInformation == nullptr) return;
    PowerThrottlingState state = {};
    state.version = kPowerThrottlingCurrentVersion;
    // Named in the mask and cleared in the state: never throttled.
    state.controlMask = kPowerThrottlingExecutionSpeed | kPowerThrottlingIgnoreTimerResolution;
    state.stateMask = 0;
    setProcessInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
}

}  // namespace bridge
