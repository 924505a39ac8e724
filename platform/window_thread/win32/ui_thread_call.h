// The synchronous hand-over from a worker thread to the user-interface thread,
// shared by the threaded timer and the serial event thread.
//
// A UiThreadCall is created on the user-interface thread and owns a hidden
// message-only window there. Run, on the worker, sends that window a message
// (SendNotifyMessage) and blocks until the window procedure has run the
// function. Messages sent from other threads are delivered wherever the
// user-interface thread takes messages: its message loop, modal dialogs,
// message boxes, a SendMessage of its own, and the pumping wait below. So the
// function runs there, between other messages, never beside other UI code.
//
// Abort ends a pending Run at once and makes later ones return at once,
// without running the function; a message still in flight is then ignored.
// Timer destruction and port close abort, so a worker blocked in a hand-over
// never holds up the user-interface thread that is waiting for it to end.
// A hand-over that cannot be made (no window, the thread gone) fails at once:
// a worker must not take that for a tick or a wake-up handed over.
#pragma once

#include <windows.h>

#include <atomic>

namespace bridge {

class UiThreadCall {
public:
    enum class Outcome { Ran, Raised, Aborted, Failed };
    using Function = void (*)(void* context);

    UiThreadCall();   // on the user-interface thread
    ~UiThreadCall();  // on the user-interface thread; may run inside the function
    UiThreadCall(const UiThreadCall&) = delete;
    UiThreadCall& operator=(const UiThreadCall&) = delete;

    // Whether its window and events could be made.
    bool Ready() const noexcept {
        return window_ != nullptr && done_ != nullptr && abortEvent_ != nullptr;
    }

    // On the worker: runs function(context) on the user-interface thread and
    // waits until it has returned (Ran), raised (Raised; the exception stays
    // on the user-interface thread), or the call was aborted (Aborted); or
    // fails at once without running it (Failed). Start, then Wait.
    Outcome Run(Function function, void* context) noexcept;
    // On the worker, the two halves of Run, for a worker that has other
    // things to wait for meanwhile: Start hands the call over and returns at
    // once (false: it failed, nothing runs); Wait waits for its end as Run
    // does. A call that has ended costs Wait no system call, nor the
    // user-interface thread one to say so. One call at a time: Wait for each
    // before the next Start.
    bool Start(Function function, void* context) noexcept;
    Outcome Wait() noexcept;
    // From any thread.
    void Abort() noexcept;
    bool Aborted() const noexcept { return aborted_.load(std::memory_order_acquire); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Service() noexcept;

    HWND window_ = nullptr;
    HANDLE done_ = nullptr;        // auto-reset: the function has run
    HANDLE abortEvent_ = nullptr;  // manual-reset
    std::atomic<bool> aborted_{false};
    // Written by the worker before it sends, read by the window procedure.
    Function function_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> pending_{false};
    std::atomic<Outcome> outcome_{Outcome::Ran};
    // The call has ended; the worker waits for done_. Each side stores its
    // own and then reads the other's, so that done_ is signalled whenever
    // the worker waits, and only then (or, rarely, once more).
    std::atomic<bool> ended_{false};
    std::atomic<bool> waiting_{false};
    // Set by the destructor when it runs inside Service (the function freed us).
    bool* destroyedWhileServing_ = nullptr;
};

// Waits for `object` on the user-interface thread while servicing messages
// sent from other threads (hand-overs among them), so a worker that is
// blocked in a SendMessage or a hand-over can still finish. Returns false if
// the wait failed.
bool WaitServicingSentMessages(HANDLE object);

}  // namespace bridge
