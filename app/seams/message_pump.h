// The user-interface thread's message dispatch as the waiting loops of the
// application see it. Ticks of the main cycle, receive events and clicks run
// inside ProcessMessages, so a loop that waits for the main cycle to answer a
// hand-over flag calls it until the flag changes. What runs nested inside
// what, and the guards: NESTING.md.
#pragma once

namespace bridge {

class MessagePump {
public:
    // Dispatches the pending user-interface messages; may run a tick of the
    // main cycle and any handler, nested.
    virtual void ProcessMessages() = 0;
    // Whether the timer still drives the main cycle. Once the stop handshake
    // has disabled it no further tick comes, and waiting for one would hang.
    virtual bool TimerEnabled() const = 0;

protected:
    ~MessagePump() = default;
};

}  // namespace bridge
