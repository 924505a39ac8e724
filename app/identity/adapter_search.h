// Where the box's adapter is among the listed ports. The bridge never
// guesses, and never opens a port it has not matched:
// - the adapter itself (IsAdapter: its serial number, or without one its own
//   instance id) wherever it is;
// - otherwise, for an adapter without a serial number, a port of the same
//   kind that counts as new (arrived while the box's port was lost; at start,
//   not present when the identity was taken);
// - one such port at the saved number: there it is; elsewhere: it moved;
//   two or more: they look alike;
// - none, but a port of the same kind at the saved number: as today; of the
//   same kind elsewhere (that was there before): they may be the adapter.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "app/identity/adapter_identity.h"
#include "platform/port_list/listed_port.h"

namespace bridge {

// The identity of a USB port with its ids, taken while `present` are listed;
// nothing for any other port, or one whose texts the settings cannot keep.
std::optional<AdapterIdentity> TakeIdentity(const ListedPort& port,
                                            std::span<const ListedPort> present);

// The same ids and interface.
bool SameKind(const AdapterIdentity& identity, const ListedPort& port);
// The adapter itself: the same kind with its serial number, or, for one
// without, its own instance id.
bool IsAdapter(const AdapterIdentity& identity, const ListedPort& port);
// Listed when the identity was taken (so not new at start).
bool WasPresent(const AdapterIdentity& identity, const ListedPort& port);

enum class AdapterPlace { NotListed, AtSavedNumber, Moved, MayBe, LookAlike };

struct AdapterSearch {
    AdapterPlace place = AdapterPlace::NotListed;
    // Moved: the one port; MayBe and LookAlike: the ports. They point into the list searched.
    std::vector<const ListedPort*> ports;
};

using CountsAsNew = std::function<bool(const ListedPort&)>;

AdapterSearch FindAdapter(const AdapterIdentity& identity, unsigned savedNumber,
                          std::span<const ListedPort> ports, const CountsAsNew& countsAsNew);

}  // namespace bridge
