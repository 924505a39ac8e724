#include "app/fail_safe/servo_release.h"

namespace bridge {
namespace {

const char* ReleaseLine(ServoReleaseReason reason) {
    switch (reason) {
        case ServoReleaseReason::PortLost: return "Servos released: the box's port was lost";
        case ServoReleaseReason::PortChosen: return "Servos released: another port was chosen";
        case ServoReleaseReason::Sleep: return "Servos released: Windows is going to sleep";
        case ServoReleaseReason::WindowClosing: break;
    }
    return nullptr;
}

}  // namespace

bool ServoRelease::Release(ServoReleaseReason reason) {
    ServoState& servos = servos_;
    const bool engaged = servos.BankServoEngaged || servos.PitchServoEngaged;
    servos.BankServoEngaged = false;
    servos.PitchServoEngaged = false;
    servos.BankEngageBit = 0;
    servos.PitchEngageBit = 0;
    // Shown at once: with the link down no tick would show it.
    view_.SetServoLabel(Servo::Bank, "Not engaged");
    view_.SetServoLabel(Servo::Pitch, "Not engaged");
    const char* line = ReleaseLine(reason);
    if (engaged && line != nullptr) log_.Append(line);
    return engaged;
}

}  // namespace bridge
