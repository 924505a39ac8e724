// The radios inside the running bridge: sentences every tenth polled tick, and
// replies from the box carried into the simulator by the following ticks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boxlink/receiver.h"
#include "core/variable_map.h"
#include "tests/radio/radio_test_support.h"
#include "tests/support/frame_names.h"

namespace bridge::testing {
namespace {

using Names = std::vector<std::string>;

class RadioInTheBridgeTest : public BridgeFixture {
protected:
    RadioInTheBridgeTest() {
        sim.Set<std::uint16_t>(offsets::kNav1Active, 0x0800);
        sim.Set<std::uint16_t>(offsets::kNav1Standby, 0x0800);
    }
    // Whether a request of the last exchange wrote or read the offset.
    const FakeRequest* LastRequest(std::uint32_t offset) const {
        for (std::size_t i = 0; i < sim.lastExchangeSize; ++i) {
            if (sim.lastExchange[i].offset == offset) return &sim.lastExchange[i];
        }
        return nullptr;
    }
};

TEST_F(RadioInTheBridgeTest, SentencesEveryTenTicksFirstAtTickTen) {
    state.Settings.SL30Port = 4;
    state.Settings.SL40Port = 1;
    state.Link.SimLinkUp = true;
    const auto ticks = TickFrames(60);
    for (int t = 1; t <= 60; ++t) {
        Names expected = {"attitude"};
        if (t % 2 == 1) expected.push_back("airdata");
        if (t % 10 == 0) {
            expected.insert(expected.end(), 6, "port 4");
            expected.push_back("port 1");
        }
        ASSERT_EQ(FrameNames(ticks[t - 1]), expected) << "tick " << t;
    }
}

TEST_F(RadioInTheBridgeTest, NoSentencesWhileTheLinkIsDown) {
    state.Settings.SL30Port = 1;
    state.Link.SimLinkUp = true;
    TickFrames(9);
    state.Link.SimLinkUp = false;
    for (const auto& frames : TickFrames(15)) EXPECT_TRUE(frames.empty());
    state.Link.SimLinkUp = true;
    EXPECT_EQ(PortTexts(TickFrames(1)[0]).size(), 6u);  // the tenth polled tick
}

// A servo command and a frequency selection arrive in two receive events that
// cut both frames; the next tick carries them into the simulator.
TEST_F(RadioInTheBridgeTest, BoxCommandsReachTheSimulator) {
    state.Settings.SL30Port = 2;
    state.Link.SimLinkUp = true;
    const auto reply =
        boxproto::PortDataFrame(2, boxproto::RadioReplySentence(false, 0x28, 110500));

    // Before the first sentence no parser listens on the port.
    port.Receive(reply);
    receiver.ReceiveEvent(port, static_cast<std::int32_t>(port.incoming.size()));
    TickFrames(10);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);
    EXPECT_EQ(sim.Get<std::uint16_t>(offsets::kNav1Standby), 0x0800);

    std::vector<std::uint8_t> bytes = boxproto::ServoCommandFrame(1, true, 512);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    port.Receive(bytes);
    receiver.ReceiveEvent(port, 4);
    receiver.ReceiveEvent(port, static_cast<std::int32_t>(port.incoming.size()) - 3);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);  // the frame is not complete yet
    receiver.ReceiveEvent(port, 3);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0x1050);

    const auto tick11 = TickFrames(1)[0];  // a half-rate tick
    EXPECT_EQ(sim.Get<std::int16_t>(offsets::kAileron), 16384);
    EXPECT_EQ(sim.Get<std::uint8_t>(offsets::kControlsDisconnect), 2);
    EXPECT_EQ(sim.Get<std::uint16_t>(offsets::kNav1Standby), 0x1050);
    const FakeRequest* nav1Standby = LastRequest(offsets::kNav1Standby);
    ASSERT_NE(nav1Standby, nullptr);
    EXPECT_TRUE(nav1Standby->write);
    EXPECT_EQ(nav1Standby->Value(), 0x1050u);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);

    int echoes = 0;
    auto countEchoes = [&](const std::vector<boxproto::Frame>& frames) {
        for (const auto& f : frames) {
            if (FrameName(f) != "item 16/1") continue;
            ++echoes;
            const auto echo = boxproto::AsItem(f);
            EXPECT_EQ(echo->payload[0], 1);
            EXPECT_EQ(static_cast<std::int16_t>(echo->payload[1] | echo->payload[2] << 8), 512);
        }
    };
    countEchoes(tick11);
    const auto ticks12to13 = TickFrames(2);
    // The next half-rate tick reads the frequency again.
    ASSERT_NE(LastRequest(offsets::kNav1Standby), nullptr);
    EXPECT_FALSE(LastRequest(offsets::kNav1Standby)->write);
    const auto ticks14to20 = TickFrames(7);
    for (const auto& frames : ticks12to13) countEchoes(frames);
    for (const auto& frames : ticks14to20) countEchoes(frames);
    EXPECT_EQ(echoes, 1);

    // The next radio cycle reports the new standby frequency.
    std::string sentence28;
    for (const auto& t : PortTexts(ticks14to20.back())) {
        if (t.text.rfind("$PMRRV28", 0) == 0) sentence28 = t.text;
    }
    EXPECT_EQ(SentenceData(sentence28), "<0>DN");
}

}  // namespace
}  // namespace bridge::testing
