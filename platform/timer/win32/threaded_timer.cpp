#include "platform/timer/win32/threaded_timer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "platform/system/win32/wine.h"

namespace bridge {

TTimerThread::TTimerThread(TThreadedTimer& owner)
    : owner_(owner),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      gate_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      waiter_(!RunningUnderWine()) {}

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
    gateOpen_.store(run, std::memory_order_release);
    if (run) {
        SetEvent(gate_);
    } else {
        ResetEvent(gate_);
    }
}

namespace {

constexpr std::int64_t kMaxLeadUs = 2000;
constexpr std::int64_t kStepUs = 25;
// A wake-up this much before its time still ticks: a tick picked up a little
// late (the user-interface thread was busy), or a handler a little longer
// than usual, does not move the schedule. The most the lead takes off a pause.
constexpr std::int64_t kEarlyToleranceUs = kMaxLeadUs;
// How far the handlers' length may stray from what the period allows for
// before the period follows it.
constexpr std::int64_t kPeriodSlackUs = 750;

std::int64_t StepTowards(std::int64_t value, std::int64_t target, std::int64_t most) {
    const std::int64_t step = target > value ? kStepUs : (target < value ? -kStepUs : 0);
    return std::clamp<std::int64_t>(value + step, 0, most);
}

// The period of the wake-ups, in whole milliseconds: the interval plus the
// handlers' usual length; `current` while that is close enough.
std::uint32_t PeriodFor(std::int64_t intervalUs, std::int64_t spanUs, std::uint32_t current) {
    const std::int64_t wanted = intervalUs + spanUs;
    if (current > 0 && std::abs(wanted - std::int64_t{current} * 1000) <= kPeriodSlackUs) {
        return current;
    }
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(
        (wanted + 500) / 1000, 1, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

// The pause runs from the end of the last handler call to the start of the
// next. The worker's wake-ups follow a schedule at a period (PreciseWait),
// set once and left to run while it fits: the interval plus the handlers'
// usual length, so that a wake-up comes an interval after the last handler
// ended without the timer being set for each tick. Nor does the worker wait
// for the handler: it hands the tick over and learns that the handler has
// returned when it wakes for the next one. Where the schedule does not fit
// (a handler that ran long or was picked up late, a new interval, the first
// tick) it is set again, for an interval after the handler's end less the
// lead: waking up and handing over take a little time of their own (about a
// millisecond under Wine, whose timers end on whole milliseconds). The lead
// and the handlers' length move 25 us towards each new figure, so they
// settle on their medians whatever the odd late wake-up of a busy machine.
void TTimerThread::Execute() noexcept {
    if (wake_ == nullptr || gate_ == nullptr) return;
    bool inFlight = false;           // a tick handed over whose end the worker has not seen
    std::int64_t inFlightDueUs = 0;  // when the wake-up that handed it over was due
    bool ticked = false;             // lastEndUs is the end of the last tick
    std::int64_t lastEndUs = 0;
    std::int64_t leadUs = 0;  // how late a tick starts after its wake-up was due
    std::int64_t spanUs = 0;  // how long a handler call lasts
    while (!Terminated()) {
        if (!gateOpen_.load(std::memory_order_acquire)) {
            waiter_.Disarm();
            ticked = false;                        // enabled again: a full interval from then
            WaitForSingleObject(gate_, INFINITE);  // stopped: parked here
            continue;
        }
        const std::int64_t intervalUs = std::int64_t{Interval()} * 1000;
        if (inFlight && intervalUs == 0) {  // AllowZero: back to back
            inFlight = false;
            handOver_.Wait();
        }
        if (!waiter_.Armed() && intervalUs > 0) {
            // After a wake (enabling, a new interval) a full interval from now.
            const std::int64_t firstUs =
                ticked ? lastEndUs + intervalUs - leadUs - NowMicroseconds() : intervalUs;
            waiter_.Arm(firstUs, PeriodFor(intervalUs, spanUs, 0));
        }
        const bool woken = intervalUs > 0 ? waiter_.WaitNext(wake_)
                                          : WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0;
        if (woken) {
            waiter_.Disarm();
            ticked = false;
            continue;
        }
        if (Terminated()) break;
        if (inFlight) {
            inFlight = false;
            if (handOver_.Wait() == UiThreadCall::Outcome::Aborted) continue;
            const std::int64_t start = lastTickStartUs_;
            if (ticked && start - lastEndUs - intervalUs > intervalUs / 2) {
                lateTicks_.fetch_add(1, std::memory_order_relaxed);
            }
            leadUs = StepTowards(leadUs, start - inFlightDueUs, kMaxLeadUs);
            spanUs = StepTowards(spanUs, lastTickEndUs_ - start, intervalUs);
            lastEndUs = lastTickEndUs_;
            ticked = true;
        }
        if (!gateOpen_.load(std::memory_order_acquire)) continue;
        if (ticked && intervalUs > 0) {
            const std::int64_t dueUs = lastEndUs + intervalUs - leadUs;
            const std::int64_t nowUs = NowMicroseconds();
            if (nowUs < dueUs - kEarlyToleranceUs) {
                waiter_.Arm(dueUs - nowUs, PeriodFor(intervalUs, spanUs, waiter_.PeriodMs()));
                continue;
            }
            const std::uint32_t period = PeriodFor(intervalUs, spanUs, waiter_.PeriodMs());
            if (period != waiter_.PeriodMs()) {
                waiter_.Arm(waiter_.LastDueUs() + std::int64_t{period} * 1000 - nowUs, period);
            }
        }
        if (!handOver_.Start(&TTimerThread::DispatchTick, this)) {
            // No tick: the next comes a period later, as scheduled.
            missedTicks_.fetch_add(1, std::memory_order_relaxed);
            ticked = false;
            continue;
        }
        inFlight = true;
        inFlightDueUs = waiter_.LastDueUs();
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
