#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bridge_fixture.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {
namespace {

class BoxCommandsTest : public BridgeFixture {
protected:
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (const std::uint8_t b : bytes) receiver.ReceiveByte(b);
    }
    void Payload(std::uint8_t kind, const std::vector<std::uint8_t>& payload) {
        Feed(boxproto::EncodeBoxFrame(kind, payload));
    }
};

TEST_F(BoxCommandsTest, BankCommandEngagesAndLeavesPitchAlone) {
    state.Servos.PitchEngageBit = 1;
    Payload(0, {0x11, 0x00, 0x01, 0x01, 0x00, 0x04});
    EXPECT_EQ(state.Servos.BankServoCommand, 0);
    EXPECT_EQ(state.Servos.BankEngageBit, 1);
    EXPECT_TRUE(state.Servos.BankServoEngaged);
    EXPECT_TRUE(state.Servos.BankEchoPending);
    EXPECT_FALSE(state.Servos.PitchEchoPending);
    EXPECT_TRUE(state.Servos.PitchServoEngaged);  // recomputed from the stored bit
}

TEST_F(BoxCommandsTest, UpperCheckWordBitsAreIgnored) {
    state.Servos.PitchEngageBit = 1;
    Payload(0, {0x11, 0xF0, 0x02, 0x00, 0x00, 0x08});
    EXPECT_EQ(state.Servos.PitchServoCommand, -32768);
    EXPECT_FALSE(state.Servos.PitchServoEngaged);
    EXPECT_TRUE(state.Servos.PitchEchoPending);
}

TEST_F(BoxCommandsTest, WrongCheckWordIsIgnored) {
    for (const std::uint16_t check : {0x0012, 0x0111}) {
        Feed(boxproto::ServoCommandFrame(1, true, 512, check));
        EXPECT_FALSE(state.Servos.BankServoEngaged);
        EXPECT_FALSE(state.Servos.BankEchoPending);
        EXPECT_EQ(state.Servos.BankServoCommand, 0);
    }
}

TEST_F(BoxCommandsTest, UnknownSelectorOnlyRecomputesTheEngagedFlags) {
    state.Servos.BankEngageBit = 1;
    state.Servos.PitchServoEngaged = true;
    Payload(0, {0x11, 0x00, 0x03, 0x01, 0x00, 0x02});
    EXPECT_TRUE(state.Servos.BankServoEngaged);
    EXPECT_FALSE(state.Servos.PitchServoEngaged);
    EXPECT_FALSE(state.Servos.BankEchoPending);
    EXPECT_FALSE(state.Servos.PitchEchoPending);
    EXPECT_EQ(state.Servos.BankServoRaw, 0);
}

TEST_F(BoxCommandsTest, EngageTakesOnlyBitZero) {
    Feed(
        boxproto::EncodeBoxFrame(0, std::vector<std::uint8_t>{0x11, 0x00, 0x01, 0xFE, 0x00, 0x04}));
    EXPECT_EQ(state.Servos.BankEngageBit, 0);
    EXPECT_FALSE(state.Servos.BankServoEngaged);
}

TEST_F(BoxCommandsTest, LaterCommandOverwritesTheEarlierOne) {
    Feed(boxproto::ServoCommandFrame(1, true, 512));
    Feed(boxproto::ServoCommandFrame(1, true, 1536));
    EXPECT_EQ(state.Servos.BankServoCommand, -16384);
    EXPECT_TRUE(state.Servos.BankEchoPending);
}

// Positions 1..2048 convert as (1024 - position) * 32; the ends saturate
// instead of wrapping to the opposite deflection.
TEST(ServoPosition, ConvertsAndSaturates) {
    EXPECT_EQ(ServoPositionToCommand(1024), 0);
    EXPECT_EQ(ServoPositionToCommand(1), 32736);
    EXPECT_EQ(ServoPositionToCommand(512), 16384);
    EXPECT_EQ(ServoPositionToCommand(1536), -16384);
    EXPECT_EQ(ServoPositionToCommand(2047), -32736);
    EXPECT_EQ(ServoPositionToCommand(2048), -32768);
    EXPECT_EQ(ServoPositionToCommand(0), 32767);
}

TEST_F(BoxCommandsTest, PositionsOutsideTheScaleAreLimitedToIt) {
    Feed(boxproto::ServoCommandFrame(1, true, 0));
    EXPECT_EQ(state.Servos.BankServoCommand, 32767);
    Feed(boxproto::ServoCommandFrame(1, true, -1));
    EXPECT_EQ(state.Servos.BankServoRaw, 0);
    EXPECT_EQ(state.Servos.BankServoCommand, 32767);
    Feed(boxproto::ServoCommandFrame(2, true, 2049));
    EXPECT_EQ(state.Servos.PitchServoRaw, 2048);
    EXPECT_EQ(state.Servos.PitchServoCommand, -32768);
    Feed(boxproto::ServoCommandFrame(2, true, 32767));
    EXPECT_EQ(state.Servos.PitchServoCommand, -32768);
}

TEST_F(BoxCommandsTest, AltimeterSettingInTenthsOfHectopascal) {
    Payload(1, {0x06, 0xF4, 0x27});
    EXPECT_EQ(state.Altimeter.AltimeterCommand, 16364);
    EXPECT_TRUE(state.Altimeter.AltimeterWritePending);
    Payload(1, {0x06, 0x00, 0xA0});
    EXPECT_EQ(state.Altimeter.AltimeterCommand, 0);  // 65536 kept to 16 bits
}

void CountReply(void* called) { ++*static_cast<int*>(called); }

TEST_F(BoxCommandsTest, PortDataGoesToTheInstalledHandlerOnly) {
    int repliesCalled = 0;
    Payload(1, {0x02, 'x', 0});  // port 3, nothing installed
    EXPECT_EQ(repliesCalled, 0);
    InstallReplyHandler(state.BoxPorts, 3, {CountReply, &repliesCalled});
    Payload(1, {0x02, 'x', 0});
    EXPECT_EQ(repliesCalled, 1);
    for (const std::uint8_t ignored : {5, 7, 255}) Payload(1, {ignored, 0x00, 0x00});
    EXPECT_EQ(repliesCalled, 1);
    EXPECT_FALSE(state.Altimeter.AltimeterWritePending);
}

TEST_F(BoxCommandsTest, PortsOutsideOneToFiveHaveNoEntry) {
    int repliesCalled = 0;
    for (const std::uint8_t port : {0, 6, 255}) {
        InstallReplyHandler(state.BoxPorts, port, {CountReply, &repliesCalled});
    }
    for (const ReplyHandler h : state.BoxPorts.PortReplyHandlers) EXPECT_EQ(h.call, nullptr);
}

}  // namespace
}  // namespace bridge::testing
