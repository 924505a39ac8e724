#include "platform/timer/win32/precise_wait.h"

#include <timeapi.h>

#include <algorithm>
#include <climits>

namespace bridge {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif

constexpr UINT kRaisedResolutionMs = 1;

}  // namespace

std::int64_t NowMicroseconds() noexcept {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t ticks = now.QuadPart;
    // Split to keep the product in range for any counter frequency.
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

PreciseWait::PreciseWait(bool highResolution)
    : timer_(highResolution
                 ? CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS)
                 : nullptr) {}

PreciseWait::~PreciseWait() {
    HoldResolution(false);
    if (timer_ != nullptr) CloseHandle(timer_);
}

void PreciseWait::Arm(std::int64_t firstUs, std::uint32_t periodMs) noexcept {
    firstUs = std::max<std::int64_t>(firstUs, 0);
    // A period the timer cannot take runs as one end after another, each armed anew.
    periodMs_ = periodMs <= static_cast<std::uint32_t>(LONG_MAX) ? periodMs : 0;
    nextDueUs_ = NowMicroseconds() + firstUs;
    armed_ = true;
    timed_ = false;
    if (timer_ != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -firstUs * 10;  // relative, in 100 ns units
        timed_ = SetWaitableTimer(timer_, &due, static_cast<LONG>(periodMs_), nullptr, nullptr,
                                  FALSE) != FALSE;
    }
}

void PreciseWait::Disarm() noexcept {
    if (armed_ && timed_) CancelWaitableTimer(timer_);
    armed_ = false;
}

bool PreciseWait::WaitNext(HANDLE event) noexcept {
    if (!armed_) return WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0;
    if (timed_) {
        const HANDLE handles[] = {event, timer_};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) return true;
    } else {
        std::int64_t ms = (nextDueUs_ - NowMicroseconds() + 500) / 1000;  // nearest millisecond
        ms = std::clamp<std::int64_t>(ms, 0, INFINITE - 1);
        if (WaitForSingleObject(event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0) return true;
    }
    lastDueUs_ = nextDueUs_;
    if (periodMs_ == 0) {
        armed_ = false;
        return false;
    }
    // Ends missed meanwhile (the timer's signal does not count them) are past.
    const std::int64_t periodUs = std::int64_t{periodMs_} * 1000;
    const std::int64_t now = NowMicroseconds();
    nextDueUs_ += periodUs;
    while (nextDueUs_ <= now) {
        lastDueUs_ = nextDueUs_;
        nextDueUs_ += periodUs;
    }
    return false;
}

bool PreciseWait::Wait(HANDLE event, std::int64_t microseconds) noexcept {
    if (microseconds <= 0) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    Arm(microseconds, 0);
    const bool signalled = WaitNext(event);
    if (signalled) Disarm();
    return signalled;
}

void PreciseWait::HoldResolution(bool hold) noexcept {
    if (timer_ != nullptr || hold == resolutionHeld_) return;
    resolutionHeld_ = hold;
    if (hold) {
        timeBeginPeriod(kRaisedResolutionMs);
    } else {
        timeEndPeriod(kRaisedResolutionMs);
    }
}

}  // namespace bridge
