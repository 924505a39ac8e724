// The window's retry timer as the box port's recovery sees it, recorded.
#pragma once

#include <cstdint>

#include "app/box_port_recovery.h"

namespace bridge::testing {

class FakeRetryTimer : public RetryTimer {
public:
    bool running = false;
    std::uint32_t intervalMs = 0;

    void StartRetryTimer(std::uint32_t interval) override {
        running = true;
        intervalMs = interval;
    }
    void StopRetryTimer() override { running = false; }
};

}  // namespace bridge::testing
