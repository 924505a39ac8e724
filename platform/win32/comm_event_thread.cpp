#include "platform/win32/comm_event_thread.h"

namespace bridge {

TCommEventThread::TCommEventThread(HANDLE port, TCommEventType events)
    : port_(port),
      // Made here rather than in the body, so a Stop that comes before the
      // body has run is not lost.
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      selectedCodes_(EventCodesFor(events)) {
    SetCommMask(port_, selectedCodes_);
}

TCommEventThread::~TCommEventThread() {
    Stop();
    WaitFor();
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
}

void TCommEventThread::Stop() noexcept {
    Terminate();
    if (stopEvent_ != nullptr) SetEvent(stopEvent_);
    handOver_.Abort();
}

void TCommEventThread::Execute() noexcept {
    const HANDLE completion = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (completion == nullptr || stopEvent_ == nullptr) return;
    bool handlerRaised = false;
    if (selectedCodes_ == 0) {
        // Nothing selected: there is nothing to wait for but the stop.
        WaitForSingleObject(stopEvent_, INFINITE);
    }
    while (selectedCodes_ != 0 && !Terminated()) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = completion;
        // A wait that fails (device gone, no event support in the driver)
        // ends the loop; trying again would only fail again at full speed.
        if (WaitForEvents(overlapped) != WaitResult::Events) break;
        const UiThreadCall::Outcome outcome = handOver_.Run(&TCommEventThread::Deliver, this);
        if (outcome == UiThreadCall::Outcome::Raised) {
            handlerRaised = true;  // ends at once, without the purge
            break;
        }
    }
    if (!handlerRaised) PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    CloseHandle(completion);
}

TCommEventThread::WaitResult TCommEventThread::WaitForEvents(OVERLAPPED& overlapped) noexcept {
    ResetEvent(overlapped.hEvent);
    eventMask_ = 0;
    if (!WaitCommEvent(port_, &eventMask_, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return WaitResult::Failed;
        const HANDLE handles[] = {stopEvent_, overlapped.hEvent};
        const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1) {
            EndPendingWait(overlapped);
            return r == WAIT_OBJECT_0 ? WaitResult::Stopped : WaitResult::Failed;
        }
    }
    DWORD unused = 0;
    if (!GetOverlappedResult(port_, &overlapped, &unused, FALSE)) return WaitResult::Failed;
    return WaitResult::Events;
}

// The pending wait still writes the event mask into this object when it
// ends, so it must have ended before the thread (and the object) may go.
// Clearing the mask completes it on every driver; the port is closing anyway.
void TCommEventThread::EndPendingWait(OVERLAPPED& overlapped) noexcept {
    SetCommMask(port_, 0);
    CancelIoEx(port_, &overlapped);
    DWORD unused = 0;
    GetOverlappedResult(port_, &overlapped, &unused, TRUE);
}

void TCommEventThread::Deliver(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    const std::uint32_t mask = thread.eventMask_;
    if (thread.OnPortEvents) thread.OnPortEvents(thread, mask);
}

}  // namespace bridge
