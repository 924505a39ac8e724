// The serial component's event thread: waits on the port for the selected
// events and hands each wake-up synchronously to the user-interface thread,
// where the component queries the port and calls its handlers. When the
// device goes away (an adapter pulled out) it hands the loss over once and
// ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "platform/comm_settings.h"
#include "platform/wait_failures.h"
#include "platform/win32/ui_thread_call.h"
#include "platform/win32/worker_thread.h"

namespace bridge {

class TCommEventThread : public WorkerThread {
public:
    using PortEventsLink = std::function<void(TCommEventThread& sender, std::uint32_t eventMask)>;
    using PortLostLink = std::function<void(TCommEventThread& sender, std::int32_t errorCode)>;

    // On the user-interface thread: selects the events on the port; the
    // thread starts with Start().
    TCommEventThread(HANDLE port, TCommEventType events);
    ~TCommEventThread() override;  // ends the body first if it still runs

    // Signals the stop event, marks the thread terminated and aborts a
    // hand-over in progress. The body then leaves its loop.
    void Stop() noexcept;

    // Written by each completed wait; read on the user-interface thread
    // during a hand-over.
    std::uint32_t EventMask() const noexcept { return eventMask_; }

    // Set before Start; called on the user-interface thread.
    PortEventsLink OnPortEvents;
    // The device is gone (see WaitFailures): called once, with the error;
    // the thread then ends.
    PortLostLink OnPortLost;

protected:
    void Execute() noexcept override;

private:
    struct Transfer;
    enum class WaitResult { Events, Stopped, Abandoned, Failed };

    WaitResult WaitForEvents(Transfer& transfer, DWORD& error) noexcept;
    WaitResult AwaitCompletion(Transfer& transfer, DWORD& error) noexcept;
    bool HandOver(UiThreadCall::Function function) noexcept;
    static void Deliver(void* self);
    static void DeliverLoss(void* self);

    HANDLE port_;
    DWORD eventMask_ = 0;
    HANDLE stopEvent_;
    std::uint32_t selectedCodes_;
    std::int32_t lostCode_ = 0;
    UiThreadCall handOver_;
};

}  // namespace bridge
