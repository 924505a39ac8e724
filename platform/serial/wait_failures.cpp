#include "platform/serial/wait_failures.h"

namespace bridge {

bool IsDeviceGoneError(std::uint32_t error) {
    switch (error) {
        case 5:     // ERROR_ACCESS_DENIED
        case 21:    // ERROR_NOT_READY
        case 22:    // ERROR_BAD_COMMAND
        case 31:    // ERROR_GEN_FAILURE
        case 109:   // ERROR_BROKEN_PIPE
        case 1167:  // ERROR_DEVICE_NOT_CONNECTED
            return true;
        default: return false;
    }
}

WaitFailures::Verdict WaitFailures::Judge(std::uint32_t waitError, std::uint32_t statusError) {
    if (waitError == kErrorOperationAborted) {
        if (IsDeviceGoneError(statusError)) {
            lostError_ = statusError;  // the status query says more than the abort
            return Verdict::PortLost;
        }
        if (++abortsInARow_ < kAbortsForLoss) return Verdict::WaitAgain;
        lostError_ = waitError;
        return Verdict::PortLost;
    }
    if (IsDeviceGoneError(waitError)) {
        lostError_ = waitError;
        return Verdict::PortLost;
    }
    return Verdict::StopWaiting;
}

}  // namespace bridge
