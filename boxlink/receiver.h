// Frames from the interface box: 0x05 0x82, LEN (3 or more), frame kind, LEN
// payload bytes, nothing checked at the end. A byte state machine reassembles
// them from any split of the byte stream and calls the handler of the frame
// kind: the servo command handler for kind 0, the command dispatcher for 1.
#pragma once

#include <cstdint>

#include "boxlink/box_commands.h"
#include "boxlink/box_line.h"
#include "state/bridge_state.h"

namespace bridge {

inline constexpr std::int32_t kMaxReadPerEvent = 1000;

// What the receiver made of the bytes from the box since it was made: frames
// handed to the servo command handler and the command dispatcher; bad frames
// (an unknown kind, a servo command whose check word fails, a length no
// frame has); and stray bytes, dropped while looking for the start of a frame.
struct ReceiveCounts {
    std::uint32_t servoCommands;
    std::uint32_t boxCommands;
    std::uint32_t badFrames;
    std::uint32_t strayBytes;
};

class Receiver {
public:
    Receiver(ReceiverState& state, BoxCommands& commands) : state_(state), commands_(commands) {}

    // The receive event (the box line's OnRxChar): reads at most 1000 of the
    // `count` waiting bytes and feeds every byte read to the state machine.
    void ReceiveEvent(BoxLine& port, std::int32_t count);

    // One step of the receive state machine.
    void ReceiveByte(std::uint8_t b);

    const ReceiveCounts& Counts() const { return counts_; }

private:
    void FrameComplete();

    ReceiverState& state_;
    BoxCommands& commands_;
    ReceiveCounts counts_{};
};

}  // namespace bridge
