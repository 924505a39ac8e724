// Where the box's adapter is among the listed ports. The bridge never
// guesses, and never opens a port it has not matched:
// - the adapter itself (IsAdapter: its serial number, or without one its own
//   instance id) wherever it is;
// - otherwise, for an adapter without a serial number, the one port of the
//   same kind that counts as new: not among the ids known before (listed
//   while the box's port was open); none counts as new when they are unknown;
// - one such port at the box's number: there it is; elsewhere: it moved, or
//   arrived; two or more: they look alike;
// - none, but a port of the same kind at the box's number: as ever; of the
//   same kind elsewhere (that was there before): they may be the adapter.
// Serial numbers many devices share are no serial numbers here, and an
// instance id that holds one tells no device apart.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/identity/adapter_identity.h"
#include "platform/port_list/listed_port.h"

namespace bridge {

// The identity of a USB port with its ids, taken while `present` are listed;
// nothing for any other port, or one whose texts the settings cannot keep.
std::optional<AdapterIdentity> TakeIdentity(const ListedPort& port,
                                            std::span<const ListedPort> present);
// An identity as read from the settings, with what no longer tells a device
// apart taken out: a serial number many devices share, and an instance id
// that holds one.
AdapterIdentity WithoutSharedIds(AdapterIdentity identity);

// The same ids and interface.
bool SameKind(const AdapterIdentity& identity, const ListedPort& port);
// The adapter itself: the same kind with its serial number, or, for one
// without, its own instance id.
bool IsAdapter(const AdapterIdentity& identity, const ListedPort& port);
// Certainly not the adapter: not USB, another vendor, product or interface,
// or a serial number of its own that differs from the adapter's.
bool IsOtherDevice(const AdapterIdentity& identity, const ListedPort& port);
// The instance ids of the ports of the adapter's kind.
std::vector<std::string> AlikeIds(const AdapterIdentity& identity,
                                  std::span<const ListedPort> ports);
bool ContainsId(const std::vector<std::string>& ids, const std::string& id);

enum class AdapterPlace { NotListed, AtNumber, Moved, Arrived, MayBe, LookAlike };

struct AdapterSearch {
    AdapterPlace place = AdapterPlace::NotListed;
    // Moved and Arrived: the one port; MayBe and LookAlike: the ports. They
    // point into the list searched.
    std::vector<const ListedPort*> ports;
};

// `known`: the ids of the ports alike listed before; null when unknown.
AdapterSearch FindAdapter(const AdapterIdentity& identity, unsigned number,
                          std::span<const ListedPort> ports, const std::vector<std::string>* known);

}  // namespace bridge
