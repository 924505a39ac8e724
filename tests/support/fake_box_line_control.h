// The box line's control as the shell sees it, recording what is asked of it;
// chosen device names fail to open with ECommError (missing, or open but with a
// line setting refused, as the serial component leaves it), or with some
// other exception.
#pragma once

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/seams/box_line_control.h"
#include "platform/serial/comm_error.h"

namespace bridge::testing {

class FakeBoxLineControl : public BoxLineControl {
public:
    std::vector<std::string> calls;  // "Close", "SetDeviceName COM3", "SetBaudRate 115200", "Open"
    std::string deviceName = "Com2";
    std::uint32_t baud = 38400;
    bool open = false;
    std::set<std::string> missingDevices;  // Open throws ECommError with `error`
    std::int32_t error = 2;
    std::set<std::string> refusedDevices;  // Open opens, then throws ECommError 87
    std::set<std::string> brokenDevices;   // Open throws std::runtime_error
    std::function<void()> onClose;

    void Close() override {
        calls.push_back("Close");
        open = false;
        if (onClose) onClose();
    }
    void SetDeviceName(const std::string& name) override {
        calls.push_back("SetDeviceName " + name);
        deviceName = name;
    }
    std::string DeviceName() const override { return deviceName; }
    void SetBaudRate(std::uint32_t rate) override {
        calls.push_back("SetBaudRate " + std::to_string(rate));
        baud = rate;
    }
    void Open() override {
        calls.push_back("Open");
        open = false;  // an open starts by closing what was open
        if (missingDevices.count(deviceName) != 0)
            throw ECommError("Unable to open com port", error);
        if (brokenDevices.count(deviceName) != 0) throw std::runtime_error("out of resources");
        open = true;
        if (refusedDevices.count(deviceName) != 0) throw ECommError("Error setting comm state", 87);
    }
    bool IsOpen() const override { return open; }
    std::string ErrorText(std::int32_t code) const override {
        return "System text " + std::to_string(code) + ".\r\n";
    }
};

}  // namespace bridge::testing
