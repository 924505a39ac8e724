#include "platform/serial/win32/port_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/serial/comm_settings.h"

namespace bridge {

PortWriter::PortWriter(HANDLE port, std::size_t capacity)
    : ring_(capacity),
      // The bridge's shortest frame has ten bytes; a write of fewer than
      // eight that finds no room for its mark goes uncounted.
      marks_(capacity / 8 + 1),
      port_(port),
      queued_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      room_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PortWriter::~PortWriter() {
    Stop();
    WaitFor();
    for (HANDLE h : {queued_, room_, stop_}) {
        if (h != nullptr) CloseHandle(h);
    }
}

bool PortWriter::Ready() const noexcept {
    return queued_ != nullptr && room_ != nullptr && stop_ != nullptr && transfer_.Ready();
}

void PortWriter::Stop() noexcept {
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
        ring_.Clear();
        markCount_ = 0;  // dropped, not written
    }
    Terminate();
    if (stop_ != nullptr) SetEvent(stop_);
    if (room_ != nullptr) SetEvent(room_);  // a Queue waiting for room gives up
}

void PortWriter::SetLineRate(std::uint32_t bitsPerSecond) noexcept {
    // Ten bits a byte on the line; half a second's worth.
    maxTransfer_.store(std::max<std::uint32_t>(1, bitsPerSecond / 20), std::memory_order_relaxed);
}

std::uint32_t PortWriter::Written(std::uint8_t tag) const noexcept {
    return tag < kWriteTags ? written_[tag].load(std::memory_order_relaxed) : 0;
}

bool PortWriter::Queue(const void* bytes, std::size_t count, std::uint8_t tag) noexcept {
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(bytes), count);
    if (count > ring_.Capacity()) return false;
    const ULONGLONG deadline = GetTickCount64() + kWriteTimeLimitMs;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!running_) return false;
            const bool idle = ring_.Size() == 0;
            if (ring_.Push(data)) {
                queuedTotal_ += count;
                if (tag < kWriteTags && markCount_ < marks_.size()) {
                    marks_[(firstMark_ + markCount_) % marks_.size()] = {queuedTotal_, tag};
                    ++markCount_;
                }
                // Each wake-up costs a system call; a busy writer finds the
                // bytes when its transfer ends.
                if (idle) SetEvent(queued_);
                return true;
            }
            if (stalled_) return false;
            waitingForRoom_ = true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        WaitForSingleObject(room_, static_cast<DWORD>(deadline - now));
    }
}

void PortWriter::Execute() noexcept {
    while (WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        std::span<const std::uint8_t> chunk;
        {
            std::lock_guard<std::mutex> guard(lock_);
            chunk = ring_.Front(std::min<std::size_t>(maxTransfer_.load(std::memory_order_relaxed),
                                                      transfer_.Capacity()));
        }
        if (chunk.empty()) {
            const HANDLE wake[] = {stop_, queued_};
            WaitForMultipleObjects(2, wake, FALSE, INFINITE);
            continue;
        }
        // The chunk stays in the ring, out of Queue's reach, until it is dropped
        // here; Stop clears the ring only once this thread is told to stop.
        const Sent sent = SendChunk(chunk);
        bool wake = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (running_) {
                ring_.Drop(chunk.size());
                CountWritten(chunk.size(), sent == Sent::Whole);
            }
            stalled_ = sent != Sent::Whole;
            wake = std::exchange(waitingForRoom_, false);
        }
        if (wake) SetEvent(room_);
        if (sent == Sent::Abandoned) break;
    }
}

// Under lock_. A write that ends in a chunk the line did not take whole is
// not counted.
void PortWriter::CountWritten(std::size_t chunkSize, bool whole) {
    doneTotal_ += chunkSize;
    if (whole) bytesWritten_.fetch_add(chunkSize, std::memory_order_relaxed);
    while (markCount_ > 0 && marks_[firstMark_].end <= doneTotal_) {
        if (whole) written_[marks_[firstMark_].tag].fetch_add(1, std::memory_order_relaxed);
        firstMark_ = (firstMark_ + 1) % marks_.size();
        --markCount_;
    }
}

PortWriter::Sent PortWriter::SendChunk(std::span<const std::uint8_t> bytes) noexcept {
    OVERLAPPED* overlapped = transfer_.Begin();
    if (overlapped == nullptr) return Sent::Short;
    const auto count = static_cast<DWORD>(bytes.size());  // at most the transfer's capacity
    std::memcpy(transfer_.Bytes(), bytes.data(), bytes.size());
    const BOOL started = WriteFile(port_, transfer_.Bytes(), count, nullptr, overlapped);
    switch (transfer_.Await(port_, started, stop_, INFINITE)) {
        case OverlappedTransfer::Ended::Completed:
            return transfer_.Transferred() == count ? Sent::Whole : Sent::Short;
        case OverlappedTransfer::Ended::Failed: return Sent::Short;
        case OverlappedTransfer::Ended::Interrupted: break;
    }
    // Closing: the rest is not sent.
    return transfer_.Cancel(port_) ? Sent::Short : Sent::Abandoned;
}

}  // namespace bridge
