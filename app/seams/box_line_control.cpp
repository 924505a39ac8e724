#include "app/seams/box_line_control.h"

#include "app/seams/system_error_codes.h"
#include "platform/port_list/port_texts.h"

namespace bridge {

std::string PortNotAvailableMessage(unsigned portNumber) {
    return "The selected port " + ComName(portNumber) + " is not available," +
           " please choose another if possible or free this port if it is in use by another "
           "application.";
}

std::string PortOpenFailureLine(const BoxLineControl& port, std::int32_t code) {
    constexpr std::int32_t kNotACharacterDevice = -1;  // the component's own case
    const std::string name = port.DeviceName();
    const std::string error = " (error " + std::to_string(code) + ")";
    switch (code) {
        case kErrorAccessDenied: return name + " is used by another program" + error;
        case kErrorFileNotFound: return name + " does not exist" + error;
        case kNotACharacterDevice: return name + " is not a serial port";
        default: break;
    }
    std::string text = port.ErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return name + ": " + text + error;
}

}  // namespace bridge
