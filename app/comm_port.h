// What the application shell needs of the serial component that links it to
// the interface box: the GUI adapts the component (TComm) to this.
#pragma once

#include <cstdint>
#include <string>

namespace bridge {

class CommPort {
public:
    // Closes the port; does nothing when it is not open.
    virtual void Close() = 0;
    // "COM1".."COM16" and so on; takes effect at the next Open.
    virtual void SetDeviceName(const std::string& deviceName) = 0;
    virtual void SetBaudRate(std::uint32_t baud) = 0;
    // Opens the port with the current settings; throws ECommError on failure.
    virtual void Open() = 0;

protected:
    ~CommPort() = default;
};

}  // namespace bridge
