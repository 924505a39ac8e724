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
    // Nothing selected: there is nothing to wait for but the stop.
    const bool waits = selectedCodes_ != 0;
    if (!waits) WaitForSingleObject(stopEvent_, INFINITE);
    bool handlerRaised = false;
    bool transferEnded = true;
    WaitFailures failures;
    while (waits && !Terminated()) {
        DWORD error = 0;
        const WaitResult r = WaitForEvents(*transfer, error);
        if (r == WaitResult::Stopped) break;
        if (r == WaitResult::Abandoned) {
            transferEnded = false;
            break;
        }
        if (r == WaitResult::Failed) {
            // After an abort the port's error is cleared (and its status says
            // whether the device is still there) before the wait starts again.
            DWORD statusError = 0;
            if (error == ERROR_OPERATION_ABORTED) {
                DWORD errors = 0;
                COMSTAT status = {};
                if (!ClearCommError(port_, &errors, &status)) statusError = GetLastError();
            }
            const WaitFailures::Verdict verdict = failures.Judge(error, statusError);
            if (verdict == WaitFailures::Verdict::WaitAgain) continue;
            if (verdict == WaitFailures::Verdict::PortLost) {
                lostCode_ = static_cast<std::int32_t>(failures.LostError());
                HandOver(&TCommEventThread::DeliverLoss);
            }
            break;
        }
        failures.WaitSucceeded();
        if (!HandOver(&TCommEventThread::Deliver)) {
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

TCommEventThread::WaitResult TCommEventThread::WaitForEvents(Transfer& transfer,
                                                             DWORD& error) noexcept {
    ResetEvent(transfer.completion);
    transfer.overlapped = {};
    transfer.overlapped.hEvent = transfer.completion;
    transfer.eventMask = 0;
    if (!WaitCommEvent(port_, &transfer.eventMask, &transfer.overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        error = GetLastError();
        return WaitResult::Failed;
    }
    const WaitResult r = AwaitCompletion(transfer, error);
    if (r == WaitResult::Events) eventMask_ = transfer.eventMask;
    return r;
}

// Waits for the transfer to end or for the stop. On the stop the transfer is
// cancelled; Abandoned: it did not end in time and is left to the driver.
TCommEventThread::WaitResult TCommEventThread::AwaitCompletion(Transfer& transfer,
                                                               DWORD& error) noexcept {
    const HANDLE handles[] = {stopEvent_, transfer.completion};
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) {
        // Stopping (or the wait itself failed): the port is closing. Clearing
        // the mask completes the wait on every driver, and the cancel too.
        SetCommMask(port_, 0);
        CancelIoEx(port_, &transfer.overlapped);
        return WaitForSingleObject(transfer.completion, kCancelGraceMs) == WAIT_OBJECT_0
                   ? WaitResult::Stopped
                   : WaitResult::Abandoned;
    }
    DWORD unused = 0;
    if (!GetOverlappedResult(port_, &transfer.overlapped, &unused, FALSE)) {
        error = GetLastError();
        return WaitResult::Failed;
    }
    return WaitResult::Events;
}

bool TCommEventThread::HandOver(UiThreadCall::Function function) noexcept {
    return handOver_.Run(function, this) != UiThreadCall::Outcome::Raised;
}

void TCommEventThread::Deliver(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    const std::uint32_t mask = thread.eventMask_;
    if (thread.OnPortEvents) thread.OnPortEvents(thread, mask);
}

void TCommEventThread::DeliverLoss(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    if (thread.OnPortLost) thread.OnPortLost(thread, thread.lostCode_);
}

}  // namespace bridge
