// The main window as the main cycle sees it, recorded.
#pragma once

#include <string>
#include <vector>

#include "core/bridge_view.h"

namespace bridge::testing {

class FakeView : public BridgeView {
public:
    std::string bankLabel = "Not Engaged";
    std::string pitchLabel = "Not Engaged";
    int bankTrackBar = 0;
    int pitchTrackBar = 0;
    std::vector<std::string> log;
    bool reconnectEnabled = false;
    bool timerEnabled = true;

    void SetServoLabel(Servo servo, const char* text) override {
        (servo == Servo::Bank ? bankLabel : pitchLabel) = text;
    }
    void SetServoTrackBar(Servo servo, int position) override {
        (servo == Servo::Bank ? bankTrackBar : pitchTrackBar) = position;
    }
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void SetReconnectEnabled(bool enabled) override { reconnectEnabled = enabled; }
    void StopTimer() override { timerEnabled = false; }
};

}  // namespace bridge::testing
