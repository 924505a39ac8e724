// The registry keys of a USB serial adapter (a Silicon Labs CP2102) as Wine's
// SetupAPI lists it: a Ports-class node under Enum\USB with its names and its
// PortName. For BridgeSession::ImportRegistry.
#pragma once

#include <string>

namespace bridge::e2e {

inline constexpr const char* kAdapterEnum =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
inline constexpr const char* kAdapterName = "Silicon Labs CP210x USB to UART Bridge";

// The adapter whose last instance-id part is `last` (its serial number, or
// Windows' own "6&...&0&2" for one without), as COM<com>.
inline std::string AdapterKeys(const std::string& last, int com) {
    std::string hardwareId;
    for (const char c : std::string("USB\\VID_10C4&PID_EA60")) {
        hardwareId += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    const std::string key = std::string(kAdapterEnum) + "\\" + last;
    const std::string port = "COM" + std::to_string(com);
    return "[" + key +
           "]\r\n\"ClassGUID\"=\"{4D36E978-E325-11CE-BFC1-08002BE10318}\"\r\n\"FriendlyName\"=\"" +
           kAdapterName + " (" + port + ")\"\r\n\"Mfg\"=\"Silicon Labs\"\r\n\"HardwareID\"=\"" +
           hardwareId + "\"\r\n\r\n[" + key + "\\Device Parameters]\r\n\"PortName\"=\"" + port +
           "\"\r\n\r\n";
}

// Removes every adapter of that kind.
inline std::string AdapterKeysRemoved() { return "[-" + std::string(kAdapterEnum) + "]\r\n"; }

}  // namespace bridge::e2e
