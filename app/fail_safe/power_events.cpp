#include "app/fail_safe/power_events.h"

#include "app/fail_safe/servo_release.h"

namespace bridge {

PowerEvents::PowerEvents(ServoState& servos, LinkControl& link, BridgeView& view, MainCycle& cycle,
                         BoxLineControl& port, BoxLineRecovery& recovery, SimLinkRetry& simRetry)
    : servos_(servos),
      link_(link),
      view_(view),
      cycle_(cycle),
      port_(port),
      recovery_(recovery),
      simRetry_(simRetry) {}

void PowerEvents::Suspend() {
    suspended_ = true;
    Log("Windows is going to sleep");
    ReleaseServos(servos_, link_, view_, ServoReleaseReason::Sleep);
    cycle_.HandControlsBack();
}

void PowerEvents::Resume(bool automatic, std::uint64_t nowMs) {
    // The second of the two resumes after a suspend finds it answered. An
    // automatic resume always comes first; without a suspend before it (one
    // not delivered to us), it is answered all the same.
    if (!suspended_ && !automatic) return;
    suspended_ = false;
    Log("Windows resumed: reopening the box's port " + port_.DeviceName());
    recovery_.Reopen(nowMs);
    simRetry_.TryNow(nowMs);
}

void PowerEvents::Log(const std::string& line) {
    link_.LogLine = line;
    view_.AppendLog(line);
}

}  // namespace bridge
