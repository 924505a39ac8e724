#include "platform/port_list/listed_port.h"

#include <algorithm>

#include "platform/port_list/instance_id.h"

namespace bridge {
namespace {

// " 10C4:EA60": the vendor and product ids, when both are known.
std::string IdsText(const ListedPort& port) {
    if (!port.vendorId || !port.productId) return {};
    // Appended, not summed: GCC 12 at -O3 warns falsely of overlapping copies in the sums.
    std::string text = " ";
    text += HexIdText(*port.vendorId);
    text += ':';
    text += HexIdText(*port.productId);
    return text;
}

std::string InterfaceText(const ListedPort& port) {
    if (port.interfaceId.empty()) return {};
    return (port.interfaceId.size() == 1 ? ", channel " : ", interface ") + port.interfaceId;
}

}  // namespace

std::string ShownName(const ListedPort& port) {
    std::string_view name = port.friendlyName;
    const std::string suffix = " (" + port.name + ")";
    if (name.size() > suffix.size() &&
        SameIdText(name.substr(name.size() - suffix.size()), suffix)) {
        name.remove_suffix(suffix.size());
    }
    return name.empty() ? port.name : std::string(name);
}

std::string AdapterText(const ListedPort& port) {
    if (port.bus == PortBus::Bluetooth) return "Bluetooth";
    if (port.bus != PortBus::Usb) return {};
    if (!port.serialNumber.empty()) return "serial " + port.serialNumber + InterfaceText(port);
    return "USB" + IdsText(port) + InterfaceText(port) + ", no serial number";
}

std::string PortReportLine(const ListedPort& port) {
    std::string line = port.name + ": " + (port.friendlyName.empty() ? "-" : port.friendlyName);
    if (!port.manufacturer.empty()) line += ", by " + port.manufacturer;
    line += port.bus == PortBus::Usb         ? ", USB"
            : port.bus == PortBus::Bluetooth ? ", Bluetooth"
                                             : ", not USB";
    line += IdsText(port);
    line += InterfaceText(port);
    if (port.bus == PortBus::Usb) {
        line += port.serialNumber.empty() ? ", no serial number" : ", serial " + port.serialNumber;
    }
    if (!port.locationPath.empty()) line += ", at " + port.locationPath;
    if (port.problemCode != 0) line += ", device problem " + std::to_string(port.problemCode);
    if (port.latencyTimerMs)
        line += ", latency timer " + std::to_string(*port.latencyTimerMs) + " ms";
    if (!port.instanceId.empty()) line += " [" + port.instanceId + "]";
    return line;
}

void SortPorts(std::vector<ListedPort>& ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) {
        const unsigned ka = a.number == 0 ? kHighestComNumber + 1 : a.number;
        const unsigned kb = b.number == 0 ? kHighestComNumber + 1 : b.number;
        return ka < kb;
    });
}

}  // namespace bridge
