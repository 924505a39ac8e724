#include "app/box_port_control.h"

#include "platform/comm_error.h"
#include "state/bridge_state.h"

namespace bridge {

std::string CommDeviceName(unsigned portNumber) { return "COM" + std::to_string(portNumber); }

std::string PortNotAvailableMessage(unsigned portNumber) {
    return "The selected port COM" + std::to_string(portNumber) + " is not available," +
           " please choose another if possible or free this port if it is in use by another "
           "application.";
}

void OpenBoxPort(BoxPortControl& port, MessageDisplay& display, unsigned portNumber) {
    try {
        port.Open();
        Bridge.Link.PortOpen = true;
    } catch (const ECommError&) {
        // Cleared before the message box, whose nested ticks and events may look.
        Bridge.Link.PortOpen = false;
        display.ShowMessage(PortNotAvailableMessage(portNumber));
    }
}

}  // namespace bridge
