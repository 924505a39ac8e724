// What the Windows listing reads of a port's device node and of the nodes
// above it, as Windows gives it, and the port's description made from that.
// The rules are here, apart from the system's calls, so that they are tested
// on nodes written out as Windows documents them:
// - the bus: USB for a node of a USB device or of FTDI's enumerator, or one
//   with a USB device above it; Bluetooth for Bluetooth's enumerators;
// - a composite device's interface (MI_nn) carries no serial number: its
//   parent, the whole device, does;
// - FTDI's enumerator writes the serial number in its own form;
// - where it is plugged: the port's own first location path, else the first
//   of the nearest node above that has one (for FTDI, the USB device);
// - the latency timer counts only for FTDI's nodes; a problem code as given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/port_list/listed_port.h"

namespace bridge {

struct DeviceNode {
    std::string instanceId;
    std::vector<std::string> locationPaths;
};

struct PortNode {
    std::string portName;  // the node's PortName
    std::string friendlyName;
    std::string manufacturer;
    DeviceNode self;
    std::vector<DeviceNode> above;  // its parent first, then the parent's parent
    std::uint32_t problemCode = 0;
    std::optional<std::uint32_t> latencyTimerMs;
};

ListedPort DescribePort(const PortNode& node);

}  // namespace bridge
