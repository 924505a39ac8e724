#include "platform/serial/win32/event_wait.h"

#include "platform/serial/comm_error.h"

namespace bridge {

EventWait::EventWait(std::uint32_t eventCodes) : eventCodes_(eventCodes) {}

void EventWait::Select(HANDLE port) {
    if (!SetCommMask(port, eventCodes_)) {
        throw ECommError("Error updating CommMask", static_cast<std::int32_t>(GetLastError()));
    }
}

CommTimeoutValues EventWait::Timeouts(std::int32_t charsTimeOutMs) const {
    return TimeoutsFor(charsTimeOutMs);
}

PortWait::Outcome EventWait::Wait(HANDLE port, HANDLE stop, std::uint32_t& events, DWORD& error) {
    if (eventCodes_ == 0) {  // nothing selected: nothing to wait for but the stop
        WaitForSingleObject(stop, INFINITE);
        return Outcome::Stopped;
    }
    OVERLAPPED* overlapped = transfer_.Begin();
    if (overlapped == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return Outcome::Failed;
    }
    const BOOL started = WaitCommEvent(port, transfer_.EventMaskSlot(), overlapped);
    switch (transfer_.Await(port, started, stop, INFINITE)) {
        case OverlappedTransfer::Ended::Completed:
            events = transfer_.EventMask();
            return Outcome::Woke;
        case OverlappedTransfer::Ended::Failed: error = transfer_.Error(); return Outcome::Failed;
        case OverlappedTransfer::Ended::Interrupted: break;
    }
    // Stopping: clearing the mask ends an event wait on every driver, the
    // cancel on the others.
    SetCommMask(port, 0);
    return transfer_.Cancel(port) ? Outcome::Stopped : Outcome::Abandoned;
}

}  // namespace bridge
