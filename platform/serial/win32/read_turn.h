// What the serial component's Read needs of a wait that reads the device
// itself (the read wait, read_wait.h): the bytes the wait took, and a turn at
// the device so that two reads never take bytes out of order. A wait that
// leaves the device to Read (the event wait) has none, and Read goes to the
// device directly.
//
// All of it runs on the user-interface thread, in Read and in the
// component's handling of a wake-up.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace bridge {

class ReadTurn {
public:
    // Read's turn at the device, from BeginRead to EndRead (always called).
    // BeginRead is false when the device may not be read now. Within the
    // turn the port runs with the wait's timeouts, under which a device read
    // waits until it has all it asked for: Read asks for no more than is
    // waiting.
    virtual bool BeginRead(HANDLE port) = 0;
    virtual void EndRead() = 0;
    // Received bytes the waits took and Read has not yet taken, oldest first.
    virtual std::size_t HeldCount() const = 0;
    virtual std::size_t TakeHeld(std::uint8_t* bytes, std::size_t max) = 0;

protected:
    ~ReadTurn() = default;
};

}  // namespace bridge
