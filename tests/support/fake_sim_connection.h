// Opening the simulator link without a simulator: each open succeeds with the
// given simulator id or fails with the given result.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "app/seams/sim_link_connection.h"

namespace bridge::testing {

class FakeSimConnection : public SimLinkConnection {
public:
    std::optional<SimLinkResult> failWith;  // set: every open fails with it
    std::uint32_t simulatorId = 7;
    std::uint32_t lastSendError = 0;
    bool open = false;
    std::vector<std::int32_t> openRequests;
    int closes = 0;
    std::function<void()> onOpen;  // runs inside Open, like a tick nested in the exchange
    ServerCheck check = ServerCheck::Answers;

    int checks = 0;

    ServerCheck CheckServer() override {
        ++checks;
        return check;
    }

    bool Open(std::int32_t requestedSimulator, SimLinkResult& result) override {
        openRequests.push_back(requestedSimulator);
        if (onOpen) onOpen();
        if (open) {
            result = SimLinkResult::AlreadyOpen;
            return false;
        }
        if (failWith) {
            result = *failWith;
            return false;
        }
        open = true;
        result = SimLinkResult::Okay;
        return true;
    }
    void Close() override {
        ++closes;
        open = false;
    }
    bool IsOpen() const override { return open; }
    std::uint32_t SimulatorId() const override { return simulatorId; }
    std::uint32_t LastSendError() const override { return lastSendError; }
};

}  // namespace bridge::testing
