#include "platform/timer/win32/threaded_timer.h"

#include <algorithm>
#include <system_error>

namespace bridge {

TTimerThread::TTimerThread(TThreadedTimer& owner)
    : owner_(owner),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      gate_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TTimerThread::~TTimerThread() {
    Shutdown();
    if (wake_ != nullptr) CloseHandle(wake_);
    if (gate_ != nullptr) CloseHandle(gate_);
}

void TTimerThread::Shutdown() noexcept {
    Terminate();
    Wake();
    handOver_.Abort();
    Run(true);  // a stopped worker must run to see the request
    WaitFor();
}

void TTimerThread::Run(bool run) noexcept {
    if (run) {
        SetEvent(gate_);
    } else {
        ResetEvent(gate_);
    }
}

// The pause runs from the end of the last handler call to the start of the
// next. Waking up and handing over take a little time of their own (about a
// millisecond under Wine, whose timers round up to whole milliseconds), so the
// worker measures each pause and starts the next hand-over that much earlier.
// The lead moves 25 us towards each error's sign, so it settles where half the
// pauses run long and half short (the median), whatever the odd late wake-up
// of a busy machine; it stays between 0 and 2 ms.
void TTimerThread::Execute() noexcept {
    if (wake_ == nullptr || gate_ == nullptr) return;
    constexpr std::int64_t kMaxLeadUs = 2000;
    constexpr std::int64_t kLeadStepUs = 25;
    bool ticked = false;  // whether the last pass ended with a tick
    std::int64_t leadUs = 0;
    while (!Terminated()) {
        WaitForSingleObject(gate_, INFINITE);  // stopped: parked here
        if (Terminated()) break;
        // After a wake (enabling, a new interval) a full interval from now.
        const std::int64_t intervalUs = static_cast<std::int64_t>(Interval()) * 1000;
        const bool measured = ticked;
        const std::int64_t start = measured ? lastTickEndUs_ : NowMicroseconds();
        const std::int64_t remaining =
            intervalUs - (NowMicroseconds() - start) - (measured ? leadUs : 0);
        if (waiter_.Wait(wake_, remaining)) {
            ticked = false;
            continue;
        }
        if (Terminated()) break;
        const UiThreadCall::Outcome outcome = handOver_.Run(&TTimerThread::DispatchTick, this);
        if (outcome == UiThreadCall::Outcome::Failed) {
            // No tick: the next pause is a full interval from now, not one
            // from the last tick, which would make the worker spin.
            missedTicks_.fetch_add(1, std::memory_order_relaxed);
            ticked = false;
            continue;
        }
        if (outcome != UiThreadCall::Outcome::Aborted && measured) {
            const std::int64_t error = lastTickStartUs_ - start - intervalUs;
            if (error > intervalUs / 2) lateTicks_.fetch_add(1, std::memory_order_relaxed);
            const std::int64_t step = error > 0 ? kLeadStepUs : (error < 0 ? -kLeadStepUs : 0);
            leadUs = std::clamp<std::int64_t>(leadUs + step, 0, kMaxLeadUs);
        }
        ticked = true;
    }
}

void TTimerThread::DispatchTick(void* self) {
    auto& thread = *static_cast<TTimerThread*>(self);
    thread.lastTickStartUs_ = NowMicroseconds();
    if (thread.owner_.DispatchTick()) thread.lastTickEndUs_ = NowMicroseconds();
}

TThreadedTimer::TThreadedTimer() : worker_(std::make_unique<TTimerThread>(*this)) {
    // Parked until enabled. A timer that could never tick must not pass for one.
    if (!worker_->Ready() || !worker_->Start()) {
        const auto code = static_cast<int>(GetLastError());
        throw std::system_error(code, std::system_category(), "Error creating timer thread");
    }
}

TThreadedTimer::~TThreadedTimer() {
    // The field only: a tick on its way is dropped by the dispatch, and from
    // the worker's shutdown on, the aborted hand-over runs none.
    enabled_ = false;
    if (destroyedDuringTick_ != nullptr) *destroyedDuringTick_ = true;
    worker_->Shutdown();
    worker_.reset();
}

void TThreadedTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    StartOrStopWorker(Ticking());
}

void TThreadedTimer::SetInterval(std::uint32_t value) {
    if (value == worker_->Interval()) return;
    const bool wasEnabled = enabled_;
    SetEnabled(false);
    worker_->SetInterval(value);
    SetEnabled(wasEnabled);
}

// A plain field in the classic component; here it also starts or stops an
// enabled timer at interval 0, so an enabled timer with AllowZero ticks
// whatever order the properties were set in.
void TThreadedTimer::SetAllowZero(bool value) {
    if (value == allowZero_) return;
    allowZero_ = value;
    if (enabled_ && worker_->Interval() == 0) StartOrStopWorker(value);
}

void TThreadedTimer::StartOrStopWorker(bool start) {
    if (start) {
        // The wake makes the wait in progress (or the next) end without a
        // tick, so the first tick comes one full interval from now.
        worker_->Wake();
        worker_->Waiter().HoldResolution(true);
        worker_->Run(true);
    } else {
        worker_->Run(false);
        worker_->Waiter().HoldResolution(false);
    }
}

bool TThreadedTimer::DispatchTick() {
    if (enabled_ && OnTimer) {
        bool destroyed = false;
        destroyedDuringTick_ = &destroyed;
        try {
            OnTimer(*this);
        } catch (...) {
            // Errors of the handler are dropped; the timer goes on ticking.
        }
        if (destroyed) return false;
        destroyedDuringTick_ = nullptr;
    }
    return true;
}

}  // namespace bridge
