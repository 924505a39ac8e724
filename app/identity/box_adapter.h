// The box's adapter, found wherever Windows numbers it. It holds the identity
// read with the settings and the ports as last listed, and answers where the
// box's port is to be opened: at its number, at the adapter's new number, or
// nowhere while another device holds the number. It says in the window's log
// once what it cannot decide (a port that may be the adapter, ports that look
// alike) and the advice a listing gives (a driver that refuses its chip, an
// FTDI latency timer that holds the box's commands back).
//
// An adapter without a serial number of its own is found by the ids of the
// ports of its kind that were listed while the box's port was open: one that
// was not there then has arrived since. While the bridge runs, two listings
// at least kAgreeAfterMs apart must agree on it (a hub that comes back brings
// its devices within a second or so, and the first of two is not the box's
// more than the second). At start, the ids recorded at every listing while
// the port was last open count, as the settings file kept them; unknown ids
// make no port new.
//
// It lists when told to and opens nothing itself (the box's port does both:
// app/box_line_port). Times are milliseconds of a monotonic clock.
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

enum class PortMark { None, BoxAdapter, MayBe, LookAlike };

// Where the box's port is to be opened.
struct AdapterAnswer {
    enum class Action { Open, Follow, Leave };
    Action action = Action::Open;
    // Open: the box's number; Follow: the adapter's new one; Leave: the box's
    // number, which another device holds (`other`, in the last listing).
    unsigned number = 0;
    const ListedPort* other = nullptr;
    bool bluetooth = false;  // the port to open is listed as a Bluetooth port
};

class BoxAdapter {
public:
    static constexpr std::uint64_t kAgreeAfterMs = 2000;

    BoxAdapter(PortListing& listing, WindowLog& log);
    BoxAdapter(const BoxAdapter&) = delete;
    BoxAdapter& operator=(const BoxAdapter&) = delete;

    // The identity read with the settings. It counts only when taken at
    // `number` (the saved COM number): else the pilot's number wins.
    void Load(std::optional<AdapterIdentity> saved, unsigned number);
    const std::optional<AdapterIdentity>& Identity() const { return identity_; }

    // Lists the ports. `boxOpen`: the box's port is open, so its adapter is
    // among them: the ports of its kind are the ones known from now on.
    void List(std::uint64_t nowMs, bool boxOpen);
    std::uint64_t ListedMs() const { return listedMs_; }

    // Where to open the box's port, now at `number`, by the last listing.
    AdapterAnswer Find(unsigned number, bool atStart, std::uint64_t nowMs);
    // The port opened at `number`, where Find sent it: followed from
    // `wasNumber`, the identity takes the new number and instance id (said in
    // the log); without an identity the port's becomes it. From here until
    // Closed, the ports of its kind listed are recorded.
    void Opened(unsigned number, unsigned wasNumber);
    // The pilot chose COM<number>: the identity becomes that port's, by the
    // last listing, or none.
    void Chosen(unsigned number);
    // The box's port closed or was lost.
    void Closed() { recording_ = false; }

    std::span<const ListedPort> Ports() const { return ports_; }
    const ListedPort* PortAt(unsigned number) const;
    // The box's adapter (by its identity; without one, the port at
    // `boxNumber`), one that may be it, or one of ports that look alike.
    PortMark MarkOf(const ListedPort& port, unsigned boxNumber) const;
    // The report's lines: each port with its mark, then the advice given.
    std::vector<std::string> ReportLines(unsigned boxNumber) const;

    // After the ports listed, or their marks, changed: the ports' dialog
    // follows them (while the port is waited for, a listing comes every second).
    std::function<void()> OnPortsChanged;

private:
    AdapterAnswer Search(unsigned number, bool atStart, std::uint64_t nowMs);
    // The ids of the ports alike known before: this run's, else the saved ones.
    const std::vector<std::string>* Known(bool atStart) const;
    // An arrived port is followed once two listings kAgreeAfterMs apart agree.
    bool Agreed(const ListedPort& port, std::uint64_t nowMs);
    void Mark(std::vector<std::string>& ids, const std::vector<const ListedPort*>& ports);
    void Record();
    void Say(const std::string& line);

    PortListing& listing_;
    WindowLog& log_;
    std::optional<AdapterIdentity> identity_;
    std::vector<ListedPort> ports_;
    std::optional<std::vector<std::string>> knownIds_;  // listed with the box's port open, this run
    bool recording_ = false;   // the box's port open: ids go to the identity
    std::string candidateId_;  // the one arrived port, first seen at:
    std::uint64_t candidateSinceMs_ = 0;
    std::vector<std::string> mayBeIds_;
    std::vector<std::string> lookAlikeIds_;
    std::set<std::string> said_;
    std::vector<std::string> advice_;
    std::uint64_t listedMs_ = 0;
};

}  // namespace bridge
