// The base of the timer's and the serial component's worker threads: created
// stopped, given a priority, started, asked to terminate and waited for.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace bridge {

enum TThreadPriority : std::uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

int PlatformPriority(TThreadPriority priority);

class WorkerThread {
public:
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread body at the current priority; once only. Returns
    // false if the system could not create the thread.
    bool Start();
    // Marks the thread terminated; the body looks at Terminated().
    void Terminate() noexcept { terminated_.store(true, std::memory_order_release); }
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
    bool Started() const noexcept { return handle_ != nullptr; }
    // True once the body has returned (or if it never started).
    bool Finished() const noexcept;

    TThreadPriority Priority() const noexcept { return priority_; }
    void SetPriority(TThreadPriority priority) noexcept;

    // Waits until the body has returned, servicing messages sent to this
    // thread meanwhile (see WaitServicingSentMessages).
    void WaitFor() noexcept;

protected:
    WorkerThread() = default;
    // Derived destructors must have the body ended (WaitFor) before they run.
    virtual ~WorkerThread();
    virtual void Execute() noexcept = 0;

private:
    static unsigned __stdcall Entry(void* self);

    HANDLE handle_ = nullptr;
    std::atomic<bool> terminated_{false};
    TThreadPriority priority_ = tpNormal;
};

}  // namespace bridge
