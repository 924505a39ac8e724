// The box's port after its device went away (a USB adapter pulled out): the
// loss is logged once, PortOpen clears, and the same port is tried again
// about once a second from the main cycle's tick, and at once whenever the
// system announces a device, until it opens; that is logged once too. Frames
// and echoes then resume by themselves: they go out through the same port.
// No message box: one in the middle of a flight would be worse than the lost
// line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/fail_safe/servo_release.h"
#include "app/seams/box_line_control.h"
#include "core/bridge_view.h"

namespace bridge {

class BoxLineRecovery {
public:
    static constexpr std::uint64_t kRetryIntervalMs = 1000;

    BoxLineRecovery(BoxLineControl& port, WindowLog& log, LinkControl& link, ServoRelease& release);
    BoxLineRecovery(const BoxLineRecovery&) = delete;
    BoxLineRecovery& operator=(const BoxLineRecovery&) = delete;

    // The port reported its device gone; it is closed by now. The servos are
    // released: the box cannot command them. Times are milliseconds of a
    // monotonic clock.
    void PortLost(std::int32_t errorCode, std::uint64_t nowMs);
    // Every tick: while the port is lost, it is tried again once
    // kRetryIntervalMs have passed since the loss or the last try.
    void Retry(std::uint64_t nowMs);
    // While the port is lost, it is tried again at once (a device arrived,
    // or the user clicked the lost port).
    void RetryNow();
    // Windows resumed: a port that was open, or lost, is closed and opened
    // again (an adapter may have been taken away and given back across the
    // sleep). If it does not open, the retries take over, quietly.
    void Reopen(std::uint64_t nowMs);
    // Whether Reopen would reopen a port: one is open or lost, and the window
    // is not closing.
    bool HasPortToReopen() const { return !closing_ && (link_.PortOpen || lost_); }
    // A port was chosen in the serial port dialog: no more retries for the lost one.
    void Forget();
    // The window is closing: no retries from now on, so none reopens the port
    // while it closes.
    void WindowClosing();

    bool Lost() const { return lost_; }
    bool Closing() const { return closing_; }

    // After the port opened again, by a retry or at a resume.
    std::function<void()> OnReopened;

private:
    void TryOpen();

    BoxLineControl& port_;
    WindowLog& log_;
    LinkControl& link_;
    ServoRelease& release_;
    bool lost_ = false;
    bool closing_ = false;
    std::uint64_t lastTryMs_ = 0;
};

}  // namespace bridge
