// A wait on an event with a time limit finer than the system timer tick
// (15.6 ms by default), for the threaded timer's pauses: a schedule of ends,
// set once and running on at a period for as long as it fits.
//
// Where Windows offers it (Windows 10 1803 and later) a high-resolution
// waitable timer ends the wait. Elsewhere the wait is a plain timed wait, and
// the owner raises the system timer resolution to 1 ms while it needs precise
// pauses (HoldResolution). Wine 8 offers the high-resolution timer too, but
// its waits end on whole milliseconds as plain timed waits do, and setting
// it costs a request to Wine's server each time, which a timed wait's limit
// does not: under Wine the owner asks for the plain wait. The threaded
// timer's lead makes up for the whole milliseconds.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bridge {

class PreciseWait {
public:
    enum class Mode { HighResolutionTimer, RaisedResolution };

    // highResolution false skips the waitable timer: the plain wait (under
    // Wine, and to exercise it).
    explicit PreciseWait(bool highResolution = true);
    ~PreciseWait();
    PreciseWait(const PreciseWait&) = delete;
    PreciseWait& operator=(const PreciseWait&) = delete;

    Mode GetMode() const {
        return timer_ != nullptr ? Mode::HighResolutionTimer : Mode::RaisedResolution;
    }

    // A schedule of ends: the first `firstUs` from now, then one every
    // `periodMs` (0: none after the first). Setting it costs a system call
    // (the timer's); the ends of a period that runs on cost none.
    void Arm(std::int64_t firstUs, std::uint32_t periodMs) noexcept;
    // Stops the schedule.
    void Disarm() noexcept;
    bool Armed() const noexcept { return armed_; }
    // Waits until `event` is signalled (true) or the schedule's next end
    // (false; an unarmed schedule has none). On the waiting thread only.
    bool WaitNext(HANDLE event) noexcept;
    // When the end the last WaitNext returned for was due; when the next is.
    std::int64_t LastDueUs() const noexcept { return lastDueUs_; }
    std::int64_t NextDueUs() const noexcept { return nextDueUs_; }
    std::uint32_t PeriodMs() const noexcept { return periodMs_; }

    // Waits until `event` is signalled (true) or `microseconds` have passed
    // (false), on a schedule of its own. On the waiting thread only.
    bool Wait(HANDLE event, std::int64_t microseconds) noexcept;

    // Raises the system timer resolution while held, when this wait needs it.
    // From one thread (the owner's).
    void HoldResolution(bool hold) noexcept;

private:
    HANDLE timer_ = nullptr;
    bool resolutionHeld_ = false;
    bool armed_ = false;
    bool timed_ = false;  // the timer runs the schedule (else timed waits do)
    std::uint32_t periodMs_ = 0;
    std::int64_t nextDueUs_ = 0;
    std::int64_t lastDueUs_ = 0;
};

// Microseconds on the high-resolution performance counter.
std::int64_t NowMicroseconds() noexcept;

}  // namespace bridge
