#include "app/box_port_control.h"

#include "platform/comm_error.h"

namespace bridge {

std::string CommDeviceName(unsigned portNumber) { return "COM" + std::to_string(portNumber); }

std::string PortNotAvailableMessage(unsigned portNumber) {
    return "The selected port COM" + std::to_string(portNumber) + " is not available," +
           " please choose another if possible or free this port if it is in use by another "
           "application.";
}

void OpenBoxPort(BoxPortControl& port, MessageDisplay& display, unsigned portNumber,
                 LinkControl& link) {
    try {
        port.Open();
        link.PortOpen = true;
    } catch (const ECommError&) {
        // Cleared before the message box, whose nested ticks and events may look.
        link.PortOpen = false;
        display.ShowMessage(PortNotAvailableMessage(portNumber));
    }
}

}  // namespace bridge
