// The registry keys of USB serial adapters (a Silicon Labs CP2102, and a
// CH340 beside it) as Wine's SetupAPI lists them: a Ports-class node under Enum\USB with its names
// and its PortName. For BridgeSession::ImportRegistry.
#pragma once

#include <string>

namespace bridge::e2e {

inline constexpr const char* kAdapterEnum =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
inline constexpr const char* kAdapterName = "Silicon Labs CP210x USB to UART Bridge";

// A USB serial port's keys: its device id under Enum\USB, as COM<com>.
inline std::string UsbPortKeys(const std::string& deviceId, const std::string& name,
                               const std::string& maker, const std::string& last, int com) {
    std::string hardwareId;
    for (const char c : "USB\\" + deviceId) {
        hardwareId += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    const std::string key =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\" + deviceId + "\\" + last;
    const std::string port = "COM" + std::to_string(com);
    return "[" + key +
           "]\r\n\"ClassGUID\"=\"{4D36E978-E325-11CE-BFC1-08002BE10318}\"\r\n\"FriendlyName\"=\"" +
           name + " (" + port + ")\"\r\n\"Mfg\"=\"" + maker + "\"\r\n\"HardwareID\"=\"" +
           hardwareId + "\"\r\n\r\n[" + key + "\\Device Parameters]\r\n\"PortName\"=\"" + port +
           "\"\r\n\r\n";
}

// The adapter whose last instance-id part is `last` (its serial number, or
// Windows' own "6&...&0&2" for one without), as COM<com>.
inline std::string AdapterKeys(const std::string& last, int com) {
    return UsbPortKeys("VID_10C4&PID_EA60", kAdapterName, "Silicon Labs", last, com);
}

// Another maker's adapter, a CH340 (no serial number of its own), as COM<com>.
inline constexpr const char* kOtherAdapterEnum =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_1A86&PID_7523";
inline std::string OtherAdapterKeys(int com) {
    return UsbPortKeys("VID_1A86&PID_7523", "USB-SERIAL CH340", "wch.cn", "5&2A3B4C5D&0&1", com);
}

// Removes every adapter of both kinds.
inline std::string AdapterKeysRemoved() {
    return "[-" + std::string(kAdapterEnum) + "]\r\n[-" + kOtherAdapterEnum + "]\r\n";
}

}  // namespace bridge::e2e
