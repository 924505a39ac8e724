#include "platform/win32/comm_event_thread.h"

#include <new>

namespace bridge {

// One wait's state, which the driver writes into until the wait has ended.
// On the heap, and left allocated on purpose when a cancelled wait does not
// end within the grace time: freed, it would be written into after the free.
struct TCommEventThread::Transfer {
    OVERLAPPED overlapped = {};
    HANDLE completion = nullptr;
    DWORD eventMask = 0;
};

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
    if (stopEvent_ == nullptr) return;
    Transfer* transfer = new (std::nothrow) Transfer;
    if (transfer == nullptr) return;
    transfer->completion = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (transfer->completion == nullptr) {
        delete transfer;
        return;
    }
    bool handlerRaised = false;
    bool transferEnded = true;
    if (selectedCodes_ == 0) {
        // Nothing selected: there is nothing to wait for but the stop.
        WaitForSingleObject(stopEvent_, INFINITE);
    }
    while (selectedCodes_ != 0 && !Terminated()) {
        const WaitResult r = WaitForEvents(*transfer);
        if (r == WaitResult::Abandoned) transferEnded = false;
        // A wait that fails (device gone, no event support in the driver)
        // ends the loop; trying again would only fail again at full speed.
        if (r != WaitResult::Events) break;
        const UiThreadCall::Outcome outcome = handOver_.Run(&TCommEventThread::Deliver, this);
        if (outcome == UiThreadCall::Outcome::Raised) {
            handlerRaised = true;  // ends at once, without the purge
            break;
        }
    }
    if (!handlerRaised) PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    if (transferEnded) {
        CloseHandle(transfer->completion);
        delete transfer;
    }
}

TCommEventThread::WaitResult TCommEventThread::WaitForEvents(Transfer& transfer) noexcept {
    ResetEvent(transfer.completion);
    transfer.overlapped = {};
    transfer.overlapped.hEvent = transfer.completion;
    transfer.eventMask = 0;
    if (!WaitCommEvent(port_, &transfer.eventMask, &transfer.overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return WaitResult::Failed;
    }
    const HANDLE handles[] = {stopEvent_, transfer.completion};
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) {
        // Stopping (or the wait itself failed): the port is closing. Clearing
        // the mask completes the wait on every driver, and the cancel too; a
        // wait that still does not end is left to the driver.
        SetCommMask(port_, 0);
        CancelIoEx(port_, &transfer.overlapped);
        if (WaitForSingleObject(transfer.completion, kCancelGraceMs) != WAIT_OBJECT_0) {
            return WaitResult::Abandoned;
        }
        return r == WAIT_OBJECT_0 ? WaitResult::Stopped : WaitResult::Failed;
    }
    DWORD unused = 0;
    if (!GetOverlappedResult(port_, &transfer.overlapped, &unused, FALSE)) {
        return WaitResult::Failed;
    }
    eventMask_ = transfer.eventMask;
    return WaitResult::Events;
}

void TCommEventThread::Deliver(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    const std::uint32_t mask = thread.eventMask_;
    if (thread.OnPortEvents) thread.OnPortEvents(thread, mask);
}

}  // namespace bridge
