// The box's end of the serial line, driven by the test itself: it opens a
// serial device (the far end of a pty pair), decodes every frame the bridge
// sends with the time it arrived, and writes whatever bytes the test gives
// it, garbage included. For tests that need exact arrival times or bytes a
// real box would never send.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tools/box_protocol/box_protocol.h"

namespace bridge::e2e {

class BoxLine {
public:
    using Clock = std::chrono::steady_clock;
    struct Received {
        Clock::time_point at;
        boxproto::Frame frame;
    };

    BoxLine() = default;
    BoxLine(const BoxLine&) = delete;
    BoxLine& operator=(const BoxLine&) = delete;
    ~BoxLine() { Close(); }

    // Opens the device raw at 115200 8N1 and starts reading.
    bool Open(const std::string& path);
    void Close();

    // Writes all the bytes (waiting while the line is full); false on failure.
    bool Write(std::span<const std::uint8_t> bytes);

    std::vector<Received> Frames() const;
    // The frames from the `first`th on (for a reader that keeps its place).
    std::vector<Received> FramesFrom(std::size_t first) const;
    std::size_t Count(const std::function<bool(const boxproto::Frame&)>& match) const;
    // Waits until `count` frames that match have arrived in all.
    bool WaitFor(const std::function<bool(const boxproto::Frame&)>& match, std::size_t count,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    std::uint64_t BadFrames() const;
    // Every byte read, frames or not.
    std::uint64_t Bytes() const;

private:
    void ReadLoop();

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    mutable std::mutex lock_;
    boxproto::OutgoingDecoder decoder_;
    std::vector<Received> frames_;
    std::uint64_t bytes_ = 0;
};

bool IsKind(const boxproto::Frame& frame, std::uint8_t kind);
// An item frame of that address and item kind (the servo echoes are 16/1 and 17/1).
bool IsItem(const boxproto::Frame& frame, std::uint8_t address, std::uint8_t itemKind);

}  // namespace bridge::e2e
