#include "app/fail_safe/power_events.h"

namespace bridge {

PowerEvents::PowerEvents(WindowLog& log, ServoRelease& release, MainCycle& cycle)
    : log_(log), release_(release), cycle_(cycle) {}

void PowerEvents::Suspend() {
    suspended_ = true;
    log_.Append("Windows is going to sleep");
    release_.Release(ServoReleaseReason::Sleep);
    cycle_.HandControlsBack();
}

bool PowerEvents::Resume(bool automatic) {
    // The second of the two resumes after a suspend finds it answered. An
    // automatic resume always comes first; without a suspend before it (one
    // not delivered to us), it is answered all the same.
    if (!suspended_ && !automatic) return false;
    suspended_ = false;
    return true;
}

}  // namespace bridge
