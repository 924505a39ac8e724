// The serial component's transmitter, one per opening of the port. Queue
// copies the caller's bytes into a ring allocated once; they go out one
// overlapped transfer at a time, so bytes go out in call order whatever the
// driver does with concurrent transfers (Wine writes a later transfer at once
// while an earlier one still waits).
//
// The caller's thread starts a transfer itself when none is running, and
// learns at once whether it ended (a transfer a driver takes into its buffer
// at once, as Wine's ptys do, needs nobody else). A transfer that runs on is
// handed to this thread, which waits for it and sends what was queued
// meanwhile; the user-interface thread never waits for the line, unless a
// caller outruns it and the ring is full (see Queue).
//
// A caller may hold what it queues (Queue with `hold`) and let it go with
// Release: a burst of frames then goes out in one transfer, at the cost of
// one system call rather than one for each frame.
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
    // Ends the transfer in flight and drops what is still queued. On the
    // thread that queues.
    void Stop() noexcept;
    // Keeps each transfer short enough (half a second of line time) to end
    // well within the write time limit on a healthy line.
    void SetLineRate(std::uint32_t bitsPerSecond) noexcept;

    // Queues a copy of the bytes, whole or not at all, and unless `hold`
    // starts sending them (with anything held before). When the ring is full
    // it sends what is held and waits for room while the line is taking
    // bytes, at most the write time limit; on a line that stopped taking
    // bytes (a transfer failed or ran into the limit) it gives up at once.
    // False: not queued. Queue, Release and Stop come from one thread.
    bool Queue(const void* bytes, std::size_t count, std::uint8_t tag = kUntagged,
               bool hold = false) noexcept;
    // Starts sending what was queued held.
    void Release() noexcept;

    // Writes of `tag` whose last byte went out in a transfer that took all
    // of its bytes, and the bytes of such transfers; read from any thread.
    std::uint32_t Written(std::uint8_t tag) const noexcept;
    std::uint64_t BytesWritten() const noexcept {
        return bytesWritten_.load(std::memory_order_relaxed);
    }

protected:
    void Execute() noexcept override;

private:
    enum class Sender : std::uint8_t { None, Caller, Thread };
    enum class Sent { Whole, Short, Running, Abandoned };

    // On the caller's thread: sends what is released while no transfer runs.
    void SendReleased() noexcept;
    // Under lock_: the released bytes the next transfer takes (none: empty).
    std::span<const std::uint8_t> NextChunk();
    // Starts a transfer of `bytes`: Whole or Short when it ended at once
    // (Short: failed or ran short), Running when it runs on.
    Sent StartChunk(std::span<const std::uint8_t> bytes) noexcept;
    // On this thread: waits for the running transfer of `count` bytes. Short
    // also when stopped; Abandoned when stopped and the cancelled transfer
    // did not end.
    Sent AwaitChunk(std::size_t count) noexcept;
    // By the sender `self` that owns the transfer: a chunk of `size` bytes
    // has ended; the next chunk that sender sends (empty: none, and the
    // transfer is nobody's).
    std::span<const std::uint8_t> EndChunk(std::size_t size, Sent sent, Sender self);
    // Counts the tagged writes that end within the chunk just sent.
    void CountWritten(std::size_t chunkSize, bool whole);

    // Where a tagged write ends in the stream of queued bytes.
    struct Mark {
        std::uint64_t end;
        std::uint8_t tag;
    };

    std::mutex lock_;  // guards the members up to markCount_
    ByteRing ring_;
    bool running_ = true;
    bool stalled_ = false;
    bool waitingForRoom_ = false;   // a Queue waits on room_
    Sender sender_ = Sender::None;  // who owns the transfer, if one runs
    std::size_t runningSize_ = 0;   // the size of the transfer handed over
    // Bytes queued, released and taken out of the ring, since the start; the
    // marks of the tagged writes in the ring, oldest first (allocated once).
    std::uint64_t queuedTotal_ = 0;
    std::uint64_t releasedTotal_ = 0;
    std::uint64_t doneTotal_ = 0;
    std::vector<Mark> marks_;
    std::size_t firstMark_ = 0;
    std::size_t markCount_ = 0;
    std::array<std::atomic<std::uint32_t>, kWriteTags> written_{};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint32_t> maxTransfer_{480};

    HANDLE port_;
    HANDLE handedOver_;  // auto-reset: a running transfer is this thread's to finish
    HANDLE room_;        // auto-reset: bytes left the ring while a Queue waited
    HANDLE stop_;        // manual-reset
    // 16 KiB, over a second at 115200 baud; the chunk is copied here out of the ring.
    OverlappedTransfer transfer_{16 * 1024};
};

}  // namespace bridge
