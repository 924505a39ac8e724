// The serial component's transmitter. Write copies the caller's bytes into a
// ring allocated once and returns; a writer thread sends them, one overlapped
// transfer at a time, so bytes go out in call order whatever the driver does
// with concurrent transfers (Wine writes a later transfer at once while an
// earlier one still waits). The user-interface thread never waits for the
// line, unless a caller outruns it and the ring is full (see Queue).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "platform/byte_ring.h"
#include "platform/win32/worker_thread.h"

namespace bridge {

class PortWriter {
public:
    // 64 KiB: over five seconds of the bridge's line, many ticks of frames.
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;

    explicit PortWriter(std::size_t capacity = kDefaultCapacity);
    ~PortWriter();
    PortWriter(const PortWriter&) = delete;
    PortWriter& operator=(const PortWriter&) = delete;

    // Starts sending to an open port; false if no thread could be started.
    bool Start(HANDLE port);
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

private:
    class Thread : public WorkerThread {
    public:
        explicit Thread(PortWriter& owner) : owner_(owner) {}
        ~Thread() override { WaitFor(); }

    protected:
        void Execute() noexcept override { owner_.Send(); }

    private:
        PortWriter& owner_;
    };

    struct Transfer;
    enum class Sent { Whole, Short, Abandoned };

    void Send() noexcept;
    // Sends `bytes` through `transfer`: Whole, Short (failed, ran short or
    // stopped), or Abandoned (stopped, and the cancelled transfer did not end).
    Sent SendChunk(std::span<const std::uint8_t> bytes, Transfer& transfer) noexcept;

    std::mutex lock_;  // guards ring_, running_ and stalled_
    ByteRing ring_;
    bool running_ = false;
    bool stalled_ = false;
    std::atomic<std::uint32_t> maxTransfer_{480};

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE queued_ = nullptr;  // auto-reset: bytes were queued
    HANDLE room_ = nullptr;    // auto-reset: bytes left the ring
    HANDLE stop_ = nullptr;    // manual-reset
    std::unique_ptr<Thread> thread_;
};

}  // namespace bridge
