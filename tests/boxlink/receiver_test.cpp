#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "boxlink/receiver.h"
#include "state/bridge_state.h"
#include "tests/support/fake_box_port.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ReceiverTest : public ::testing::Test {
protected:
    ReceiverTest() { ResetBridgeState(); }
    void Feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) ReceiveByte(b);
    }
    FakeBoxPort port;
};

const Bytes kBankCommand = {0x05, 0x82, 0x06, 0x00, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04};

TEST_F(ReceiverTest, ServoCommandFrameReachesItsHandler) {
    Feed(kBankCommand);
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(Bridge.Receive.FrameLength, 6);
    EXPECT_TRUE(Bridge.Servos.BankServoEngaged);
    EXPECT_TRUE(Bridge.Servos.BankEchoPending);
    EXPECT_EQ(Bridge.Servos.BankServoCommand, 0);
}

// The same stream split at every offset into two receive events, and fed one
// byte per event, ends in the same state as one event.
TEST_F(ReceiverTest, AnySplitOfTheStreamGivesTheSameResult) {
    Bytes stream = {0x00, 0x05, 0x05, 0x82};
    stream.insert(stream.end(), kBankCommand.begin(), kBankCommand.end());
    const auto altimeter = boxproto::AltimeterFrame(10228);
    stream.insert(stream.end(), altimeter.begin(), altimeter.end());

    port.Receive(stream);
    ReceiveEvent(port, static_cast<std::int32_t>(stream.size()));
    const BridgeState whole = Bridge;
    ASSERT_TRUE(whole.Altimeter.AltimeterWritePending);
    ASSERT_TRUE(whole.Servos.BankServoEngaged);

    for (std::size_t split = 0; split <= stream.size(); ++split) {
        ResetBridgeState();
        port.Receive(stream);
        ReceiveEvent(port, static_cast<std::int32_t>(split));
        ReceiveEvent(port, static_cast<std::int32_t>(stream.size() - split));
        EXPECT_EQ(std::memcmp(&Bridge.Receive.ReceiveBuffer, &whole.Receive.ReceiveBuffer, 256), 0)
            << split;
        EXPECT_EQ(Bridge.Altimeter.AltimeterCommand, 16364) << split;
        EXPECT_TRUE(Bridge.Servos.BankServoEngaged) << split;
    }
    ResetBridgeState();
    port.Receive(stream);
    for (std::size_t i = 0; i < stream.size(); ++i) ReceiveEvent(port, 1);
    EXPECT_EQ(Bridge.Altimeter.AltimeterCommand, 16364);
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
}

TEST_F(ReceiverTest, SecondSyncOneSendsTheMachineBackToHunt) {
    Feed({0x05, 0x05, 0x82});
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
    Feed({0x06, 0x00});  // would be LEN and kind had 05 82 started a frame
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
}

TEST_F(ReceiverTest, LengthBelowThreeDropsTheHeader) {
    for (std::uint8_t len = 0; len < 3; ++len) {
        ResetBridgeState();
        Feed({0x05, 0x82, len});
        EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt) << int{len};
        Feed(kBankCommand);  // the next frame is still found
        EXPECT_TRUE(Bridge.Servos.BankServoEngaged) << int{len};
    }
}

TEST_F(ReceiverTest, Length255FillsIndices0To254) {
    Bytes frame = {0x05, 0x82, 0xFF, 0x07};
    for (int i = 0; i < 255; ++i) frame.push_back(static_cast<std::uint8_t>(i + 1));
    Bridge.Receive.ReceiveBuffer[255] = 0xAA;
    Feed(frame);
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(Bridge.Receive.ReceiveBuffer[0], 1);
    EXPECT_EQ(Bridge.Receive.ReceiveBuffer[254], 255);
    EXPECT_EQ(Bridge.Receive.ReceiveBuffer[255], 0xAA);
}

TEST_F(ReceiverTest, SyncPairInsideAPayloadIsData) {
    Feed({0x05, 0x82, 0x04, 0x05, 0x05, 0x82, 0x05, 0x82});
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
    EXPECT_EQ(Bridge.Receive.ReceivedKind, 0x05);
}

TEST_F(ReceiverTest, OneEventReadsAtMost1000Bytes) {
    port.Receive(Bytes(1500, 0x00));
    ReceiveEvent(port, 1500);
    EXPECT_EQ(port.incoming.size(), 500u);
    ReceiveEvent(port, 500);
    EXPECT_TRUE(port.incoming.empty());
}

TEST_F(ReceiverTest, FailedReadFeedsNothing) {
    Feed({0x05, 0x82});
    port.Receive(kBankCommand);
    port.failReads = true;
    ReceiveEvent(port, 10);
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Length);
}

TEST_F(ReceiverTest, OtherFrameKindsAreDropped) {
    // A valid servo command and an altimeter setting, but under frame kinds 2 and 3.
    Feed({0x05, 0x82, 0x06, 0x02, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04});
    Feed({0x05, 0x82, 0x03, 0x03, 0x06, 0xF4, 0x27});
    EXPECT_EQ(Bridge.Receive.ReceivedKind, 3);
    EXPECT_EQ(Bridge.Receive.RxState, ReceiveState::Hunt);
    EXPECT_FALSE(Bridge.Servos.BankServoEngaged);
    EXPECT_FALSE(Bridge.Servos.BankEchoPending);
    EXPECT_FALSE(Bridge.Altimeter.AltimeterWritePending);
}

}  // namespace
}  // namespace bridge::testing

namespace bridge::testing {
namespace {

// The counts the line totals show: handled frames, bad frames of each kind
// and stray bytes before and between frames.
TEST_F(ReceiverTest, CountsFramesBadFramesAndStrayBytes) {
    ResetReceiveCounts();
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
    const ReceiveCounts& c = ReceivedCounts();
    EXPECT_EQ(c.servoCommands, 1u);
    EXPECT_EQ(c.boxCommands, 1u);
    EXPECT_EQ(c.badFrames, 3u);
    EXPECT_EQ(c.strayBytes, 4u);
}

}  // namespace
}  // namespace bridge::testing
