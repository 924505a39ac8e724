// How the serial component's event thread waits on the port, one seam with
// two backends:
//  - EventWait: the platform's event wait (WaitCommEvent) for the selected
//    events. What Windows users run.
//  - ReadWait: for received bytes alone, a read that returns as soon as bytes
//    have arrived; it holds them for the component's Read. Wine serves an
//    event wait by polling the line and leaks memory with each one, but a
//    read by waiting on the device.
// MakePortWait (port_wait_choice.h) picks one. The component sees only this
// interface, so both run the same tests.
//
// Select runs on the user-interface thread while the port opens, Wait on the
// event thread, and Read's part (BeginRead, the held bytes, EndRead) on the
// user-interface thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/comm_settings.h"

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

    // Whether the wait itself reads the device. The port then runs with the
    // wait's timeouts, under which a read waits until it has all it asked
    // for: Read asks for no more than is waiting.
    virtual bool ReadsTheDevice() const { return false; }
    // Read's turn at the device, from BeginRead to EndRead (always called).
    // BeginRead is false when the device may not be read now.
    virtual bool BeginRead(HANDLE /*port*/) { return true; }
    virtual void EndRead() {}
    // Received bytes the waits took and Read has not yet taken, oldest first.
    virtual std::size_t HeldCount() const { return 0; }
    virtual std::size_t TakeHeld(std::uint8_t* /*bytes*/, std::size_t /*max*/) { return 0; }
};

}  // namespace bridge
