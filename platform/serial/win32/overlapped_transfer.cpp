#include "platform/serial/win32/overlapped_transfer.h"

#include <atomic>
#include <memory>
#include <new>

#include "platform/serial/comm_settings.h"

namespace bridge {

namespace {
std::atomic<std::uint32_t> abandoned{0};
}  // namespace

struct OverlappedTransfer::State {
    ~State() {
        if (completion != nullptr) CloseHandle(completion);
    }
    OVERLAPPED overlapped = {};
    HANDLE completion = nullptr;  // manual-reset
    DWORD eventMask = 0;
    std::unique_ptr<std::uint8_t[]> bytes;
};

OverlappedTransfer::OverlappedTransfer(std::size_t capacity)
    : capacity_(capacity), state_(MakeState(capacity)) {}

OverlappedTransfer::~OverlappedTransfer() { delete state_; }

OverlappedTransfer::State* OverlappedTransfer::MakeState(std::size_t capacity) noexcept {
    std::unique_ptr<State> state(new (std::nothrow) State);
    if (state == nullptr) return nullptr;
    if (capacity > 0) {
        state->bytes.reset(new (std::nothrow) std::uint8_t[capacity]);
        if (state->bytes == nullptr) return nullptr;
    }
    state->completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return state->completion != nullptr ? state.release() : nullptr;
}

OVERLAPPED* OverlappedTransfer::Begin() noexcept {
    if (state_ == nullptr) state_ = MakeState(capacity_);  // after an abandonment
    if (state_ == nullptr) return nullptr;
    // No ResetEvent: ReadFile, WriteFile and WaitCommEvent reset the event as
    // they start, and the call would cost a system call a transfer. The low
    // bit keeps the end of the transfer from being posted to a completion
    // port, which Wine would otherwise ask its server to do for every one.
    state_->overlapped = {};
    state_->overlapped.hEvent =
        reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(state_->completion) | 1);
    state_->eventMask = 0;
    transferred_ = 0;
    error_ = 0;
    return &state_->overlapped;
}

std::uint8_t* OverlappedTransfer::Bytes() noexcept {
    return state_ != nullptr ? state_->bytes.get() : nullptr;
}

DWORD* OverlappedTransfer::EventMaskSlot() noexcept {
    return state_ != nullptr ? &state_->eventMask : nullptr;
}

DWORD OverlappedTransfer::EventMask() const noexcept {
    return state_ != nullptr ? state_->eventMask : 0;
}

std::optional<OverlappedTransfer::Ended> OverlappedTransfer::Started(HANDLE port,
                                                                     BOOL started) noexcept {
    if (started) {
        Finish(port);
        return error_ == 0 ? Ended::Completed : Ended::Failed;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return std::nullopt;
    error_ = error;
    return Ended::Failed;
}

OverlappedTransfer::Ended OverlappedTransfer::Await(HANDLE port, BOOL started, HANDLE stop,
                                                    DWORD timeoutMs) noexcept {
    const std::optional<Ended> now = Started(port, started);
    return now ? *now : AwaitRunning(port, stop, timeoutMs);
}

OverlappedTransfer::Ended OverlappedTransfer::AwaitRunning(HANDLE port, HANDLE stop,
                                                           DWORD timeoutMs) noexcept {
    const HANDLE handles[] = {state_->completion, stop};
    const DWORD count = stop != nullptr ? 2 : 1;
    if (WaitForMultipleObjects(count, handles, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        return Ended::Interrupted;
    }
    Finish(port);
    return error_ == 0 ? Ended::Completed : Ended::Failed;
}

bool OverlappedTransfer::Cancel(HANDLE port) noexcept {
    CancelIoEx(port, &state_->overlapped);
    if (WaitForSingleObject(state_->completion, kCancelGraceMs) == WAIT_OBJECT_0) {
        Finish(port);
        return true;
    }
    // Still the driver's: left allocated, never freed under it.
    state_ = nullptr;
    abandoned.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void OverlappedTransfer::RequestCancel(HANDLE port) noexcept {
    if (state_ != nullptr) CancelIoEx(port, &state_->overlapped);
}

void OverlappedTransfer::Finish(HANDLE port) noexcept {
    DWORD transferred = 0;
    error_ =
        GetOverlappedResult(port, &state_->overlapped, &transferred, FALSE) ? 0 : GetLastError();
    // A cancelled transfer reports what it moved before it ended.
    transferred_ = transferred;
}

std::uint32_t AbandonedTransfers() noexcept { return abandoned.load(std::memory_order_relaxed); }

}  // namespace bridge
