// The user-interface thread's dispatch in a test: each ProcessMessages first
// runs what was scheduled for that moment (clicks, a close of the window),
// then one tick while the fake window's timer runs: of the real main cycle,
// or whatever the test ticks instead (the shell).
// A loop that keeps pumping without end fails the test instead of hanging it.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

#include "app/seams/message_pump.h"
#include "core/main_cycle.h"
#include "tests/support/fake_view.h"

namespace bridge::testing {

struct PumpedForEver : std::runtime_error {
    PumpedForEver() : std::runtime_error("messages pumped without end") {}
};

class FakeMessagePump : public MessagePump {
public:
    FakeMessagePump(MainCycle& cycle, FakeView& view)
        : tick_([&cycle, &view] {
              if (cycle.Tick()) view.StopTimer();
          }),
          view_(view) {}

    // Each tick runs `tick` from now on.
    void TickWith(std::function<void()> tick) { tick_ = std::move(tick); }

    int calls = 0;
    int ticks = 0;
    int callLimit = 10000;

    // Runs action just before tick n (1-based) is delivered.
    void BeforeTick(int n, std::function<void()> action) {
        beforeTick_[n].push_back(std::move(action));
    }

    void ProcessMessages() override {
        if (++calls > callLimit) throw PumpedForEver();
        const auto due = beforeTick_.find(ticks + 1);
        if (due != beforeTick_.end()) {
            const std::vector<std::function<void()>> actions = std::move(due->second);
            beforeTick_.erase(due);
            for (const auto& action : actions) action();
        }
        if (view_.timerEnabled) {
            ++ticks;
            tick_();
        }
    }
    bool TimerEnabled() const override { return view_.timerEnabled; }

private:
    std::function<void()> tick_;
    FakeView& view_;
    std::map<int, std::vector<std::function<void()>>> beforeTick_;
};

}  // namespace bridge::testing
