#include "app/box_port_recovery.h"

#include "core/bridge_state.h"
#include "platform/comm_error.h"

namespace bridge {

BoxPortRecovery::BoxPortRecovery(BoxPortControl& port, BridgeView& view, RetryTimer& timer)
    : port_(port), view_(view), timer_(timer) {}

void BoxPortRecovery::PortLost(std::int32_t errorCode) {
    Bridge.PortOpen = false;
    Log("Lost the box's port " + port_.DeviceName() + " (error " + std::to_string(errorCode) +
        "), trying to reopen it");
    if (closing_) return;
    lost_ = true;
    timer_.StartRetryTimer(kRetryIntervalMs);
}

void BoxPortRecovery::Retry() {
    if (!lost_) return;
    try {
        port_.Open();
    } catch (const ECommError&) {
        port_.Close();  // not left half open (a setting refused): the next try starts afresh
        return;
    }
    lost_ = false;
    timer_.StopRetryTimer();
    Bridge.PortOpen = true;
    Log("Reopened the box's port " + port_.DeviceName());
}

void BoxPortRecovery::Forget() {
    if (!lost_) return;
    lost_ = false;
    timer_.StopRetryTimer();
}

void BoxPortRecovery::WindowClosing() {
    closing_ = true;
    Forget();
}

void BoxPortRecovery::Log(const std::string& line) {
    Bridge.LogLine = line;
    view_.AppendLog(line);
}

}  // namespace bridge
