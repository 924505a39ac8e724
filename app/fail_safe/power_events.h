// Windows going to sleep and waking again. Before a sleep the servos are
// released and, as there may be no next tick, the controls are handed back in
// one exchange at once. On the first resume after a suspend (Windows sends
// an automatic resume, and another when the user is back), or an automatic
// resume without one, the box's port is closed and opened again (a USB
// adapter is often taken away and given back across a sleep); the shell then
// tries the simulator link at once if it is down and a try may be made.
#pragma once

#include <cstdint>
#include <functional>

#include "app/fail_safe/box_line_recovery.h"
#include "app/seams/box_line_control.h"
#include "core/bridge_view.h"
#include "core/main_cycle.h"
#include "state/bridge_state.h"

namespace bridge {

class PowerEvents {
public:
    PowerEvents(WindowLog& log, ServoRelease& release, MainCycle& cycle, BoxLineControl& port,
                BoxLineRecovery& recovery);
    PowerEvents(const PowerEvents&) = delete;
    PowerEvents& operator=(const PowerEvents&) = delete;

    void Suspend();
    // `automatic`: the system woke (PBT_APMRESUMEAUTOMATIC); otherwise the
    // user is back (PBT_APMRESUMESUSPEND). Times in ms of a monotonic clock.
    // True when this resume was the one answered.
    bool Resume(bool automatic, std::uint64_t nowMs);

    // Before the port is reopened at a resume: where it is may have changed.
    std::function<void(std::uint64_t nowMs)> BeforeReopen;

private:
    WindowLog& log_;
    ServoRelease& release_;
    MainCycle& cycle_;
    BoxLineControl& port_;
    BoxLineRecovery& recovery_;
    bool suspended_ = false;
};

}  // namespace bridge
