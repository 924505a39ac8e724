// Both servos let go when the box can no longer command them: its port was
// lost, another port was chosen, Windows is going to sleep, or the window
// closes. The next exchange writes controls-disconnect 0 and reads the
// aileron and elevator inputs again, so the pilot has the controls back.
// Nothing engages again by itself: the box's next engaged servo command does.
#pragma once

#include "core/bridge_view.h"
#include "state/bridge_state.h"

namespace bridge {

enum class ServoReleaseReason : unsigned char { PortLost, PortChosen, Sleep, WindowClosing };

class ServoRelease {
public:
    ServoRelease(ServoState& servos, BridgeView& view, WindowLog& log)
        : servos_(servos), view_(view), log_(log) {}
    ServoRelease(const ServoRelease&) = delete;
    ServoRelease& operator=(const ServoRelease&) = delete;

    // Clears both engaged flags and both stored engage bits (a command for
    // one servo recomputes both flags from the bits, so a stale bit would
    // engage the other servo again). Logs one line for the reason when a
    // servo was engaged, none when the window closes. True when a servo was
    // engaged.
    bool Release(ServoReleaseReason reason);

private:
    ServoState& servos_;
    BridgeView& view_;
    WindowLog& log_;
};

}  // namespace bridge
