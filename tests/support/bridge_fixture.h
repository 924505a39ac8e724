// A bridge in a test: the state reset, a fake simulator link, a fake port to
// the box bound to the frame senders, a recorded window, and the main cycle.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "boxlink/box_frames.h"
#include "core/main_cycle.h"
#include "state/bridge_state.h"
#include "tests/support/fake_box_port.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {

class BridgeFixture : public ::testing::Test {
protected:
    BridgeFixture() : cycle(sim, view) {
        ResetBridgeState();
        Bridge.Engines.EngineAddressBase = 32;
        BindBoxPort(&port);
    }
    ~BridgeFixture() override { BindBoxPort(nullptr); }

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

    FakeSimLink sim;
    FakeBoxPort port;
    FakeView view;
    MainCycle cycle;
    boxproto::OutgoingDecoder decoder;
};

}  // namespace bridge::testing
