// Frames to the interface box: 0x05 0x82, frame kind, body, sum byte and xor
// byte over the body. Builders write into a caller's buffer and return the
// frame length (0 when the frame would not fit); the sender builds in the
// frame buffers it is given and writes the frame to the bound box line at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "boxlink/box_line.h"
#include "state/bridge_state.h"

namespace bridge {

inline constexpr std::uint8_t kSync1 = 0x05;
inline constexpr std::uint8_t kSync2 = 0x82;

enum class FrameKind : std::uint8_t { AirData = 0, Attitude = 1, Item = 2, Arinc = 3 };

inline constexpr std::uint8_t kRouteItem = 0;
inline constexpr std::uint8_t kRoutePort = 1;
inline constexpr std::size_t kPortTextMax = 248;  // the room left in the transmit buffer
inline constexpr std::size_t kArincFrameSize = 10;

struct CheckBytes {
    std::uint8_t sum;
    std::uint8_t xorByte;
};

CheckBytes ComputeCheckBytes(std::span<const std::uint8_t> body);

// An item frame: item key = item id * 16 + payload length (0..15).
std::size_t BuildItemFrame(std::span<std::uint8_t> out, std::uint16_t itemId,
                           std::span<const std::uint8_t> payload);
// A port frame carrying text to box RS232 port `port`.
std::size_t BuildPortFrame(std::span<std::uint8_t> out, std::uint8_t port,
                           std::span<const std::uint8_t> text);
std::size_t BuildArincFrame(std::span<std::uint8_t> out, std::uint8_t leadByte, std::uint32_t word);
// Fills the header of a fixed-length frame (air data, attitude) whose body is
// already in place and appends its check bytes.
void SealFixedFrame(std::span<std::uint8_t> frame, FrameKind kind);

// The box line every sender writes to; null drops frames (no port yet). One
// per process, as there is one serial line to the box.
void BindBoxLine(BoxLine* port);

// While one lives, the frames sent go out together when it ends (one
// transfer on the line for a burst of them, see BoxLine::HoldWrites). Never
// across a wait for the simulator: a frame would wait with it.
class FrameBurst {
public:
    FrameBurst();
    ~FrameBurst();
    FrameBurst(const FrameBurst&) = delete;
    FrameBurst& operator=(const FrameBurst&) = delete;

private:
    BoxLine* line_;
};

// Builds frames in the transmit buffer and writes them to the bound box line.
// A frame too long for the line is not sent and is counted.
class FrameSender {
public:
    explicit FrameSender(FrameBuffers& frames) : frames_(frames) {}

    void SendItem(std::uint16_t itemId, std::span<const std::uint8_t> payload);
    void SendPortText(std::uint8_t port, std::span<const std::uint8_t> text);
    void SendArincWord(std::uint8_t leadByte, std::uint32_t word);
    void SendFixedFrame(std::span<std::uint8_t> frame, FrameKind kind);

    // Frames never built: longer than the line takes.
    std::uint32_t FramesTooLong() const { return framesTooLong_; }

private:
    void Write(std::size_t length, SentFrame kind);

    FrameBuffers& frames_;
    std::uint32_t framesTooLong_ = 0;
};

}  // namespace bridge
