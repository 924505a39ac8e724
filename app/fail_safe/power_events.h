// Windows going to sleep and waking again. Before a sleep the servos are
// released and, as there may be no next tick, the controls are handed back in
// one exchange at once. Windows sends two resumes after a suspend (an
// automatic one, and another when the user is back): the first is answered,
// and so is an automatic resume without a suspend before it. The shell then
// has the box's port reopened and the simulator tried.
#pragma once

#include "app/fail_safe/servo_release.h"
#include "core/bridge_view.h"
#include "core/main_cycle.h"

namespace bridge {

class PowerEvents {
public:
    PowerEvents(WindowLog& log, ServoRelease& release, MainCycle& cycle);
    PowerEvents(const PowerEvents&) = delete;
    PowerEvents& operator=(const PowerEvents&) = delete;

    void Suspend();
    // `automatic`: the system woke (PBT_APMRESUMEAUTOMATIC); otherwise the
    // user is back (PBT_APMRESUMESUSPEND). True when this resume is the one
    // to answer.
    bool Resume(bool automatic);

private:
    WindowLog& log_;
    ServoRelease& release_;
    MainCycle& cycle_;
    bool suspended_ = false;
};

}  // namespace bridge
