#include "platform/win32/power_throttling.h"

#include <windows.h>

namespace bridge {

void OptOutOfPowerThrottling() noexcept {
    // Looked up, so that the program still starts where the call is missing.
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const auto setProcessInformation =
        reinterpret_cast<SetProcessInformationFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    if (setProcessInformation == nullptr) return;
    PROCESS_POWER_THROTTLING_STATE state = {};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    // Named in the mask and cleared in the state: never throttled.
    state.ControlMask =
        PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace bridge
