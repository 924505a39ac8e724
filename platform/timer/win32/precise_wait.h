// A wait on an event with a time limit finer than the system timer tick
// (15.6 ms by default), for the threaded timer's pauses.
//
// Where Windows offers it (Windows 10 1803 and later) a high-resolution
// waitable timer ends the wait. Elsewhere the wait is a plain timed wait, and
// the owner raises the system timer resolution to 1 ms while it needs precise
// pauses (HoldResolution). Wine 8 offers the high-resolution timer too; its
// waits end on whole milliseconds, which the timer's lead makes up for.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bridge {

class PreciseWait {
public:
    enum class Mode { HighResolutionTimer, RaisedResolution };

    // highResolution false skips the waitable timer (to exercise the plain wait).
    explicit PreciseWait(bool highResolution = true);
    ~PreciseWait();
    PreciseWait(const PreciseWait&) = delete;
    PreciseWait& operator=(const PreciseWait&) = delete;

    Mode GetMode() const {
        return timer_ != nullptr ? Mode::HighResolutionTimer : Mode::RaisedResolution;
    }

    // Waits until `event` is signalled (true) or `microseconds` have passed
    // (false). On the waiting thread only.
    bool Wait(HANDLE event, std::int64_t microseconds) noexcept;

    // Raises the system timer resolution while held, when this wait needs it.
    // From one thread (the owner's).
    void HoldResolution(bool hold) noexcept;

private:
    HANDLE timer_ = nullptr;
    bool resolutionHeld_ = false;
};

// Microseconds on the high-resolution performance counter.
std::int64_t NowMicroseconds() noexcept;

}  // namespace bridge
