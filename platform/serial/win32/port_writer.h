// The serial component's transmitter, one per opening of the port. Write
// copies the caller's bytes into a ring allocated once and returns; this
// thread sends them, one overlapped transfer at a time, so bytes go out in
// call order whatever the driver does with concurrent transfers (Wine writes
// a later transfer at once while an earlier one still waits). The
// user-interface thread never waits for the line, unless a caller outruns it
// and the ring is full (see Queue).
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/serial/byte_ring.h"
#include "platform/serial/win32/overlapped_transfer.h"
#include "platform/window_thread/win32/worker_thread.h"

namespace bridge {

class PortWriter final : public WorkerThread {
public:
    // 64 KiB: over five seconds of the bridge's line, many ticks of frames.
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;
    // A caller may tag its writes (kinds of its own, below kWriteTags) and
    // learn how many of each the line has taken; kUntagged is not counted.
    static constexpr std::size_t kWriteTags = 8;
    static constexpr std::uint8_t kUntagged = 0xFF;

    // For an open port; sends once started (Start).
    explicit PortWriter(HANDLE port, std::size_t capacity = kDefaultCapacity);
    ~PortWriter() override;  // Stop, then waits for the thread

    // Whether its events and transfer could be made.
    bool Ready() const noexcept;
    // Ends the transfer in flight and drops what is still queued.
    void Stop() noexcept;
    // Keeps each transfer short enough (half a second of line time) to end
    // well within the write time limit on a healthy line.
    void SetLineRate(std::uint32_t bitsPerSecond) noexcept;

    // Queues a copy of the bytes, whole or not at all. When the ring is full
    // it waits for room while the line is taking bytes, at most the write
    // time limit; on a line that stopped taking bytes (a transfer failed or
    // ran into the limit) it gives up at once. False: not queued.
    bool Queue(const void* bytes, std::size_t count, std::uint8_t tag = kUntagged) noexcept;

    // Writes of `tag` whose last byte went out in a transfer that took all
    // of its bytes, and the bytes of such transfers; read from any thread.
    std::uint32_t Written(std::uint8_t tag) const noexcept;
    std::uint64_t BytesWritten() const noexcept {
        return bytesWritten_.load(std::memory_order_relaxed);
    }

protected:
    void Execute() noexcept override;

private:
    enum class Sent { Whole, Short, Abandoned };

    // Sends `bytes`: Whole, Short (failed, ran short or stopped), or
    // Abandoned (stopped, and the cancelled transfer did not end).
    Sent SendChunk(std::span<const std::uint8_t> bytes) noexcept;
    // Counts the tagged writes that end within the chunk just sent.
    void CountWritten(std::size_t chunkSize, bool whole);

    // Where a tagged write ends in the stream of queued bytes.
    struct Mark {
        std::uint64_t end;
        std::uint8_t tag;
    };

    std::mutex lock_;  // guards the eight below
    ByteRing ring_;
    bool running_ = true;
    bool stalled_ = false;
    bool waitingForRoom_ = false;  // a Queue waits on room_
    // Bytes queued and bytes taken out of the ring, since the start; the
    // marks of the tagged writes in the ring, oldest first (allocated once).
    std::uint64_t queuedTotal_ = 0;
    std::uint64_t doneTotal_ = 0;
    std::vector<Mark> marks_;
    std::size_t firstMark_ = 0;
    std::size_t markCount_ = 0;
    std::array<std::atomic<std::uint32_t>, kWriteTags> written_{};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint32_t> maxTransfer_{480};

    HANDLE port_;
    HANDLE queued_;  // auto-reset: bytes were queued while the ring was empty
    HANDLE room_;    // auto-reset: bytes left the ring while a Queue waited
    HANDLE stop_;    // manual-reset
    // 16 KiB, over a second at 115200 baud; the chunk is copied here out of the ring.
    OverlappedTransfer transfer_{16 * 1024};
};

}  // namespace bridge
