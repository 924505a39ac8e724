// The simulator found again without a click: while the link is down (the
// bridge started before the simulator, the simulator quit or failed), a quiet
// try every so often from the main cycle's tick. The first comes 10 s after
// the failure or the start, so that the single try at start and a pilot's
// press of Reconnect keep their meaning. A try that held the window (a server
// window that refused the handshake, a time-out, a hung window) doubles the
// wait before the next, up to a minute; one that found no server window costs
// nothing and keeps 10 s. A try is made only when the server's window answers
// a quick check, so a hung simulator is not waited for. Whether a try may be
// made at all (not while the window closes, nor while another open of the
// link is in progress) is the shell's to decide: it calls Tick and TryNow
// only when one may.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/seams/sim_link_connection.h"
#include "simlink/sim_link_result.h"
#include "state/bridge_state.h"

namespace bridge {

class SimLinkRetry {
public:
    static constexpr std::uint64_t kFirstWaitMs = 10000;
    static constexpr std::uint64_t kLongestWaitMs = 60000;

    // `connect` makes one try that logs a success only, and returns its result.
    SimLinkRetry(const LinkControl& link, SimLinkConnection& sim,
                 std::function<SimLinkResult()> connect);
    SimLinkRetry(const SimLinkRetry&) = delete;
    SimLinkRetry& operator=(const SimLinkRetry&) = delete;

    // Every tick, with a monotonic clock in ms. The result of the try made in
    // this tick (Okay once connected; NoServer without a server window;
    // TimedOut for a hung one), nothing when none was due.
    std::optional<SimLinkResult> Tick(std::uint64_t nowMs);
    // A press of Reconnect: the next try comes 10 s from now.
    void StartAgain(std::uint64_t nowMs);
    // A device arrived (the simulator's network link may be back): the next
    // try comes within 10 s, never later than it was due.
    void BringForward(std::uint64_t nowMs);
    // Windows resumed: a try at once while the link is down, then as StartAgain.
    std::optional<SimLinkResult> TryNow(std::uint64_t nowMs);

    std::uint64_t WaitMs() const { return waitMs_; }

private:
    SimLinkResult Try();

    const LinkControl& link_;
    SimLinkConnection& sim_;
    std::function<SimLinkResult()> connect_;
    bool down_ = false;  // seen down since the last try, failure or start
    std::uint64_t sinceMs_ = 0;
    std::uint64_t waitMs_ = kFirstWaitMs;
};

}  // namespace bridge
