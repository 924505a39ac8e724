#include "platform/win32/comm_event_thread.h"

#include <algorithm>
#include <new>

namespace bridge {

// One wait's state, which the driver writes into until the wait has ended.
// On the heap, and left allocated on purpose when a cancelled wait does not
// end within the grace time: freed, it would be written into after the free.
struct TCommEventThread::Transfer {
    OVERLAPPED overlapped = {};
    HANDLE completion = nullptr;
    DWORD eventMask = 0;
    std::uint8_t byte = 0;
};

TCommEventThread::TCommEventThread(HANDLE port, TCommEventType events, WaitMethod method)
    : port_(port),
      method_(method),
      // Made here rather than in the body, so a Stop that comes before the
      // body has run is not lost.
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      selectedCodes_(EventCodesFor(events)) {
    if (method_ == WaitMethod::ReceivedBytes) {
        SetCommMask(port_, 0);
        const CommTimeoutValues v = ReadWaitTimeouts();
        COMMTIMEOUTS timeouts = {v.readIntervalTimeout, v.readTotalTimeoutMultiplier,
                                 v.readTotalTimeoutConstant, v.writeTotalTimeoutMultiplier,
                                 v.writeTotalTimeoutConstant};
        SetCommTimeouts(port_, &timeouts);
    } else {
        SetCommMask(port_, selectedCodes_);
    }
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

std::size_t TCommEventThread::TakeHeld(std::uint8_t* bytes, std::size_t max) noexcept {
    const std::size_t n = std::min(max, heldCount_);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = held_[(heldHead_ + i) % held_.size()];
    heldHead_ = (heldHead_ + n) % held_.size();
    heldCount_ -= n;
    return n;
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
    const bool waits = method_ == WaitMethod::ReceivedBytes || selectedCodes_ != 0;
    // Nothing selected: there is nothing to wait for but the stop.
    if (!waits) WaitForSingleObject(stopEvent_, INFINITE);
    bool handlerRaised = false;
    bool transferEnded = true;
    WaitFailures failures;
    while (waits && !Terminated()) {
        DWORD error = 0;
        const WaitResult r = method_ == WaitMethod::ReceivedBytes ? WaitForByte(*transfer, error)
                                                                  : WaitForEvents(*transfer, error);
        if (r == WaitResult::Nothing) continue;
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
    DWORD unused = 0;
    const WaitResult r = AwaitCompletion(transfer, error, unused);
    if (r == WaitResult::Events) eventMask_ = transfer.eventMask;
    return r;
}

TCommEventThread::WaitResult TCommEventThread::WaitForByte(Transfer& transfer,
                                                           DWORD& error) noexcept {
    if (heldCount_ == held_.size()) {
        WaitForSingleObject(stopEvent_, INFINITE);
        return WaitResult::Stopped;
    }
    ResetEvent(transfer.completion);
    transfer.overlapped = {};
    transfer.overlapped.hEvent = transfer.completion;
    if (!ReadFile(port_, &transfer.byte, 1, nullptr, &transfer.overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        error = GetLastError();
        return WaitResult::Failed;
    }
    DWORD received = 0;
    const WaitResult r = AwaitCompletion(transfer, error, received);
    if (r != WaitResult::Events) return r;
    if (received == 0) return WaitResult::Nothing;  // the read's time limit ran out
    held_[(heldHead_ + heldCount_) % held_.size()] = transfer.byte;
    ++heldCount_;
    eventMask_ = EV_RXCHAR;
    return WaitResult::Events;
}

// Waits for the transfer to end or for the stop. On the stop the transfer is
// cancelled; Abandoned: it did not end in time and is left to the driver.
TCommEventThread::WaitResult TCommEventThread::AwaitCompletion(Transfer& transfer, DWORD& error,
                                                               DWORD& transferred) noexcept {
    const HANDLE handles[] = {stopEvent_, transfer.completion};
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) {
        // Stopping (or the wait itself failed): the port is closing. Clearing
        // the mask completes an event wait on every driver; the cancel ends a read.
        if (method_ == WaitMethod::Events) SetCommMask(port_, 0);
        CancelIoEx(port_, &transfer.overlapped);
        return WaitForSingleObject(transfer.completion, kCancelGraceMs) == WAIT_OBJECT_0
                   ? WaitResult::Stopped
                   : WaitResult::Abandoned;
    }
    if (!GetOverlappedResult(port_, &transfer.overlapped, &transferred, FALSE)) {
        error = GetLastError();
        return WaitResult::Failed;
    }
    return WaitResult::Events;
}

bool TCommEventThread::HandOver(UiThreadCall::Function function) noexcept {
    handingOver_.store(true, std::memory_order_release);
    const UiThreadCall::Outcome outcome = handOver_.Run(function, this);
    handingOver_.store(false, std::memory_order_release);
    return outcome != UiThreadCall::Outcome::Raised;
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
