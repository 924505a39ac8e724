// What the bridge needs of its serial port to the interface box. The serial
// component implements it on Windows; tests use fakes.
#pragma once

#include <cstdint>

namespace bridge {

class SerialPort {
public:
    // Starts sending count bytes and returns without waiting for them; the
    // caller may reuse its buffer at once. Returns the count written when the
    // write finished at once, otherwise -1. The bridge never looks at it.
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    // Copies up to count received bytes; returns how many, or -1 on failure.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;

protected:
    ~SerialPort() = default;
};

}  // namespace bridge
