// The box line: the PC's serial line to the interface box, its bytes in both
// directions as the main cycle and the receiver use them. (A box port is one
// of the box's own RS232 ports 1 to 5, which the radios' sentences go to.) On
// Windows the line is the serial port the box hangs on (TComm, through
// CommBoxLine in app/win32/win32_shell_adapters.h); the shell opens and
// closes it through BoxLineControl (app/seams/box_line_control.h); tests use
// fakes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bridge {

// What became of a write: the diagnostics count the refused ones.
enum class BoxWrite : std::uint8_t {
    Queued,   // all `count` bytes will go out, after those queued before
    Refused,  // none will: the port is not open, or its queue is full or the line stalled
};

// The kinds of frame the line totals count apart, in the order they are shown.
enum class SentFrame : std::uint8_t { Attitude, AirData, Item, Port, Arinc };
inline constexpr std::size_t kSentFrameKinds = 5;

class BoxLine {
public:
    // Queues a copy of `count` bytes (count > 0) and returns without waiting
    // for the line; the caller may reuse its buffer at once. The serial port
    // sends the queue in order from a thread of its own and takes a write
    // whole or not at all.
    virtual BoxWrite Write(const void* buffer, std::int32_t count) = 0;
    // Write, for a whole frame of `kind`: a port that keeps line totals
    // counts it by its kind once it has gone out.
    virtual BoxWrite WriteFrame(const void* buffer, std::int32_t count, SentFrame kind) {
        (void)kind;
        return Write(buffer, count);
    }
    // Copies up to `count` received bytes without waiting for more than have
    // arrived; returns how many (0: none waiting), or -1 when the port cannot
    // be read (not open, or the read failed).
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    // Writes between HoldWrites and the matching ReleaseWrites may wait for
    // the release and go out together, one transfer for a burst of frames.
    virtual void HoldWrites() {}
    virtual void ReleaseWrites() {}

protected:
    ~BoxLine() = default;
};

}  // namespace bridge
