#include "platform/port_list/port_node.h"

#include "platform/port_list/instance_id.h"

namespace bridge {
namespace {

bool IsUsbEnumerator(const std::string& enumerator) {
    return SameIdText(enumerator, "USB") || IsFtdiEnumerator(enumerator);
}

// The whole device above a composite device's interface: a USB node of the
// same ids without an interface of its own.
const InstanceIdFacts* CompositeParent(const InstanceIdFacts& self,
                                       const std::vector<InstanceIdFacts>& above) {
    if (above.empty()) return nullptr;
    const InstanceIdFacts& parent = above.front();
    const bool same = IsUsbEnumerator(parent.enumerator) && parent.interfaceId.empty() &&
                      parent.vendorId == self.vendorId && parent.productId == self.productId;
    return same ? &parent : nullptr;
}

std::string FirstLocation(const PortNode& node) {
    if (!node.self.locationPaths.empty() && !node.self.locationPaths.front().empty()) {
        return node.self.locationPaths.front();
    }
    for (const DeviceNode& up : node.above) {
        if (!up.locationPaths.empty() && !up.locationPaths.front().empty()) {
            return up.locationPaths.front();
        }
    }
    return {};
}

}  // namespace

ListedPort DescribePort(const PortNode& node) {
    ListedPort port;
    port.name = node.portName;
    port.number = ComNumber(node.portName);
    port.friendlyName = node.friendlyName;
    port.manufacturer = node.manufacturer;
    port.instanceId = node.self.instanceId;
    port.problemCode = node.problemCode;

    const InstanceIdFacts self = ParseInstanceId(node.self.instanceId);
    std::vector<InstanceIdFacts> above;
    for (const DeviceNode& up : node.above) above.push_back(ParseInstanceId(up.instanceId));

    const InstanceIdFacts* usb = IsUsbEnumerator(self.enumerator) ? &self : nullptr;
    for (const InstanceIdFacts& up : above) {
        if (usb == nullptr && IsUsbEnumerator(up.enumerator)) usb = &up;
    }
    if (IsBluetoothEnumerator(self.enumerator)) {
        port.bus = PortBus::Bluetooth;
    } else if (usb != nullptr) {
        port.bus = PortBus::Usb;
        port.vendorId = usb->vendorId;
        port.productId = usb->productId;
        port.interfaceId = usb->interfaceId;
        port.serialNumber = usb->serialNumber;
        const InstanceIdFacts* parent = usb == &self ? CompositeParent(self, above) : nullptr;
        if (!self.interfaceId.empty() && parent != nullptr && port.serialNumber.empty()) {
            port.serialNumber = parent->serialNumber;
        }
    }
    port.locationPath = FirstLocation(node);
    if (IsFtdiEnumerator(self.enumerator)) port.latencyTimerMs = node.latencyTimerMs;
    return port;
}

}  // namespace bridge
