// A bridge in a test: a state of its own at the zero of program start, a fake
// simulator link, a fake port to the box bound to the frame senders, a
// recorded window, and the parts as the program puts them together.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "boxlink/box_frames.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {

class BridgeFixture : public ::testing::Test {
protected:
    BridgeFixture() { BindBoxLine(&port); }
    ~BridgeFixture() override { BindBoxLine(nullptr); }

    // Frames written to the box since the last call, decoded and checked.
    std::vector<boxproto::Frame> SentFrames() {
        const auto bytes = port.TakeWritten();
        decoder.Feed(bytes);
        EXPECT_EQ(decoder.strayBytes(), 0u);
        EXPECT_EQ(decoder.badFrames(), 0u);
        return decoder.TakeFrames();
    }

    // Ticks n times; the frames of each tick.
    std::vector<std::vector<boxproto::Frame>> TickFrames(int n) {
        std::vector<std::vector<boxproto::Frame>> out;
        for (int i = 0; i < n; ++i) {
            cycle.Tick();
            out.push_back(SentFrames());
        }
        return out;
    }

    // The parts the cycle drives.
    Telemetry& telemetry() { return cycle.TelemetryFrames(); }
    RadioCycle& radios() { return cycle.Radios(); }
    FrameSender& sender() { return cycle.Sender(); }

    FakeSimLink sim;
    FakeBoxLine port;
    FakeView view;
    TestBridge bridge{sim, view};
    BridgeState& state = bridge.state;
    WindowLog& log = bridge.log;
    ServoRelease& release = bridge.release;
    BoxCommands& commands = bridge.commands;
    Receiver& receiver = bridge.receiver;
    MainCycle& cycle = bridge.cycle;
    boxproto::OutgoingDecoder decoder;
};

}  // namespace bridge::testing
