// Opening the serial port to the interface box, shared by start-up and the
// serial port setup dialog: the device name, and the message when it fails.
#pragma once

#include <string>

#include "app/comm_port.h"
#include "app/message_display.h"

namespace bridge {

inline constexpr std::uint32_t kBoxBaudRate = 115200;

// "COM" followed by portNumber in decimal (1 gives "COM1").
std::string CommDeviceName(unsigned portNumber);

// "The selected port COM<n> is not available, please choose another ...".
std::string PortNotAvailableMessage(unsigned portNumber);

// Opens the port as it is set up and records the outcome in PortOpen. An
// ECommError clears PortOpen and shows the port message for portNumber; any
// other exception passes to the caller.
void OpenBoxPort(CommPort& port, MessageDisplay& display, unsigned portNumber);

}  // namespace bridge
