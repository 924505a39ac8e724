// What the application shell does to the serial port that links it to the
// interface box: name it, set its rate, open and close it. The serial
// component (TComm) is adapted to BoxLineControl on Windows; the frames
// themselves go through its other face, BoxLine (boxlink/box_line.h).
#pragma once

#include <cstdint>
#include <string>

namespace bridge {

inline constexpr std::uint32_t kBoxBaudRate = 115200;

class BoxLineControl {
public:
    // Closes the port; does nothing when it is not open.
    virtual void Close() = 0;
    // "COM1".."COM16" and so on; takes effect at the next Open.
    virtual void SetDeviceName(const std::string& deviceName) = 0;
    virtual std::string DeviceName() const = 0;
    virtual void SetBaudRate(std::uint32_t baud) = 0;
    // Opens the port with the current settings; throws ECommError on failure.
    // A device that opened but refused a line setting stays open.
    virtual void Open() = 0;
    virtual bool IsOpen() const = 0;
    // The system's text for an error code, as the system gives it.
    virtual std::string ErrorText(std::int32_t code) const = 0;

protected:
    ~BoxLineControl() = default;
};

// "The selected port COM<n> is not available, please choose another ...".
std::string PortNotAvailableMessage(unsigned portNumber);

// The log line that says why `port` failed to open with the error's code:
// "COM3 is used by another program (error 5)" and so on; for a code it has no
// words of its own for, the system's text.
std::string PortOpenFailureLine(const BoxLineControl& port, std::int32_t code);

}  // namespace bridge
