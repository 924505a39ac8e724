// The box port: the bytes to and from the interface box, as the main cycle
// and the receiver use them. The serial component (TComm) is the box port on
// Windows; the shell opens and closes it through BoxPortControl
// (app/box_port_control.h); tests use fakes.
#pragma once

#include <cstdint>

namespace bridge {

class BoxPort {
public:
    // Starts sending count bytes and returns without waiting for them; the
    // caller may reuse its buffer at once. Returns the count written when the
    // write finished at once, otherwise -1. The bridge never looks at it.
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    // Copies up to count received bytes; returns how many, or -1 on failure.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;

protected:
    ~BoxPort() = default;
};

}  // namespace bridge
