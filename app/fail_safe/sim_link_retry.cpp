#include "app/fail_safe/sim_link_retry.h"

#include <algorithm>
#include <utility>

namespace bridge {

SimLinkRetry::SimLinkRetry(const LinkControl& link, SimLinkConnection& sim,
                           std::function<SimLinkResult()> connect)
    : link_(link), sim_(sim), connect_(std::move(connect)) {}

std::optional<SimLinkResult> SimLinkRetry::Tick(std::uint64_t nowMs) {
    if (link_.SimLinkUp) {
        down_ = false;
        return std::nullopt;
    }
    if (!down_) {
        StartAgain(nowMs);
        return std::nullopt;
    }
    // Unsigned: a clock that went back gives a large difference, and a try.
    if (nowMs - sinceMs_ < waitMs_) return std::nullopt;
    sinceMs_ = nowMs;
    const SimLinkResult result = Try();
    if (result != SimLinkResult::Okay && result != SimLinkResult::NoServer) {
        waitMs_ = std::min(2 * waitMs_, kLongestWaitMs);
    }
    return result;
}

void SimLinkRetry::StartAgain(std::uint64_t nowMs) {
    down_ = !link_.SimLinkUp;
    sinceMs_ = nowMs;
    waitMs_ = kFirstWaitMs;
}

void SimLinkRetry::BringForward(std::uint64_t nowMs) {
    if (down_ && nowMs + kFirstWaitMs < sinceMs_ + waitMs_) StartAgain(nowMs);
}

std::optional<SimLinkResult> SimLinkRetry::TryNow(std::uint64_t nowMs) {
    if (link_.SimLinkUp) return std::nullopt;
    const SimLinkResult result = Try();
    StartAgain(nowMs);
    return result;
}

SimLinkResult SimLinkRetry::Try() {
    switch (sim_.CheckServer()) {
        case ServerCheck::NoWindow: return SimLinkResult::NoServer;
        case ServerCheck::Hung: return SimLinkResult::TimedOut;
        case ServerCheck::Answers: break;
    }
    return connect_();
}

}  // namespace bridge
