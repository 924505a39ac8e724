// The serial component's transmitter, one per opening of the port. Write
// copies the caller's bytes into a ring allocated once and returns; this
// thread sends them, one overlapped transfer at a time, so bytes go out in
// call order whatever the driver does with concurrent transfers (Wine writes
// a later transfer at once while an earlier one still waits). The
// user-interface thread never waits for the line, unless a caller outruns it
// and the ring is full (see Queue).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "platform/byte_ring.h"
#include "platform/win32/overlapped_transfer.h"
#include "platform/win32/worker_thread.h"

namespace bridge {

class PortWriter final : public WorkerThread {
public:
    // 64 KiB: over five seconds of the bridge's line, many ticks of frames.
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;

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
    bool Queue(const void* bytes, std::size_t count) noexcept;

protected:
    void Execute() noexcept override;

private:
    enum class Sent { Whole, Short, Abandoned };

    // Sends `bytes`: Whole, Short (failed, ran short or stopped), or
    // Abandoned (stopped, and the cancelled transfer did not end).
    Sent SendChunk(std::span<const std::uint8_t> bytes) noexcept;

    std::mutex lock_;  // guards the four below
    ByteRing ring_;
    bool running_ = true;
    bool stalled_ = false;
    bool waitingForRoom_ = false;  // a Queue waits on room_
    std::atomic<std::uint32_t> maxTransfer_{480};

    HANDLE port_;
    HANDLE queued_;  // auto-reset: bytes were queued while the ring was empty
    HANDLE room_;    // auto-reset: bytes left the ring while a Queue waited
    HANDLE stop_;    // manual-reset
    // 16 KiB, over a second at 115200 baud; the chunk is copied here out of the ring.
    OverlappedTransfer transfer_{16 * 1024};
};

}  // namespace bridge
