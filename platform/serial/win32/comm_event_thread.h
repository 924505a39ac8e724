// The serial component's event thread: waits on the port (see port_wait.h)
// and hands each wake-up synchronously to the user-interface thread, where
// the component queries the port and calls its handlers. When the device goes
// away (an adapter pulled out) it hands the loss over once and ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/serial/wait_failures.h"
#include "platform/serial/win32/port_wait_choice.h"
#include "platform/window_thread/win32/ui_thread_call.h"
#include "platform/window_thread/win32/worker_thread.h"

namespace bridge {

class TCommEventThread;

// What the thread hands over to (the component), on the user-interface thread.
class CommEventSink {
public:
    virtual void HandlePortEvents(TCommEventThread& sender, std::uint32_t eventMask) = 0;
    // The device is gone (see WaitFailures); the thread then ends.
    virtual void HandlePortLost(TCommEventThread& sender, std::int32_t errorCode) = 0;

protected:
    ~CommEventSink() = default;
};

class TCommEventThread : public WorkerThread {
public:
    // On the user-interface thread; the wait has selected on the port what
    // it waits for. The thread starts with Start().
    TCommEventThread(HANDLE port, ChosenWait wait, CommEventSink& owner);
    ~TCommEventThread() override;  // ends the body first if it still runs

    // Whether its stop event, hand-over and wait could be made.
    bool Ready() const noexcept;
    // Signals the stop event, marks the thread terminated and aborts a
    // hand-over in progress. The body then leaves its loop.
    void Stop() noexcept;

    PortWait& Wait() noexcept { return *wait_; }
    // The wait's share of Read, when it reads the device itself; else none.
    ReadTurn* Turn() noexcept { return readTurn_; }
    // Written by each completed wait; read on the user-interface thread
    // during a hand-over.
    std::uint32_t EventMask() const noexcept { return eventMask_; }

protected:
    void Execute() noexcept override;

private:
    // A wait failed: whether to wait again. A lost device is handed over.
    bool WaitAgainAfter(DWORD error, WaitFailures& failures) noexcept;
    static void Deliver(void* self);
    static void DeliverLoss(void* self);

    HANDLE port_;
    std::unique_ptr<PortWait> wait_;
    ReadTurn* readTurn_;    // part of *wait_, or null
    CommEventSink& owner_;  // the link to the component's HandlePortEvents
    HANDLE stopEvent_;
    std::uint32_t eventMask_ = 0;
    std::int32_t lostCode_ = 0;
    UiThreadCall handOver_;
};

}  // namespace bridge
