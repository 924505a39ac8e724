// How the serial component's event thread waits on the port, one seam with
// two backends:
//  - EventWait: the platform's event wait (WaitCommEvent) for the selected
//    events. What Windows users run.
//  - ReadWait: for received bytes alone, a read that returns as soon as bytes
//    have arrived; it holds them for the component's Read. Wine serves an
//    event wait by polling the line and leaks memory with each one, but a
//    read by waiting on the device.
// MakePortWait (port_wait_choice.h) picks one. The component sees only this
// interface, and the read wait's share of Read (read_turn.h), so both run the
// same tests.
//
// Select runs on the user-interface thread while the port opens, Wait on the
// event thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/serial/comm_settings.h"

namespace bridge {

class PortWait {
public:
    enum class Outcome {
        Woke,       // events to hand over, in `events`
        Idle,       // nothing to report (a read's time limit ran out): wait again
        Failed,     // the wait failed with `error`
        Stopped,    // the stop event was signalled
        Abandoned,  // stopped, and the cancelled transfer was left to the driver
    };

    virtual ~PortWait() = default;

    // Whether what the wait needs could be made.
    virtual bool Ready() const = 0;
    // Selects on the open port what is waited for. Raises ECommError.
    virtual void Select(HANDLE port) = 0;
    // The timeouts the port runs with while this wait is used.
    virtual CommTimeoutValues Timeouts(std::int32_t charsTimeOutMs) const = 0;
    // One wait, until something happens or `stop` is signalled.
    virtual Outcome Wait(HANDLE port, HANDLE stop, std::uint32_t& events, DWORD& error) = 0;
};

}  // namespace bridge
