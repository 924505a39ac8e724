// Windows 11 throttles programs it deems in the background (power throttling,
// "efficiency mode"): on battery, or with the window covered, their timers
// coarsen and their threads slow down. The bridge's 50 ms cycle must hold in
// exactly those moments, so the process opts out where the system allows it.
#pragma once

namespace bridge {

// Asks the system not to throttle this process's execution speed nor to
// ignore its timer resolution. Does nothing where the system has no such
// setting (before Windows 10 1709; Wine); the result is not needed.
void OptOutOfPowerThrottling() noexcept;

}  // namespace bridge
