#include "platform/serial/win32/comm_event_thread.h"

#include <utility>

namespace bridge {

TCommEventThread::TCommEventThread(HANDLE port, ChosenWait wait, CommEventSink& owner)
    : port_(port),
      wait_(std::move(wait.wait)),
      readTurn_(wait.readTurn),
      owner_(owner),
      // Made here rather than in the body, so a Stop that comes before the
      // body has run is not lost.
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TCommEventThread::~TCommEventThread() {
    Stop();
    WaitFor();
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
}

bool TCommEventThread::Ready() const noexcept {
    return stopEvent_ != nullptr && handOver_.Ready() && wait_ != nullptr && wait_->Ready();
}

void TCommEventThread::Stop() noexcept {
    Terminate();
    if (stopEvent_ != nullptr) SetEvent(stopEvent_);
    handOver_.Abort();
}

void TCommEventThread::Execute() noexcept {
    bool purge = true;
    WaitFailures failures;
    while (!Terminated()) {
        std::uint32_t events = 0;
        DWORD error = 0;
        const PortWait::Outcome outcome = wait_->Wait(port_, stopEvent_, events, error);
        if (outcome == PortWait::Outcome::Idle) continue;
        if (outcome == PortWait::Outcome::Stopped || outcome == PortWait::Outcome::Abandoned) break;
        if (outcome == PortWait::Outcome::Failed) {
            if (WaitAgainAfter(error, failures)) continue;
            break;
        }
        failures.WaitSucceeded();
        eventMask_ = events;
        const UiThreadCall::Outcome handed = handOver_.Run(&TCommEventThread::Deliver, this);
        if (handed == UiThreadCall::Outcome::Raised) {
            purge = false;  // a raising handler ends the thread at once, without the purge
            break;
        }
        // No way to the user-interface thread: waiting on would only spin.
        if (handed == UiThreadCall::Outcome::Failed) break;
    }
    if (purge) PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
}

bool TCommEventThread::WaitAgainAfter(DWORD error, WaitFailures& failures) noexcept {
    // After an abort the port's error is cleared (and its status says whether
    // the device is still there) before the wait starts again.
    DWORD statusError = 0;
    if (error == ERROR_OPERATION_ABORTED) {
        DWORD errors = 0;
        COMSTAT status = {};
        if (!ClearCommError(port_, &errors, &status)) statusError = GetLastError();
    }
    switch (failures.Judge(error, statusError)) {
        case WaitFailures::Verdict::WaitAgain: return true;
        case WaitFailures::Verdict::PortLost:
            lostCode_ = static_cast<std::int32_t>(failures.LostError());
            handOver_.Run(&TCommEventThread::DeliverLoss, this);
            return false;
        case WaitFailures::Verdict::StopWaiting: break;
    }
    return false;
}

// The component may close the port, and so free this thread, in either call;
// nothing of the thread is touched after it.
void TCommEventThread::Deliver(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    thread.owner_.HandlePortEvents(thread, thread.eventMask_);
}

void TCommEventThread::DeliverLoss(void* self) {
    auto& thread = *static_cast<TCommEventThread*>(self);
    thread.owner_.HandlePortLost(thread, thread.lostCode_);
}

}  // namespace bridge
