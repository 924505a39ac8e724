#include "app/fail_safe/power_events.h"

namespace bridge {

PowerEvents::PowerEvents(WindowLog& log, ServoRelease& release, MainCycle& cycle,
                         BoxLineControl& port, BoxLineRecovery& recovery)
    : log_(log), release_(release), cycle_(cycle), port_(port), recovery_(recovery) {}

void PowerEvents::Suspend() {
    suspended_ = true;
    log_.Append("Windows is going to sleep");
    release_.Release(ServoReleaseReason::Sleep);
    cycle_.HandControlsBack();
}

bool PowerEvents::Resume(bool automatic, std::uint64_t nowMs) {
    // The second of the two resumes after a suspend finds it answered. An
    // automatic resume always comes first; without a suspend before it (one
    // not delivered to us), it is answered all the same.
    if (!suspended_ && !automatic) return false;
    suspended_ = false;
    if (!recovery_.HasPortToReopen()) {
        log_.Append(recovery_.Closing()
                        ? "Windows resumed while the window closes: no port is reopened"
                        : "Windows resumed: the box's port was not open, none is reopened");
        return true;
    }
    if (BeforeReopen) BeforeReopen(nowMs);
    log_.Append("Windows resumed: reopening the box's port ", port_.DeviceName());
    recovery_.Reopen(nowMs);
    return true;
}

}  // namespace bridge
