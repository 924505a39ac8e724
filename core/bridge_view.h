// What the main cycle shows on the main window and asks of its timer, and
// the window's log as every part writes to it.
#pragma once

#include <string>
#include <string_view>

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
    // Appends one line to the window's log (the parts write through WindowLog).
    virtual void AppendLog(const std::string& line) = 0;
    // The reconnect button, "Reconnect to Flight simulator".
    virtual void SetReconnectEnabled(bool enabled) = 0;
    // tickTimer_.Enabled := false, once the cycle has answered a stop
    // request; no further tick follows.
    virtual void StopTimer() = 0;

protected:
    ~BridgeView() = default;
};

// The one way a line reaches the window's log: it becomes `lastLine` (the
// state's LogLine, the line last added) and the view appends it.
class WindowLog {
public:
    WindowLog(std::string& lastLine, BridgeView& view) : lastLine_(lastLine), view_(view) {}
    WindowLog(const WindowLog&) = delete;
    WindowLog& operator=(const WindowLog&) = delete;

    // Appends the line `first` followed by `second`.
    void Append(std::string_view first, std::string_view second = {}) {
        lastLine_.assign(first);
        lastLine_.append(second);
        view_.AppendLog(lastLine_);
    }

private:
    std::string& lastLine_;
    BridgeView& view_;
};

}  // namespace bridge
