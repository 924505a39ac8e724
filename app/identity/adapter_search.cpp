#include "app/identity/adapter_search.h"

#include "platform/port_list/instance_id.h"

namespace bridge {
namespace {

AdapterSearch Found(std::vector<const ListedPort*> candidates, unsigned savedNumber) {
    if (candidates.size() > 1) return {AdapterPlace::LookAlike, std::move(candidates)};
    if (candidates.front()->number == savedNumber) return {AdapterPlace::AtSavedNumber, {}};
    return {AdapterPlace::Moved, std::move(candidates)};
}

}  // namespace

std::optional<AdapterIdentity> TakeIdentity(const ListedPort& port,
                                            std::span<const ListedPort> present) {
    if (port.bus != PortBus::Usb || !port.vendorId || !port.productId || port.number == 0 ||
        !KeepableText(port.instanceId) || port.instanceId.empty() ||
        !KeepableText(port.interfaceId) || !KeepableText(port.serialNumber)) {
        return std::nullopt;
    }
    AdapterIdentity identity;
    identity.portNumber = port.number;
    identity.vendorId = *port.vendorId;
    identity.productId = *port.productId;
    identity.interfaceId = port.interfaceId;
    identity.serialNumber = port.serialNumber;
    identity.instanceId = port.instanceId;
    std::size_t length = 0;
    for (const ListedPort& other : present) {
        if (!SameKind(identity, other)) continue;
        length += other.instanceId.size() + 1;
        if (!KeepableText(other.instanceId) || length > kLongestPresentIds) {
            identity.presentIdsKnown = false;
            identity.presentIds.clear();
            break;
        }
        identity.presentIds.push_back(other.instanceId);
    }
    return identity;
}

bool SameKind(const AdapterIdentity& identity, const ListedPort& port) {
    return port.vendorId == identity.vendorId && port.productId == identity.productId &&
           SameIdText(port.interfaceId, identity.interfaceId);
}

bool IsAdapter(const AdapterIdentity& identity, const ListedPort& port) {
    if (!SameKind(identity, port)) return false;
    if (!identity.serialNumber.empty()) return SameIdText(port.serialNumber, identity.serialNumber);
    return !identity.instanceId.empty() && SameIdText(port.instanceId, identity.instanceId);
}

bool WasPresent(const AdapterIdentity& identity, const ListedPort& port) {
    if (!identity.presentIdsKnown) return true;
    for (const std::string& id : identity.presentIds) {
        if (SameIdText(id, port.instanceId)) return true;
    }
    return false;
}

AdapterSearch FindAdapter(const AdapterIdentity& identity, unsigned savedNumber,
                          std::span<const ListedPort> ports, const CountsAsNew& countsAsNew) {
    std::vector<const ListedPort*> itself, arrived, sameKind;
    for (const ListedPort& port : ports) {
        if (port.number == 0 || !SameKind(identity, port)) continue;
        if (IsAdapter(identity, port)) {
            itself.push_back(&port);
        } else if (identity.serialNumber.empty()) {
            (countsAsNew(port) ? arrived : sameKind).push_back(&port);
        }
    }
    if (!itself.empty()) return Found(std::move(itself), savedNumber);
    if (!arrived.empty()) return Found(std::move(arrived), savedNumber);
    for (const ListedPort* port : sameKind) {
        if (port->number == savedNumber) return {AdapterPlace::AtSavedNumber, {}};
    }
    if (!sameKind.empty()) return {AdapterPlace::MayBe, std::move(sameKind)};
    return {};
}

}  // namespace bridge
