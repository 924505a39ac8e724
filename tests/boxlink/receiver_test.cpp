#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/bridge_fixture.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ReceiverTest : public BridgeFixture {
protected:
    void Feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) receiver.ReceiveByte(b);
    }
};

const Bytes kBankCommand = {0x05, 0x82, 0x06, 0x00, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04};

TEST_F(ReceiverTest, ServoCommandFrameReachesItsHandler) {
    Feed(kBankCommand);
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(state.Receive.FrameLength, 6);
    EXPECT_TRUE(state.Servos.BankServoEngaged);
    EXPECT_TRUE(state.Servos.BankEchoPending);
    EXPECT_EQ(state.Servos.BankServoCommand, 0);
}

// The same stream split at every offset into two receive events, and fed one
// byte per event, ends in the same state as one event.
TEST_F(ReceiverTest, AnySplitOfTheStreamGivesTheSameResult) {
    Bytes stream = {0x00, 0x05, 0x05, 0x82};
    stream.insert(stream.end(), kBankCommand.begin(), kBankCommand.end());
    const auto altimeter = boxproto::AltimeterFrame(10228);
    stream.insert(stream.end(), altimeter.begin(), altimeter.end());

    port.Receive(stream);
    receiver.ReceiveEvent(port, static_cast<std::int32_t>(stream.size()));
    const BridgeState whole = state;
    ASSERT_TRUE(whole.Altimeter.AltimeterWritePending);
    ASSERT_TRUE(whole.Servos.BankServoEngaged);

    for (std::size_t split = 0; split <= stream.size(); ++split) {
        state = BridgeState{};
        port.Receive(stream);
        receiver.ReceiveEvent(port, static_cast<std::int32_t>(split));
        receiver.ReceiveEvent(port, static_cast<std::int32_t>(stream.size() - split));
        EXPECT_EQ(std::memcmp(&state.Receive.ReceiveBuffer, &whole.Receive.ReceiveBuffer, 256), 0)
            << split;
        EXPECT_EQ(state.Altimeter.AltimeterCommand, 16364) << split;
        EXPECT_TRUE(state.Servos.BankServoEngaged) << split;
    }
    state = BridgeState{};
    port.Receive(stream);
    for (std::size_t i = 0; i < stream.size(); ++i) receiver.ReceiveEvent(port, 1);
    EXPECT_EQ(state.Altimeter.AltimeterCommand, 16364);
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
}

TEST_F(ReceiverTest, SecondSyncOneSendsTheMachineBackToHunt) {
    Feed({0x05, 0x05, 0x82});
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
    Feed({0x06, 0x00});  // would be LEN and kind had 05 82 started a frame
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
}

TEST_F(ReceiverTest, LengthBelowThreeDropsTheHeader) {
    for (std::uint8_t len = 0; len < 3; ++len) {
        state = BridgeState{};
        Feed({0x05, 0x82, len});
        EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt) << int{len};
        Feed(kBankCommand);  // the next frame is still found
        EXPECT_TRUE(state.Servos.BankServoEngaged) << int{len};
    }
}

TEST_F(ReceiverTest, Length255FillsIndices0To254) {
    Bytes frame = {0x05, 0x82, 0xFF, 0x07};
    for (int i = 0; i < 255; ++i) frame.push_back(static_cast<std::uint8_t>(i + 1));
    state.Receive.ReceiveBuffer[255] = 0xAA;
    Feed(frame);
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(state.Receive.ReceiveBuffer[0], 1);
    EXPECT_EQ(state.Receive.ReceiveBuffer[254], 255);
    EXPECT_EQ(state.Receive.ReceiveBuffer[255], 0xAA);
}

TEST_F(ReceiverTest, SyncPairInsideAPayloadIsData) {
    Feed({0x05, 0x82, 0x04, 0x05, 0x05, 0x82, 0x05, 0x82});
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(state.Receive.ReceivedKind, 0x05);
}

TEST_F(ReceiverTest, OneEventReadsAtMost1000Bytes) {
    port.Receive(Bytes(1500, 0x00));
    receiver.ReceiveEvent(port, 1500);
    EXPECT_EQ(port.incoming.size(), 500u);
    receiver.ReceiveEvent(port, 500);
    EXPECT_TRUE(port.incoming.empty());
}

TEST_F(ReceiverTest, FailedReadFeedsNothing) {
    Feed({0x05, 0x82});
    port.Receive(kBankCommand);
    port.failReads = true;
    receiver.ReceiveEvent(port, 10);
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Length);
}

TEST_F(ReceiverTest, OtherFrameKindsAreDropped) {
    // A valid servo command and an altimeter setting, but under frame kinds 2 and 3.
    Feed({0x05, 0x82, 0x06, 0x02, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04});
    Feed({0x05, 0x82, 0x03, 0x03, 0x06, 0xF4, 0x27});
    EXPECT_EQ(state.Receive.ReceivedKind, 3);
    EXPECT_EQ(state.Receive.RxState, ReceiveState::Hunt);
    EXPECT_FALSE(state.Servos.BankServoEngaged);
    EXPECT_FALSE(state.Servos.BankEchoPending);
    EXPECT_FALSE(state.Altimeter.AltimeterWritePending);
}

// The counts the line totals show: handled frames, bad frames of each kind
// and stray bytes before and between frames.
TEST_F(ReceiverTest, CountsFramesBadFramesAndStrayBytes) {
    const Bytes badCheck = {0x05, 0x82, 0x06, 0x00, 0x12, 0x00, 0x01, 0x01, 0x00, 0x04};
    const Bytes unknownKind = {0x05, 0x82, 0x03, 0x07, 0x01, 0x02, 0x03};
    const Bytes tooShort = {0x05, 0x82, 0x02};
    const Bytes altimeter = {0x05, 0x82, 0x03, 0x01, 0x06, 0xF4, 0x27};
    Feed({0x00, 0x41});  // 2 stray
    Feed(kBankCommand);  // a servo command
    Feed({0x05, 0x00});  // a sync byte and a wrong second one: 2 stray
    Feed(badCheck);      // bad
    Feed(unknownKind);   // bad
    Feed(tooShort);      // bad
    Feed(altimeter);     // a box command
    const ReceiveCounts& c = receiver.Counts();
    EXPECT_EQ(c.servoCommands, 1u);
    EXPECT_EQ(c.boxCommands, 1u);
    EXPECT_EQ(c.badFrames, 3u);
    EXPECT_EQ(c.strayBytes, 4u);
}

}  // namespace
}  // namespace bridge::testing
