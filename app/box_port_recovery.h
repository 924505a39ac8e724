// The box's port after its device went away (a USB adapter pulled out): the
// loss is logged once, PortOpen clears, and the same port is tried again
// about once a second, and whenever the system announces a device, until it
// opens; that is logged once too. Frames and echoes then resume by
// themselves: they go out through the same port. No message box: one in the
// middle of a flight would be worse than the lost line.
#pragma once

#include <cstdint>
#include <string>

#include "app/box_port_control.h"
#include "core/bridge_view.h"

namespace bridge {

// The main window's timer that paces the retries.
class RetryTimer {
public:
    virtual void StartRetryTimer(std::uint32_t intervalMs) = 0;
    virtual void StopRetryTimer() = 0;

protected:
    ~RetryTimer() = default;
};

class BoxPortRecovery {
public:
    static constexpr std::uint32_t kRetryIntervalMs = 1000;

    BoxPortRecovery(BoxPortControl& port, BridgeView& view, RetryTimer& timer);
    BoxPortRecovery(const BoxPortRecovery&) = delete;
    BoxPortRecovery& operator=(const BoxPortRecovery&) = delete;

    // The port reported its device gone; it is closed by now.
    void PortLost(std::int32_t errorCode);
    // The retry timer fired or a device arrived: while the port is lost, it
    // is opened again.
    void Retry();
    // A port was chosen in the serial port dialog: no more retries for the lost one.
    void Forget();
    // The window is closing: no retries from now on, so none reopens the port
    // while it closes.
    void WindowClosing();

    bool Lost() const { return lost_; }

private:
    void Log(const std::string& line);

    BoxPortControl& port_;
    BridgeView& view_;
    RetryTimer& timer_;
    bool lost_ = false;
    bool closing_ = false;
};

}  // namespace bridge
