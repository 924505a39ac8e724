// What the serial component's event thread makes of a wait on the port that
// failed: wait again, report the port lost, or stop waiting. Kept free of
// system headers so the rules are tested natively; the codes are the
// platform's error codes.
#pragma once

#include <cstdint>

namespace bridge {

inline constexpr std::uint32_t kErrorOperationAborted = 995;  // ERROR_OPERATION_ABORTED

// Whether an error from a wait (or the status query) means the device is
// gone: the removal errors Windows drivers report (access denied, bad
// command, general failure, device not connected) and those Wine reports for
// a terminal that hung up (not ready, broken pipe).
bool IsDeviceGoneError(std::uint32_t error);

class WaitFailures {
public:
    enum class Verdict { WaitAgain, PortLost, StopWaiting };

    // A few aborted waits in a row mean the device is gone; fewer are what
    // some drivers (the inbox CDC driver) do now and then while it is there.
    static constexpr int kAbortsForLoss = 3;

    // A wait failed with `waitError`. For an abort the caller has queried the
    // port's status (clearing its error): statusError is 0 if that worked,
    // else its error. Any other failure (a driver without event support)
    // stops the waiting: trying again would only fail again at full speed.
    Verdict Judge(std::uint32_t waitError, std::uint32_t statusError);
    // A wait ended with events: the aborts are no longer in a row.
    void WaitSucceeded() { abortsInARow_ = 0; }
    // With PortLost: the error to report.
    std::uint32_t LostError() const { return lostError_; }

private:
    int abortsInARow_ = 0;
    std::uint32_t lostError_ = 0;
};

}  // namespace bridge
