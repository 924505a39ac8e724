#include "app/identity/adapter_search.h"

#include <algorithm>

#include "platform/port_list/instance_id.h"

namespace bridge {
namespace {

AdapterSearch Found(std::vector<const ListedPort*> candidates, unsigned number, AdapterPlace one) {
    if (candidates.size() > 1) return {AdapterPlace::LookAlike, std::move(candidates)};
    if (candidates.front()->number == number) return {AdapterPlace::AtNumber, {}};
    return {one, std::move(candidates)};
}

bool NamesOneDevice(const std::string& instanceId) {
    return !instanceId.empty() && !ParseInstanceId(instanceId).sharedSerialNumber;
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
    identity.instanceId = NamesOneDevice(port.instanceId) ? port.instanceId : std::string();
    identity.presentIds = AlikeIds(identity, present);
    identity.presentIdsKnown = true;
    std::size_t length = 0;
    for (const std::string& id : identity.presentIds) {
        length += id.size() + 1;
        if (!KeepableText(id) || length > kLongestPresentIds) {
            identity.presentIdsKnown = false;
            identity.presentIds.clear();
            break;
        }
    }
    return identity;
}

AdapterIdentity WithoutSharedIds(AdapterIdentity identity) {
    if (!IsRealSerialNumber(identity.serialNumber)) identity.serialNumber.clear();
    if (!NamesOneDevice(identity.instanceId)) identity.instanceId.clear();
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

bool IsOtherDevice(const AdapterIdentity& identity, const ListedPort& port) {
    if (port.bus != PortBus::Usb || !SameKind(identity, port)) return true;
    return !identity.serialNumber.empty() && !port.serialNumber.empty() &&
           !SameIdText(port.serialNumber, identity.serialNumber);
}

std::vector<std::string> AlikeIds(const AdapterIdentity& identity,
                                  std::span<const ListedPort> ports) {
    std::vector<std::string> ids;
    for (const ListedPort& port : ports) {
        if (SameKind(identity, port) && !ContainsId(ids, port.instanceId)) {
            ids.push_back(port.instanceId);
        }
    }
    return ids;
}

bool ContainsId(const std::vector<std::string>& ids, const std::string& id) {
    return std::any_of(ids.begin(), ids.end(),
                       [&](const std::string& listed) { return SameIdText(listed, id); });
}

AdapterSearch FindAdapter(const AdapterIdentity& identity, unsigned number,
                          std::span<const ListedPort> ports,
                          const std::vector<std::string>* known) {
    std::vector<const ListedPort*> itself, arrived, sameKind;
    for (const ListedPort& port : ports) {
        if (port.number == 0 || !SameKind(identity, port)) continue;
        if (IsAdapter(identity, port)) {
            itself.push_back(&port);
        } else if (identity.serialNumber.empty()) {
            const bool isNew = known != nullptr && !ContainsId(*known, port.instanceId);
            (isNew ? arrived : sameKind).push_back(&port);
        }
    }
    if (!itself.empty()) return Found(std::move(itself), number, AdapterPlace::Moved);
    if (!arrived.empty()) return Found(std::move(arrived), number, AdapterPlace::Arrived);
    for (const ListedPort* port : sameKind) {
        if (port->number == number) return {AdapterPlace::AtNumber, {}};
    }
    if (!sameKind.empty()) return {AdapterPlace::MayBe, std::move(sameKind)};
    return {};
}

}  // namespace bridge
