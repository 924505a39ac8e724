#include "platform/serial/win32/read_wait.h"

#include <algorithm>
#include <chrono>
#include <span>
#include <utility>

#include "platform/serial/comm_error.h"
#include "platform/serial/win32/comm_settings_win32.h"

namespace bridge {

ReadWait::ReadWait(std::size_t holdCapacity) : hold_(holdCapacity) {}

void ReadWait::Select(HANDLE port) {
    if (!SetPortTimeouts(port, ReadWaitTimeouts())) {
        throw ECommError("Error updating CommTimeouts", static_cast<std::int32_t>(GetLastError()));
    }
    if (!SetCommMask(port, 0)) {  // no event wait runs beside the reads
        throw ECommError("Error updating CommMask", static_cast<std::int32_t>(GetLastError()));
    }
}

// CharsTimeOut is kept for a later wait; the reads need these.
CommTimeoutValues ReadWait::Timeouts(std::int32_t /*charsTimeOutMs*/) const {
    return ReadWaitTimeouts();
}

PortWait::Outcome ReadWait::Wait(HANDLE port, HANDLE stop, std::uint32_t& events, DWORD& error) {
    std::unique_lock<std::mutex> lock(lock_);
    readerChanged_.wait(lock, [this] { return !readsPaused_; });
    OVERLAPPED* overlapped = transfer_.Begin();
    if (overlapped == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return Outcome::Failed;
    }
    // Started under the lock, so a cancel by BeginRead finds it on the device.
    const BOOL started = ReadFile(port, transfer_.Bytes(), 1, nullptr, overlapped);
    waitReading_ = true;
    lock.unlock();

    const OverlappedTransfer::Ended ended = transfer_.Await(port, started, stop, INFINITE);
    const bool abandoned =
        ended == OverlappedTransfer::Ended::Interrupted && !transfer_.Cancel(port);
    lock.lock();
    waitReading_ = false;
    const bool cancelledForRead = std::exchange(cancelledForRead_, false);
    const bool got = ended == OverlappedTransfer::Ended::Completed && transfer_.Transferred() == 1;
    // A full hold drops the byte, as a full input queue would.
    if (got && hold_.Free() > 0) hold_.Push(std::span<const std::uint8_t>(transfer_.Bytes(), 1));
    lock.unlock();
    readerChanged_.notify_all();

    switch (ended) {
        case OverlappedTransfer::Ended::Interrupted:  // stopping: the input is discarded
            return abandoned ? Outcome::Abandoned : Outcome::Stopped;
        case OverlappedTransfer::Ended::Failed:
            if (cancelledForRead && transfer_.Error() == ERROR_OPERATION_ABORTED)
                return Outcome::Idle;
            error = transfer_.Error();
            return Outcome::Failed;
        case OverlappedTransfer::Ended::Completed: break;
    }
    if (!got) return Outcome::Idle;  // the read's time limit ran out
    events = EV_RXCHAR;
    return Outcome::Woke;
}

bool ReadWait::BeginRead(HANDLE port) {
    std::unique_lock<std::mutex> lock(lock_);
    readsPaused_ = true;
    if (!waitReading_) return true;
    cancelledForRead_ = true;
    transfer_.RequestCancel(port);
    // The wait ends its read without needing this thread, so this cannot deadlock.
    return readerChanged_.wait_for(lock, std::chrono::milliseconds(kCancelGraceMs),
                                   [this] { return !waitReading_; });
}

void ReadWait::EndRead() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        readsPaused_ = false;
    }
    readerChanged_.notify_all();
}

std::size_t ReadWait::HeldCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return hold_.Size();
}

std::size_t ReadWait::TakeHeld(std::uint8_t* bytes, std::size_t max) {
    std::lock_guard<std::mutex> guard(lock_);
    return hold_.Pop(std::span<std::uint8_t>(bytes, max));
}

}  // namespace bridge
