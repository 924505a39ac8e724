// The box port: the bytes to and from the interface box, as the main cycle
// and the receiver use them. The serial component (TComm) is the box port on
// Windows; the shell opens and closes it through BoxPortControl
// (app/box_port_control.h); tests use fakes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bridge {

// The kinds of frame the line totals count apart, in the order they are shown.
enum class SentFrame : std::uint8_t { Attitude, AirData, Item, Port, Arinc };
inline constexpr std::size_t kSentFrameKinds = 5;

class BoxPort {
public:
    // Starts sending count bytes and returns without waiting for them; the
    // caller may reuse its buffer at once. Returns the count written when the
    // write finished at once, otherwise -1. The bridge never looks at it.
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    // Write, for a whole frame of `kind`: a port that keeps line totals
    // counts it by its kind once it has gone out.
    virtual std::int32_t WriteFrame(const void* buffer, std::int32_t count, SentFrame kind) {
        (void)kind;
        return Write(buffer, count);
    }
    // Copies up to count received bytes; returns how many, or -1 on failure.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;

protected:
    ~BoxPort() = default;
};

}  // namespace bridge
