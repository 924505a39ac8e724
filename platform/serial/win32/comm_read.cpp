// The serial component's Read: what the wait holds, then the device.
#include <algorithm>
#include <cstring>

#include "platform/serial/win32/comm.h"

namespace bridge {

namespace {

// A read waits this long past the inter-byte timeout for its transfer to end
// before it is cancelled: reads of waiting bytes end at once, and a read with
// nothing to take would otherwise wait for the first byte without limit.
constexpr DWORD kReadGraceMs = 100;

}  // namespace

// Under the event wait, straight from the device. The read wait may hold
// bytes it took; they come first. Then the device, in Read's turn (see
// read_turn.h).
std::int32_t TCustomComm::Read(void* buffer, std::int32_t count) {
    if (state_ != PortState::Open || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    if (count == 0) return 0;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    ReadTurn* const readTurn = eventThread_->Turn();
    if (readTurn == nullptr) return ReadFromDevice(bytes, 0, static_cast<std::size_t>(count));
    struct Turn {
        ReadTurn& turn;
        ~Turn() { turn.EndRead(); }
    } turn{*readTurn};
    const bool deviceFree = readTurn->BeginRead(handle_);
    const std::size_t taken = readTurn->TakeHeld(bytes, static_cast<std::size_t>(count));
    const std::size_t fromDevice =
        deviceFree ? std::min(static_cast<std::size_t>(count) - taken, WaitingOnDevice()) : 0;
    return ReadFromDevice(bytes, taken, fromDevice);
}

// Appends up to `fromDevice` bytes from the device to the `taken` already at
// `bytes`; returns the total, or -1 when the device failed before any came.
std::int32_t TCustomComm::ReadFromDevice(std::uint8_t* bytes, std::size_t taken,
                                         std::size_t fromDevice) {
    while (fromDevice > 0) {
        const std::size_t chunk = std::min(fromDevice, read_.Capacity());
        const std::int32_t n = ReadDevice(bytes + taken, chunk);
        if (n < 0) return taken > 0 ? static_cast<std::int32_t>(taken) : -1;
        const auto got = static_cast<std::size_t>(n);
        taken += got;
        fromDevice -= got;
        queuedAtStatus_ -= static_cast<DWORD>(std::min<std::size_t>(got, queuedAtStatus_));
        if (got < chunk) break;  // nothing more has come
    }
    return static_cast<std::int32_t>(taken);  // at most count
}

// In a wake-up, what its status query saw; elsewhere, what is there now.
std::size_t TCustomComm::WaitingOnDevice() {
    if (dispatching_) return queuedAtStatus_;
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(handle_, &errors, &status)) return 0;
    lineErrorCounts_.Count(errors);  // cleared by the query: counted here or never
    return status.cbInQue;
}

std::int32_t TCustomComm::ReadDevice(std::uint8_t* bytes, std::size_t count) {
    OVERLAPPED* overlapped = read_.Begin();
    if (overlapped == nullptr) return -1;
    const BOOL started =
        ReadFile(handle_, read_.Bytes(), static_cast<DWORD>(count), nullptr, overlapped);
    // Wine, and some drivers, report even a read of waiting bytes as pending.
    const DWORD limit = static_cast<DWORD>(charsTimeOut_ > 0 ? charsTimeOut_ : 0) + kReadGraceMs;
    switch (read_.Await(handle_, started, nullptr, limit)) {
        case OverlappedTransfer::Ended::Completed: break;
        case OverlappedTransfer::Ended::Failed: return -1;
        case OverlappedTransfer::Ended::Interrupted:
            // Cut off: what it took by then counts.
            if (!read_.Cancel(handle_)) return -1;
            break;
    }
    const std::size_t got = std::min<std::size_t>(read_.Transferred(), count);
    std::memcpy(bytes, read_.Bytes(), got);
    return static_cast<std::int32_t>(got);
}

}  // namespace bridge
