// The serial component's event thread: waits on the port for the selected
// events and hands each wake-up synchronously to the user-interface thread,
// where the component queries the port and calls its handlers. When the
// device goes away (an adapter pulled out) it hands the loss over once and
// ends.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
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

    // How received bytes are waited for. Events: the platform's event wait
    // for the selected events. ReceivedBytes (received bytes only): a read
    // that returns as soon as one byte has arrived; the byte is held here
    // for the component's Read. Wine serves an event wait by polling the
    // line and leaks memory with each one that completes; a read it serves
    // by waiting on the device, like Windows does both.
    enum class WaitMethod { Events, ReceivedBytes };

    // On the user-interface thread: selects the events on the port (for
    // ReceivedBytes: no events, and the read wait's timeouts); the thread
    // starts with Start().
    TCommEventThread(HANDLE port, TCommEventType events, WaitMethod method = WaitMethod::Events);
    ~TCommEventThread() override;  // ends the body first if it still runs

    // Signals the stop event, marks the thread terminated and aborts a
    // hand-over in progress. The body then leaves its loop.
    void Stop() noexcept;

    // Written by each completed wait; read on the user-interface thread
    // during a hand-over.
    std::uint32_t EventMask() const noexcept { return eventMask_; }

    // On the user-interface thread. True while a wake-up is being handed over
    // (the thread waits for the user-interface thread, and no wait is
    // pending); only then may the held bytes be looked at.
    bool HandingOver() const noexcept { return handingOver_.load(std::memory_order_acquire); }
    // ReceivedBytes: the bytes the waits took that Read has not yet taken,
    // oldest first.
    std::size_t HeldCount() const noexcept { return heldCount_; }
    std::size_t TakeHeld(std::uint8_t* bytes, std::size_t max) noexcept;

    // Set before Start; called on the user-interface thread.
    PortEventsLink OnPortEvents;
    // The device is gone (see WaitFailures): called once, with the error;
    // the thread then ends.
    PortLostLink OnPortLost;

protected:
    void Execute() noexcept override;

private:
    struct Transfer;
    enum class WaitResult { Events, Nothing, Stopped, Abandoned, Failed };

    WaitResult WaitForEvents(Transfer& transfer, DWORD& error) noexcept;
    WaitResult WaitForByte(Transfer& transfer, DWORD& error) noexcept;
    WaitResult AwaitCompletion(Transfer& transfer, DWORD& error, DWORD& transferred) noexcept;
    bool HandOver(UiThreadCall::Function function) noexcept;
    static void Deliver(void* self);
    static void DeliverLoss(void* self);

    HANDLE port_;
    WaitMethod method_;
    DWORD eventMask_ = 0;
    HANDLE stopEvent_;
    std::uint32_t selectedCodes_;
    std::int32_t lostCode_ = 0;
    std::atomic<bool> handingOver_{false};
    // ReceivedBytes: a ring of the bytes taken by the waits. The thread adds
    // between hand-overs, Read takes during them, so the hand-over orders
    // every access. Full (Read took none of 4 KiB), the thread stops reading
    // and the bytes wait in the driver, as they would for an event wait.
    std::array<std::uint8_t, 4096> held_{};
    std::size_t heldHead_ = 0;
    std::size_t heldCount_ = 0;
    UiThreadCall handOver_;
};

}  // namespace bridge
