#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "state/bridge_state.h"
#include "tests/support/fake_box_line.h"

namespace bridge::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Span(std::span<const std::uint8_t> s) { return Bytes(s.begin(), s.end()); }

TEST(CheckBytes, SumAndXorOverTheBody) {
    const std::uint8_t body[] = {0x61, 0x62, 0x63};
    const CheckBytes check = ComputeCheckBytes(body);
    EXPECT_EQ(check.sum, 0x26);
    EXPECT_EQ(check.xorByte, 0x60);
}

TEST(ItemFrame, EmptyPayloadIsTenBytes) {
    std::array<std::uint8_t, 256> out{};
    const std::size_t length = BuildItemFrame(out, 0x123, {});
    ASSERT_EQ(length, 10u);
    // key 0x1230; check bytes over 06 00 01 30 12
    EXPECT_EQ(Span(std::span(out).first(length)),
              (Bytes{0x05, 0x82, 0x02, 0x06, 0x00, 0x01, 0x30, 0x12, 0x49, 0x25}));
}

TEST(ItemFrame, BankServoEcho) {
    std::array<std::uint8_t, 256> out{};
    const std::uint8_t payload[] = {0x01, 0x00, 0x04, 0x46, 0x00};
    const std::size_t length = BuildItemFrame(out, 0x101, payload);
    EXPECT_EQ(Span(std::span(out).first(length)),
              (Bytes{0x05, 0x82, 0x02, 0x0B, 0x00, 0x01, 0x15, 0x10, 0x01, 0x00, 0x04, 0x46, 0x00,
                     0x7C, 0x4C}));
}

TEST(ItemFrame, RefusesPayloadsOverFifteenBytes) {
    std::array<std::uint8_t, 256> out{};
    const std::array<std::uint8_t, 16> payload{};
    EXPECT_EQ(BuildItemFrame(out, 1, payload), 0u);
    std::array<std::uint8_t, 9> small{};
    EXPECT_EQ(BuildItemFrame(small, 1, std::span(payload).first(1)), 0u);  // 11 bytes needed
}

TEST(PortFrame, SentenceToPortOne) {
    std::array<std::uint8_t, 256> out{};
    const std::string text = "$PMRRV28>D<0N:6\r\n";
    const std::size_t length = BuildPortFrame(
        out, 1, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    ASSERT_EQ(length, 25u);
    Bytes expected = {0x05, 0x82, 0x02, 0x15, 0x01, 0x01};
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(0xFF);
    expected.push_back(0x43);
    EXPECT_EQ(Span(std::span(out).first(length)), expected);
}

TEST(PortFrame, EighteenByteSentenceToPortTwo) {
    std::array<std::uint8_t, 256> out{};
    const std::array<std::uint8_t, 18> text{};
    EXPECT_EQ(BuildPortFrame(out, 2, text), 26u);
    EXPECT_EQ(out[3], 22);
    EXPECT_EQ(out[4], 1);
    EXPECT_EQ(out[5], 2);
}

TEST(PortFrame, LongestTextFillsTheTransmitBufferAndOneMoreIsRefused) {
    std::array<std::uint8_t, 256> out{};
    const std::array<std::uint8_t, 249> text{};
    EXPECT_EQ(BuildPortFrame(out, 1, std::span(text).first(248)), 256u);
    EXPECT_EQ(BuildPortFrame(out, 1, text), 0u);
}

TEST(ArincFrame, LeadByteWordAndCheckBytes) {
    std::array<std::uint8_t, 10> out{};
    ASSERT_EQ(BuildArincFrame(out, 0x01, 0x60123413), 10u);
    EXPECT_EQ(Span(out), (Bytes{0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60, 0xBA, 0x54}));
}

TEST(FixedFrame, HeaderAndCheckBytesAroundTheBody) {
    std::array<std::uint8_t, 28> frame{};
    frame[3] = 0x61;
    frame[4] = 0x62;
    frame[25] = 0x63;
    SealFixedFrame(frame, FrameKind::Attitude);
    EXPECT_EQ(frame[0], 0x05);
    EXPECT_EQ(frame[1], 0x82);
    EXPECT_EQ(frame[2], 0x01);
    EXPECT_EQ(frame[26], 0x26);
    EXPECT_EQ(frame[27], 0x60);
}

TEST(Senders, WriteExactlyTheFrameInOneWriteAndCountWhatDoesNotFit) {
    BridgeState state{};
    FrameSender sender(state.Frames);
    FakeBoxLine port;
    BindBoxLine(&port);
    const std::uint8_t payload[] = {1, 2, 3};
    sender.SendItem(0x208, payload);
    EXPECT_EQ(port.writes, 1);
    EXPECT_EQ(port.written.size(), 13u);
    sender.SendArincWord(0, 0);
    EXPECT_EQ(port.writes, 2);
    EXPECT_EQ(port.written.size(), 23u);
    const std::array<std::uint8_t, kPortTextMax + 1> text{};
    sender.SendPortText(1, text);  // one byte too long for the transmit buffer
    EXPECT_EQ(port.writes, 2);
    EXPECT_EQ(sender.FramesTooLong(), 1u);
    BindBoxLine(nullptr);
    sender.SendItem(0x208, payload);  // no port: dropped
    EXPECT_EQ(port.writes, 2);
}

}  // namespace
}  // namespace bridge::testing
