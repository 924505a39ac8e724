#include "platform/win32/port_writer.h"

#include <algorithm>

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

void PortWriter::Send() noexcept {
    const HANDLE completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (completion == nullptr) return;
    while (WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        std::span<const std::uint8_t> chunk;
        {
            std::lock_guard<std::mutex> guard(lock_);
            chunk = ring_.Front(maxTransfer_.load(std::memory_order_relaxed));
        }
        if (chunk.empty()) {
            const HANDLE wake[] = {stop_, queued_};
            WaitForMultipleObjects(2, wake, FALSE, INFINITE);
            continue;
        }
        // The chunk stays in the ring, out of Queue's reach, until it is dropped here.
        const bool whole = Transfer(chunk.data(), static_cast<DWORD>(chunk.size()), completion);
        {
            std::lock_guard<std::mutex> guard(lock_);
            ring_.Drop(chunk.size());
            stalled_ = !whole;
        }
        SetEvent(room_);
    }
    CloseHandle(completion);
}

bool PortWriter::Transfer(const std::uint8_t* bytes, DWORD count, HANDLE completion) noexcept {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = completion;
    ResetEvent(completion);
    if (!WriteFile(port_, bytes, count, nullptr, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        const HANDLE wake[] = {stop_, completion};
        if (WaitForMultipleObjects(2, wake, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            CancelIoEx(port_, &overlapped);  // closing: the rest is not sent
        }
    }
    DWORD written = 0;
    const BOOL ok = GetOverlappedResult(port_, &overlapped, &written, TRUE);
    return ok && written == count;
}

}  // namespace bridge
