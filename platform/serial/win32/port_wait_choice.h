// The one place that picks how the serial component's event thread waits
// (see port_wait.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/serial/win32/port_wait.h"
#include "platform/serial/win32/read_turn.h"

namespace bridge {

enum class CommWaitChoice : std::uint8_t {
    Auto,    // the read wait under Wine, the event wait elsewhere
    Events,  // the event wait
    Read,    // the read wait
};

// A wait, and its share of Read when it reads the device itself.
struct ChosenWait {
    std::unique_ptr<PortWait> wait;
    ReadTurn* readTurn = nullptr;  // part of `wait`; none for the event wait
};

// The wait for a port whose handlers want `handledEventCodes` (EV_ codes).
// The read wait serves received bytes alone: any other handled event gets
// the event wait, which then serves all of them. No handled event needs no
// wait at all: the event wait then selects nothing. `holdCapacity`: the read
// wait's input queue.
ChosenWait MakePortWait(CommWaitChoice choice, std::uint32_t handledEventCodes,
                        std::size_t holdCapacity);

}  // namespace bridge
