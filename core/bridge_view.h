// What the main cycle shows on the main window and asks of its timer.
#pragma once

#include <string>

namespace bridge {

enum class Servo : unsigned char { Bank, Pitch };

class BridgeView {
public:
    // Label7 (bank) or Label9 (pitch).
    virtual void SetServoLabel(Servo servo, const char* text) = 0;
    // TrackBar1 (bank) or TrackBar2 (pitch); position is within -512..512.
    virtual void SetServoTrackBar(Servo servo, int position) = 0;
    // Appends one line to the log Memo1.
    virtual void AppendLog(const std::string& line) = 0;
    // Button1, "Reconnect to Flight simulator".
    virtual void SetReconnectEnabled(bool enabled) = 0;
    // ThreadedTimer1.Enabled := false; no further tick follows.
    virtual void StopTimer() = 0;

protected:
    ~BridgeView() = default;
};

}  // namespace bridge
