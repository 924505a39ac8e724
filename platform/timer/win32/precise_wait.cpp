#include "platform/timer/win32/precise_wait.h"

#include <timeapi.h>

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

bool PreciseWait::Wait(HANDLE event, std::int64_t microseconds) noexcept {
    if (microseconds <= 0) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    if (timer_ != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -microseconds * 10;  // relative, in 100 ns units
        if (SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
            const HANDLE handles[] = {event, timer_};
            const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0) CancelWaitableTimer(timer_);
            return r == WAIT_OBJECT_0;
        }
    }
    std::int64_t ms = (microseconds + 500) / 1000;  // nearest millisecond
    if (ms >= INFINITE) ms = INFINITE - 1;
    return WaitForSingleObject(event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
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
