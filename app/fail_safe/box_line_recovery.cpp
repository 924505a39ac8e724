#include "app/fail_safe/box_line_recovery.h"

#include "platform/serial/comm_error.h"

namespace bridge {

BoxLineRecovery::BoxLineRecovery(BoxLineControl& port, WindowLog& log, LinkControl& link,
                                 ServoRelease& release)
    : port_(port), log_(log), link_(link), release_(release) {}

void BoxLineRecovery::PortLost(std::int32_t errorCode, std::uint64_t nowMs) {
    link_.PortOpen = false;
    const std::string lost =
        "Lost the box's port " + port_.DeviceName() + " (error " + std::to_string(errorCode) + ")";
    if (closing_) {  // no retry follows
        log_.Append(lost);
        return;
    }
    log_.Append(lost, ", trying to reopen it");
    lost_ = true;
    lastTryMs_ = nowMs;
    release_.Release(ServoReleaseReason::PortLost);
}

void BoxLineRecovery::Reopen(std::uint64_t nowMs) {
    if (!HasPortToReopen()) return;
    port_.Close();
    link_.PortOpen = false;
    lost_ = true;
    lastTryMs_ = nowMs;
    try {
        port_.Open();
    } catch (const ECommError&) {
        port_.Close();
        return;
    }
    lost_ = false;
    link_.PortOpen = true;
    if (OnReopened) OnReopened();
}

void BoxLineRecovery::Retry(std::uint64_t nowMs) {
    // Unsigned: a clock that went back gives a large difference, and a try.
    if (!lost_ || nowMs - lastTryMs_ < kRetryIntervalMs) return;
    lastTryMs_ = nowMs;
    TryOpen();
}

void BoxLineRecovery::RetryNow() {
    if (lost_) TryOpen();
}

void BoxLineRecovery::TryOpen() {
    try {
        port_.Open();
    } catch (const ECommError&) {
        port_.Close();  // not left half open (a setting refused): the next try starts afresh
        return;
    }
    lost_ = false;
    link_.PortOpen = true;
    log_.Append("Reopened the box's port ", port_.DeviceName());
    if (OnReopened) OnReopened();
}

void BoxLineRecovery::Forget() { lost_ = false; }

void BoxLineRecovery::WindowClosing() {
    closing_ = true;
    Forget();
}

}  // namespace bridge
