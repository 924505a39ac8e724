// The threaded timer: calls OnTimer on the user-interface thread a fixed
// pause after the previous call has finished. A worker thread measures the
// pauses with a kernel wait and hands each tick over synchronously (see
// ui_thread_call.h), so ticks never overlap and none queue up behind a slow
// handler.
//
// Create, use and destroy it on the user-interface thread, which must take
// messages (a message loop, a modal dialog, ...) for ticks to be delivered.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/timer/win32/precise_wait.h"
#include "platform/window_thread/win32/ui_thread_call.h"
#include "platform/window_thread/win32/worker_thread.h"

namespace bridge {

class TThreadedTimer;
using TTimerNotifyEvent = std::function<void(TThreadedTimer& sender)>;

class TTimerThread : public WorkerThread {
public:
    explicit TTimerThread(TThreadedTimer& owner);
    ~TTimerThread() override;

    std::uint32_t Interval() const noexcept { return interval_.load(std::memory_order_acquire); }
    void SetInterval(std::uint32_t ms) noexcept { interval_.store(ms, std::memory_order_release); }

    // Cuts the wait in progress (or the next one) short, without a tick.
    void Wake() noexcept { SetEvent(wake_); }
    // Lets the worker run, or stops it before its next wait.
    void Run(bool run) noexcept;
    // Asks the worker to end, cuts its wait and a hand-over in progress
    // short, and waits for it (servicing sent messages). Idempotent.
    void Shutdown() noexcept;
    PreciseWait& Waiter() noexcept { return waiter_; }
    // Whether its events and hand-over could be made.
    bool Ready() const noexcept {
        return wake_ != nullptr && gate_ != nullptr && handOver_.Ready();
    }
    // Ticks that could not be handed over to the user-interface thread.
    std::uint32_t MissedTicks() const noexcept {
        return missedTicks_.load(std::memory_order_relaxed);
    }
    // Ticks that began more than half an interval later than due.
    std::uint32_t LateTicks() const noexcept { return lateTicks_.load(std::memory_order_relaxed); }

protected:
    void Execute() noexcept override;

private:
    static void DispatchTick(void* self);

    TThreadedTimer& owner_;
    std::atomic<std::uint32_t> interval_{1000};
    HANDLE wake_;                        // auto-reset
    HANDLE gate_;                        // manual-reset: open while the worker may run
    std::atomic<bool> gateOpen_{false};  // the gate, read without a system call
    PreciseWait waiter_;
    UiThreadCall handOver_;
    // When the last tick's dispatch began and its handler returned; written
    // on the user-interface thread inside the hand-over, read by the worker
    // once the hand-over has ended.
    std::int64_t lastTickStartUs_ = 0;
    std::int64_t lastTickEndUs_ = 0;
    std::atomic<std::uint32_t> missedTicks_{0};
    std::atomic<std::uint32_t> lateTicks_{0};
};

class TThreadedTimer {
public:
    // Raises std::system_error when its worker cannot be made or started.
    TThreadedTimer();
    ~TThreadedTimer();
    TThreadedTimer(const TThreadedTimer&) = delete;
    TThreadedTimer& operator=(const TThreadedTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Milliseconds from the end of one OnTimer call to the start of the next.
    std::uint32_t Interval() const { return worker_->Interval(); }
    void SetInterval(std::uint32_t value);
    // Whether interval 0 ticks (as fast as the handler returns) or stops.
    bool AllowZero() const { return allowZero_; }
    void SetAllowZero(bool value);
    TThreadPriority ThreadPriority() const { return worker_->Priority(); }
    void SetThreadPriority(TThreadPriority value) { worker_->SetPriority(value); }

    TTimerNotifyEvent OnTimer;

    // How the pauses are measured (for the measuring program).
    PreciseWait::Mode WaitMode() const { return worker_->Waiter().GetMode(); }
    // Ticks whose hand-over failed; the worker keeps its interval meanwhile.
    std::uint32_t MissedTicks() const { return worker_->MissedTicks(); }
    // Ticks that began more than half an interval late (a busy user-interface
    // thread, a slow handler before them).
    std::uint32_t LateTicks() const { return worker_->LateTicks(); }

private:
    friend class TTimerThread;

    bool Ticking() const { return enabled_ && (worker_->Interval() > 0 || allowZero_); }
    void StartOrStopWorker(bool start);
    // False if the handler destroyed the timer.
    bool DispatchTick();

    bool enabled_ = false;
    bool allowZero_ = false;
    bool* destroyedDuringTick_ = nullptr;
    std::unique_ptr<TTimerThread> worker_;
};

}  // namespace bridge
