#include "platform/win32/port_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/comm_settings.h"

namespace bridge {

PortWriter::PortWriter(std::size_t capacity)
    : ring_(capacity),
      queued_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      room_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PortWriter::~PortWriter() {
    Stop();
    for (HANDLE h : {queued_, room_, stop_}) {
        if (h != nullptr) CloseHandle(h);
    }
}

bool PortWriter::Start(HANDLE port) {
    Stop();
    if (queued_ == nullptr || room_ == nullptr || stop_ == nullptr) return false;
    port_ = port;
    ResetEvent(stop_);
    {
        std::lock_guard<std::mutex> guard(lock_);
        ring_.Clear();
        running_ = true;
        stalled_ = false;
    }
    thread_ = std::make_unique<Thread>(*this);
    if (thread_->Start()) return true;
    thread_.reset();
    std::lock_guard<std::mutex> guard(lock_);
    running_ = false;
    return false;
}

void PortWriter::Stop() noexcept {
    if (thread_ == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
    }
    thread_->Terminate();
    SetEvent(stop_);
    SetEvent(room_);  // a Queue waiting for room gives up
    thread_.reset();  // waits for the thread
    std::lock_guard<std::mutex> guard(lock_);
    ring_.Clear();
    port_ = INVALID_HANDLE_VALUE;
}

void PortWriter::SetLineRate(std::uint32_t bitsPerSecond) noexcept {
    // Ten bits a byte on the line; half a second's worth.
    maxTransfer_.store(std::max<std::uint32_t>(1, bitsPerSecond / 20), std::memory_order_relaxed);
}

bool PortWriter::Queue(const void* bytes, std::size_t count) noexcept {
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(bytes), count);
    if (count > ring_.Capacity()) return false;
    const ULONGLONG deadline = GetTickCount64() + kWriteTimeLimitMs;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!running_) return false;
            if (ring_.Push(data)) {
                SetEvent(queued_);
                return true;
            }
            if (stalled_) return false;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        WaitForSingleObject(room_, static_cast<DWORD>(deadline - now));
    }
}

// One write's state, which the driver reads from and writes into until the
// write has ended: the bytes are copied here out of the ring. On the heap,
// and left allocated on purpose when a cancelled write does not end within
// the grace time, rather than freed under the driver.
struct PortWriter::Transfer {
    static constexpr std::size_t kCapacity = 16 * 1024;  // over a second at 115200 baud
    OVERLAPPED overlapped = {};
    HANDLE completion = nullptr;
    std::uint8_t bytes[kCapacity] = {};
};

void PortWriter::Send() noexcept {
    Transfer* transfer = new (std::nothrow) Transfer;
    if (transfer == nullptr) return;
    transfer->completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (transfer->completion == nullptr) {
        delete transfer;
        return;
    }
    bool abandoned = false;
    while (!abandoned && WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        std::span<const std::uint8_t> chunk;
        {
            std::lock_guard<std::mutex> guard(lock_);
            chunk = ring_.Front(std::min<std::size_t>(maxTransfer_.load(std::memory_order_relaxed),
                                                      Transfer::kCapacity));
        }
        if (chunk.empty()) {
            const HANDLE wake[] = {stop_, queued_};
            WaitForMultipleObjects(2, wake, FALSE, INFINITE);
            continue;
        }
        // The chunk stays in the ring, out of Queue's reach, until it is dropped here.
        const Sent sent = SendChunk(chunk, *transfer);
        abandoned = sent == Sent::Abandoned;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ring_.Drop(chunk.size());
            stalled_ = sent != Sent::Whole;
        }
        SetEvent(room_);
    }
    if (!abandoned) {
        CloseHandle(transfer->completion);
        delete transfer;
    }
}

PortWriter::Sent PortWriter::SendChunk(std::span<const std::uint8_t> bytes,
                                       Transfer& transfer) noexcept {
    const auto count = static_cast<DWORD>(bytes.size());  // at most Transfer::kCapacity
    std::memcpy(transfer.bytes, bytes.data(), bytes.size());
    transfer.overlapped = {};
    transfer.overlapped.hEvent = transfer.completion;
    ResetEvent(transfer.completion);
    if (!WriteFile(port_, transfer.bytes, count, nullptr, &transfer.overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return Sent::Short;
        const HANDLE wake[] = {stop_, transfer.completion};
        if (WaitForMultipleObjects(2, wake, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            CancelIoEx(port_, &transfer.overlapped);  // closing: the rest is not sent
            if (WaitForSingleObject(transfer.completion, kCancelGraceMs) != WAIT_OBJECT_0) {
                return Sent::Abandoned;
            }
        }
    }
    DWORD written = 0;
    const BOOL ok = GetOverlappedResult(port_, &transfer.overlapped, &written, FALSE);
    return ok && written == count ? Sent::Whole : Sent::Short;
}

}  // namespace bridge
