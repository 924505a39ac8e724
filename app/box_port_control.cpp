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

std::string PortOpenFailureLine(const BoxPortControl& port, std::int32_t code) {
    constexpr std::int32_t kFileNotFound = 2;
    constexpr std::int32_t kAccessDenied = 5;
    constexpr std::int32_t kNotACharacterDevice = -1;  // the component's own case
    const std::string name = port.DeviceName();
    const std::string error = " (error " + std::to_string(code) + ")";
    switch (code) {
        case kAccessDenied: return name + " is used by another program" + error;
        case kFileNotFound: return name + " does not exist" + error;
        case kNotACharacterDevice: return name + " is not a serial port";
        default: break;
    }
    std::string text = port.ErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return name + ": " + text + error;
}

void OpenBoxPort(BoxPortControl& port, MessageDisplay& display, BridgeView& view,
                 unsigned portNumber) {
    try {
        port.Open();
        Bridge.Link.PortOpen = true;
    } catch (const ECommError& e) {
        // Cleared before the message box, whose nested ticks and events may look.
        Bridge.Link.PortOpen = false;
        Bridge.Link.LogLine = PortOpenFailureLine(port, e.ErrorCode);
        view.AppendLog(Bridge.Link.LogLine);
        display.ShowMessage(PortNotAvailableMessage(portNumber));
    }
}

}  // namespace bridge
