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
      handedOver_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      room_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PortWriter::~PortWriter() {
    Stop();
    WaitFor();
    for (HANDLE h : {handedOver_, room_, stop_}) {
        if (h != nullptr) CloseHandle(h);
    }
}

bool PortWriter::Ready() const noexcept {
    return handedOver_ != nullptr && room_ != nullptr && stop_ != nullptr && transfer_.Ready();
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

bool PortWriter::Queue(const void* bytes, std::size_t count, std::uint8_t tag, bool hold) noexcept {
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(bytes), count);
    if (count > ring_.Capacity()) return false;
    const ULONGLONG deadline = GetTickCount64() + kWriteTimeLimitMs;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!running_) return false;
            if (ring_.Push(data)) {
                queuedTotal_ += count;
                if (tag < kWriteTags && markCount_ < marks_.size()) {
                    marks_[(firstMark_ + markCount_) % marks_.size()] = {queuedTotal_, tag};
                    ++markCount_;
                }
                if (!hold) releasedTotal_ = queuedTotal_;
                break;
            }
            if (stalled_) return false;
            releasedTotal_ = queuedTotal_;  // what is held goes out, so that room comes
            waitingForRoom_ = true;
        }
        SendReleased();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        WaitForSingleObject(room_, static_cast<DWORD>(deadline - now));
    }
    if (!hold) SendReleased();
    return true;
}

void PortWriter::Release() noexcept {
    {
        std::lock_guard<std::mutex> guard(lock_);
        releasedTotal_ = queuedTotal_;
    }
    SendReleased();
}

std::span<const std::uint8_t> PortWriter::NextChunk() {
    const std::uint64_t released = releasedTotal_ - doneTotal_;
    const std::size_t most =
        std::min<std::size_t>(maxTransfer_.load(std::memory_order_relaxed), transfer_.Capacity());
    return ring_.Front(static_cast<std::size_t>(std::min<std::uint64_t>(released, most)));
}

void PortWriter::SendReleased() noexcept {
    std::span<const std::uint8_t> chunk;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_ || sender_ != Sender::None) return;  // a running transfer takes it on
        chunk = NextChunk();
        if (chunk.empty()) return;
        sender_ = Sender::Caller;
    }
    // The chunk stays in the ring, out of Queue's reach, until it is dropped;
    // only this thread queues and stops.
    while (!chunk.empty()) {
        const Sent sent = StartChunk(chunk);
        if (sent == Sent::Running) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                runningSize_ = chunk.size();
                sender_ = Sender::Thread;
            }
            SetEvent(handedOver_);
            return;
        }
        chunk = EndChunk(chunk.size(), sent, Sender::Caller);
    }
}

// A transfer handed over is always taken (it comes first in the wait), so
// none is left running when the thread ends: a stop cancels it.
void PortWriter::Execute() noexcept {
    const HANDLE wake[] = {handedOver_, stop_};
    while (WaitForMultipleObjects(2, wake, FALSE, INFINITE) == WAIT_OBJECT_0) {
        std::size_t size = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (sender_ != Sender::Thread) continue;
            size = runningSize_;
        }
        Sent sent = AwaitChunk(size);
        for (;;) {
            const std::span<const std::uint8_t> chunk = EndChunk(size, sent, Sender::Thread);
            if (sent == Sent::Abandoned) return;
            if (chunk.empty()) break;
            size = chunk.size();
            sent = StartChunk(chunk);
            if (sent == Sent::Running) sent = AwaitChunk(size);
        }
    }
}

std::span<const std::uint8_t> PortWriter::EndChunk(std::size_t size, Sent sent, Sender self) {
    std::span<const std::uint8_t> next;
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (running_) {
            ring_.Drop(size);
            CountWritten(size, sent == Sent::Whole);
        }
        stalled_ = sent != Sent::Whole;
        wake = std::exchange(waitingForRoom_, false);
        if (running_ && sent != Sent::Abandoned) next = NextChunk();
        sender_ = next.empty() ? Sender::None : self;
    }
    if (wake) SetEvent(room_);
    return next;
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

PortWriter::Sent PortWriter::StartChunk(std::span<const std::uint8_t> bytes) noexcept {
    OVERLAPPED* overlapped = transfer_.Begin();
    if (overlapped == nullptr) return Sent::Short;
    const auto count = static_cast<DWORD>(bytes.size());  // at most the transfer's capacity
    std::memcpy(transfer_.Bytes(), bytes.data(), bytes.size());
    const BOOL started = WriteFile(port_, transfer_.Bytes(), count, nullptr, overlapped);
    const std::optional<OverlappedTransfer::Ended> ended = transfer_.Started(port_, started);
    if (!ended) return Sent::Running;
    return ended == OverlappedTransfer::Ended::Completed && transfer_.Transferred() == count
               ? Sent::Whole
               : Sent::Short;
}

PortWriter::Sent PortWriter::AwaitChunk(std::size_t count) noexcept {
    switch (transfer_.AwaitRunning(port_, stop_, INFINITE)) {
        case OverlappedTransfer::Ended::Completed:
            return transfer_.Transferred() == count ? Sent::Whole : Sent::Short;
        case OverlappedTransfer::Ended::Failed: return Sent::Short;
        case OverlappedTransfer::Ended::Interrupted: break;
    }
    // Closing: the rest is not sent.
    return transfer_.Cancel(port_) ? Sent::Short : Sent::Abandoned;
}

}  // namespace bridge
