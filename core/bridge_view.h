// What the main cycle shows on the main window and asks of its timer.
#pragma once

#include <string>

#include "state/servo_channel.h"

namespace bridge {

// The servo track bars run from -kServoTrackBarLimit to kServoTrackBarLimit.
inline constexpr int kServoTrackBarLimit = 512;

class BridgeView {
public:
    // The servo's engaged label.
    virtual void SetServoLabel(Servo servo, const char* text) = 0;
    // The servo's track bar; position is within -kServoTrackBarLimit..kServoTrackBarLimit.
    virtual void SetServoTrackBar(Servo servo, int position) = 0;
    // Appends one line to the window's log.
    virtual void AppendLog(const std::string& line) = 0;
    // The reconnect button, "Reconnect to Flight simulator".
    virtual void SetReconnectEnabled(bool enabled) = 0;
    // tickTimer_.Enabled := false; no further tick follows.
    virtual void StopTimer() = 0;

protected:
    ~BridgeView() = default;
};

}  // namespace bridge
