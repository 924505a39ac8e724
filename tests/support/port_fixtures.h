// Device nodes of the adapters the bridge meets, written as Windows gives
// them, each with the documented form of its instance id; and a listing that
// returns what the test puts in it.
//
// Forms (Microsoft, "Device instance IDs" and "Standard USB identifiers":
// USB\VID_v&PID_p\<serial number>, or a last part with '&' that Windows makes
// up for a device without one; "Enumeration of the composite parent device":
// USB\VID_v&PID_p&MI_z\... for each interface, the serial number on the
// parent; FTDI's AN_107 "Advanced driver options": FTDIBUS\VID_0403+PID_p+
// <serial number><channel letter>\0000; DEVPKEY_Device_LocationPaths:
// PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(n)...).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/identity/port_listing.h"
#include "platform/port_list/port_node.h"

namespace bridge::testing {

inline const std::string kHub = "PCIROOT(0)#PCI(1400)#USBROOT(0)";

inline PortNode Node(std::string port, std::string name, std::string id,
                     std::vector<std::string> locations = {}, std::vector<DeviceNode> above = {}) {
    PortNode node;
    node.portName = std::move(port);
    node.friendlyName = std::move(name);
    node.self = {std::move(id), std::move(locations)};
    node.above = std::move(above);
    return node;
}

// A CP2102 with a serial number of its own.
inline PortNode Cp2102(std::string port, std::string serial, int socket) {
    PortNode node =
        Node(port, "Silicon Labs CP210x USB to UART Bridge (" + port + ")",
             "USB\\VID_10C4&PID_EA60\\" + serial, {kHub + "#USB(" + std::to_string(socket) + ")"});
    node.manufacturer = "Silicon Labs";
    return node;
}

// A CH340 has none: its last part is Windows' own, from the socket.
inline PortNode Ch340(std::string port, int socket) {
    const std::string s = std::to_string(socket);
    return Node(port, "USB-SERIAL CH340 (" + port + ")",
                "USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&" + s, {kHub + "#USB(" + s + ")"});
}

// One channel of an FT2232H: FTDI's enumerator above a composite's interface,
// the USB device with the serial number and the location above that.
inline PortNode Ft2232(std::string port, char channel, int socket) {
    const std::string mi = channel == 'A' ? "00" : "01";
    PortNode node = Node(
        port, "USB Serial Port (" + port + ")",
        "FTDIBUS\\VID_0403+PID_6010+FT4ZQ8AB" + std::string(1, channel) + "\\0000", {},
        {{"USB\\VID_0403&PID_6010&MI_" + mi + "\\7&1C0A7D3E&0&00" + mi, {}},
         {"USB\\VID_0403&PID_6010\\FT4ZQ8AB", {kHub + "#USB(" + std::to_string(socket) + ")"}}});
    node.latencyTimerMs = 16;
    return node;
}

inline std::vector<ListedPort> Describe(const std::vector<PortNode>& nodes) {
    std::vector<ListedPort> ports;
    for (const PortNode& node : nodes) ports.push_back(DescribePort(node));
    SortPorts(ports);
    return ports;
}

class FakePortListing : public PortListing {
public:
    std::vector<PortNode> nodes;
    int listings = 0;
    std::vector<ListedPort> List() override {
        ++listings;
        return Describe(nodes);
    }
};

}  // namespace bridge::testing
