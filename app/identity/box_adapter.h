// The box's adapter, found wherever Windows numbers it. It holds the identity
// read with the settings and the ports as last listed, and answers the
// shell's events with the COM number to open, saying in the window's log
// once what it found: the adapter under a new number, a port that may be it,
// ports that look alike; and the advice the listing gives (a driver that
// refuses its chip, an FTDI latency timer that holds the box's commands back).
//
// It lists the ports at start, at resume, after a device change (at the next
// tick, so that a burst of changes costs one listing), and while the box's
// port is lost every kListWhileLostEveryMs. It opens nothing itself; the
// caller opens the number it returns, and never another one the pilot has
// not chosen. Times are milliseconds of a monotonic clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/identity/adapter_identity.h"
#include "app/identity/adapter_search.h"
#include "app/identity/port_listing.h"
#include "core/bridge_view.h"

namespace bridge {

enum class PortMark { None, BoxAdapter, MayBe };

class BoxAdapter {
public:
    static constexpr std::uint64_t kListWhileLostEveryMs = 3000;
    static constexpr std::uint64_t kDeviceChangeGapMs = 250;

    BoxAdapter(PortListing& listing, WindowLog& log);
    BoxAdapter(const BoxAdapter&) = delete;
    BoxAdapter& operator=(const BoxAdapter&) = delete;

    // The identity read with the settings. It counts only when taken at
    // `savedNumber` (CommsPort's COM number): else the pilot's number wins.
    void Load(std::optional<AdapterIdentity> saved, unsigned savedNumber);
    const std::optional<AdapterIdentity>& Identity() const { return identity_; }

    // At start, before the box's port is opened: lists the ports and returns
    // the number to open, `savedNumber` unless the adapter is listed under
    // another.
    unsigned AtStart(unsigned savedNumber, std::uint64_t nowMs);
    // At resume, before the box's port is opened again: a new number when the
    // adapter is listed under one.
    std::optional<unsigned> AtResume(unsigned savedNumber, std::uint64_t nowMs);
    // The box's port opened at `number` (at start, reopened, at resume). With
    // no identity saved, the port's becomes it.
    void PortOpened(unsigned number);
    // The pilot chose COM<number>: the identity becomes that port's, or none.
    void PortChosen(unsigned number);
    // The box's port was lost: the ports listed now were there before the
    // adapter came back.
    void PortLost(std::uint64_t nowMs);
    // Windows announced a device that arrived or left.
    void DeviceChanged(std::uint64_t nowMs);
    // Every tick: lists when due; while the box's port is lost, a new number
    // when the adapter is listed under one. Nothing is allocated unless a
    // listing is due.
    std::optional<unsigned> Tick(unsigned savedNumber, std::uint64_t nowMs);

    std::span<const ListedPort> Ports() const { return ports_; }
    // The box's adapter (by its identity; without one, the port at `boxNumber`)
    // or one that may be it.
    PortMark MarkOf(const ListedPort& port, unsigned boxNumber) const;
    // The report's lines: each port with its mark, then the advice given.
    std::vector<std::string> ReportLines(unsigned boxNumber) const;

    // After each listing: the ports' dialog follows them.
    std::function<void()> OnPortsListed;

private:
    void List(std::uint64_t nowMs);
    std::optional<unsigned> Search(unsigned savedNumber, const CountsAsNew& countsAsNew);
    void Say(const std::string& line);
    const ListedPort* PortAt(unsigned number) const;

    PortListing& listing_;
    WindowLog& log_;
    std::optional<AdapterIdentity> identity_;
    std::vector<ListedPort> ports_;
    std::optional<std::vector<std::string>> lostIds_;  // while lost: the ids listed at the loss
    std::vector<std::string> mayBeIds_;
    std::set<std::string> said_;
    std::vector<std::string> advice_;
    std::uint64_t listedMs_ = 0;
    bool changed_ = false;
    bool searchDue_ = false;
};

}  // namespace bridge
